// The "Shell Settings" dialog: programs of the student launcher grouped in
// categories ("Program Registration"), the weekly automatic-lock schedule
// ("Shell Lock Settings") and two system switches ("System Settings"), with
// dirty tracking and the OK / Apply / Cancel / close flows.
//
// Abstract: a variant decides where the data comes from (LoadXMLData), how
// programs are picked (OnAddProgram) and where an applied change goes
// (OnApply). Its Init calls AttachBaseClassGTKHandler(this), then
// LoadXMLData, then sets m_bBuilt.
#ifndef TAV_GUI_SHELLSETTINGCTRL_H
#define TAV_GUI_SHELLSETTINGCTRL_H

#include "ChangeIconDlg.h"
#include "DefaultConfigData.h"
#include "LockScheduleData.h"
#include "TAVSystemSettingData.h"
#include "TAVWindowBase.h"
#include "TabNavigationData.h"

#include <list>
#include <string>
#include <vector>

namespace LibTAVGUI {

class CShellSettingCtrl : public CTAVWindowBase {
public:
    CShellSettingCtrl();
    // Releases the icon dialog, then destroys the window.
    ~CShellSettingCtrl() override;

    // Builds the window and its three pages; target (when not null) is the
    // object every GTK handler works on.
    virtual int AttachBaseClassGTKHandler(CShellSettingCtrl* target);
    // OnApply, then OnClose.
    virtual int OnOK();
    // Like OnClose: offers to save unsaved changes, then closes; returns 0.
    virtual int OnCancel();
    // Offers to save unsaved changes ("Are You sure you want to save?"),
    // then closes; returns Close()'s result.
    virtual int OnClose();
    // Replaces the categories by those of DefaultConfig.xml.
    virtual int OnDefaultBtnClicked();
    // Opens the "Edit Category Dialog" on the current category.
    virtual int OnEditCategoryBtnClicked();
    virtual int OnApply() = 0;
    virtual int OnAddProgram() = 0;
    virtual int LoadXMLData() = 0;

    // --- Program Registration ---
    // Appends a row per category of the working model and shows the first
    // one's programs; false for an empty model.
    bool ShowTabNavPolicy();
    // Shows the programs of category (which becomes the current one).
    int showPrograms(LibTAVData::CCategory* category);
    // base, else base(2), base(3), ...: the first name no category has.
    int BuildNewCategoryName(std::string base, std::string& out);
    // Renames the selected category and gives it icon; 1, or -1 when a text
    // is empty or no category is selected.
    int UpdateCategory(std::string name, std::string icon);
    // Adds copies of programs to the selected category, skipping those
    // whose name or path it already has (one message when any was skipped).
    // -1 without a selected category or programs, else 0.
    int AddPrograms(const std::list<LibTAVData::CApplicationInfo>& programs);
    // Takes the result of the icon dialog once it has gone.
    int GetDataFromIconDlg();
    static void GetDataFromIconDlgCallBack(GtkWidget* widget, void* dialog);

    // --- Dirty tracking ---
    // Compares the working model with TabNavigation.xml; the flag becomes
    // the result.
    bool IsTabNavDataDirty();
    int FetchTabNavData();
    bool IsDataDirty();

    // --- Shell Lock Settings ---
    int ShowSchedulePolicy();
    // The grid becomes the schedule: one one-hour section per pressed cell.
    int FetchScheuleData();
    bool IsScheduleDataDirty(bool oldAutoLock,
                             const std::list<LibTAVData::CLockTimeSection*>* oldList,
                             bool newAutoLock,
                             const std::list<LibTAVData::CLockTimeSection*>* newList);

    // --- System Settings ---
    int ShowUSBPolicy();
    int FetchUSBData();
    int ShowTeacherPolicy();
    // Reads the new-student switch; a change sets the system setting flag,
    // as the USB switch does.
    int FetchTeacherPolicy();
    // Compares the system settings with TAVSystemSetting.xml; the flag
    // becomes the result.
    bool IsSystemSettingDirty();
    // Adds "Show new student connect notify dialog"; 1, or 0 when it is
    // there already.
    int GTKShowDlgCheckBox();
    // Removes "Disable USB Storage"; 1, or 0 when it is gone already.
    int GTKHideUSBCheckBox();

    // --- GTK handlers (user data: the handler target; nothing when null) ---
    static gboolean OnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, void* dialog);
    static void OnCancelBtnClicked(GtkWidget* widget, void* dialog);
    static void OnApplyBtnClicked(GtkWidget* widget, void* dialog);
    static void OnOKBtnClicked(GtkWidget* widget, void* dialog);
    static void GtkOnCategoryTreeRowActivated(GtkTreeView* view, GtkTreePath* path,
                                              GtkTreeViewColumn* column, void* dialog);
    static void ChangeCategory(GtkTreeView* view, void* dialog);
    static void AddCategory(GtkWidget* widget, void* dialog);
    static void DeleteCategory(GtkWidget* widget, void* dialog);
    static void GtkOnEditCateoryBtnClicked(GtkWidget* widget, void* dialog);
    static void GtkAddProgramBtnClicked(GtkWidget* widget, void* dialog);
    static void GtkDeleteProgramBtnClicked(GtkWidget* widget, void* dialog);
    static void EnableDisableProgram(GtkCellRendererToggle* cell, gchar* path, void* dialog);
    static void GtkOnDefaultBtnClicked(GtkWidget* widget, void* dialog);

protected:
    enum { CAT_COL_ICON = 0, CAT_COL_NAME, CAT_COL_CATEGORY, CAT_N_COLUMNS };
    enum { PROG_COL_SHOW = 0, PROG_COL_ICON, PROG_COL_NAME, PROG_COL_APP, PROG_N_COLUMNS };
    static const int DAYS = 7;
    static const int HOURS = 24;

    int initWindow();
    int initShellLockSetting();
    int initProgramRegistration();
    int initSystemSetting();

    // True when a category row is selected: iter receives the row and
    // category its pointer (null for a row without one).
    bool GetSelectedCategory(GtkTreeIter* iter, LibTAVData::CCategory*& category);
    // The category "-", program "+", "Edit" and program "-" buttons.
    void SetCategoryButtonsSensitive(bool sensitive);
    // The close flows' common part: brings the flags up to date with the
    // widgets and, when something changed, offers to apply it.
    void OfferToSave();
    static void OnWindowDestroyed(GtkWidget* widget, gpointer self);

    GtkWidget* m_pNotebook;
    GtkWidget* m_pCategoryView;
    GtkListStore* m_pCategoryStore;
    GtkWidget* m_pProgramView;
    GtkListStore* m_pProgramStore;
    GtkWidget* m_pAddCategoryBtn;
    GtkWidget* m_pDeleteCategoryBtn;
    GtkWidget* m_pAddProgramBtn;
    GtkWidget* m_pDeleteProgramBtn;
    GtkWidget* m_pEditBtn;
    GtkWidget* m_pDefaultBtn;
    GtkWidget* m_pAutoLockCheck;
    GtkWidget* m_pSystemRow;
    GtkWidget* m_pUSBCheck;
    GtkWidget* m_pNewStudentCheck;

    LibTAVData::CTabNavigationData m_TabNavigation;
    std::list<LibTAVData::CCategory*>* m_pCategoryList;
    LibTAVData::CLockScheduleData m_Schedule;
    std::vector<std::vector<GtkWidget*>> m_vecScheduleGrid;
    LibTAVData::CTAVSystemSettingData m_SystemSetting;
    LibTAVData::CDefaultConfigData m_DefaultConfig;

    CShellSettingCtrl* m_pHandlerTarget;
    CChangeIconDlg* m_pIconDlg;
    std::string m_strCurrentCategoryName;
    std::string m_strCurrentCategoryIcon;

    bool m_bScheduleDirty;
    bool m_bTabNavDirty;
    bool m_bSystemSettingDirty;
};

} // namespace LibTAVGUI

#endif
