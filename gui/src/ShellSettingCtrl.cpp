// The "Shell Settings" window, its OK / Apply / Cancel / close flows and the
// offer to save what changed. The pages are in ShellSettingLockPage.cpp,
// ShellSettingProgramPage.cpp and ShellSettingSystemPage.cpp.
#include "ShellSettingCtrl.h"

#include "ShellSettingPages.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::SizedButton;
using detail::Tr;

CShellSettingCtrl::CShellSettingCtrl()
    : m_pNotebook(nullptr), m_pCategoryView(nullptr), m_pCategoryStore(nullptr),
      m_pProgramView(nullptr), m_pProgramStore(nullptr), m_pAddCategoryBtn(nullptr),
      m_pDeleteCategoryBtn(nullptr), m_pAddProgramBtn(nullptr), m_pDeleteProgramBtn(nullptr),
      m_pEditBtn(nullptr), m_pDefaultBtn(nullptr), m_pAutoLockCheck(nullptr), m_pSystemRow(nullptr),
      m_pUSBCheck(nullptr), m_pNewStudentCheck(nullptr), m_pCategoryList(nullptr),
      m_vecScheduleGrid(DAYS, std::vector<GtkWidget*>(HOURS, nullptr)), m_pHandlerTarget(nullptr),
      m_pIconDlg(nullptr), m_bScheduleDirty(false), m_bTabNavDirty(false),
      m_bSystemSettingDirty(false)
{
    LogScope log("CShellSettingCtrl::CShellSettingCtrl()");
}

CShellSettingCtrl::~CShellSettingCtrl()
{
    LogScope log("CShellSettingCtrl::~CShellSettingCtrl()");
    // Forgotten before it goes, so that its window's destroy callback finds
    // no dialog to read.
    CChangeIconDlg* iconDlg = m_pIconDlg;
    m_pIconDlg = nullptr;
    delete iconDlg;
    // The rows point into the models, which are destroyed after this body.
    DestoryWindow();
}

int CShellSettingCtrl::AttachBaseClassGTKHandler(CShellSettingCtrl* target)
{
    LogScope log("CShellSettingCtrl::AttachBaseClassGTKHandler()");
    if (target)
        m_pHandlerTarget = target;
    detail::SetUpTextDomain();
    gtk_init(nullptr, nullptr);
    initWindow();
    initShellLockSetting();
    initProgramRegistration();
    initSystemSetting();
    return 0;
}

int CShellSettingCtrl::initWindow()
{
    LogScope log("CShellSettingCtrl::initWindow()");
    DestoryWindow();
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WatchWindow();
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(OnWindowDestroyed), this);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Shell Settings"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), "Shell Settings", "TAV");
    gtk_container_set_border_width(GTK_CONTAINER(m_pWindow), 10);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnCloseBtnClicked), m_pHandlerTarget);

    // 500 x 350 with the border; larger when a page needs more (fonts,
    // translations), so that nothing is cut off.
    GtkWidget* mainBox = gtk_vbox_new(FALSE, 5);
    detail::SetSizeAtLeast(mainBox, 500 - 2 * 10, 350 - 2 * 10);
    gtk_container_add(GTK_CONTAINER(m_pWindow), mainBox);
    m_pNotebook = gtk_notebook_new();
    gtk_notebook_set_tab_pos(GTK_NOTEBOOK(m_pNotebook), GTK_POS_TOP);
    gtk_box_pack_start(GTK_BOX(mainBox), m_pNotebook, TRUE, TRUE, 0);

    GtkWidget* buttonRow = gtk_hbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(buttonRow), 10);
    GtkWidget* cancel = SizedButton(Tr("Cancel"), 70, 30);
    GtkWidget* apply = SizedButton(Tr("Apply"), 70, 30);
    GtkWidget* ok = SizedButton(Tr("OK"), 70, 30);
    gtk_box_pack_end(GTK_BOX(buttonRow), cancel, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(buttonRow), apply, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(buttonRow), ok, FALSE, FALSE, 0);
    g_signal_connect(cancel, "clicked", G_CALLBACK(OnCancelBtnClicked), m_pHandlerTarget);
    g_signal_connect(apply, "clicked", G_CALLBACK(OnApplyBtnClicked), m_pHandlerTarget);
    g_signal_connect(ok, "clicked", G_CALLBACK(OnOKBtnClicked), m_pHandlerTarget);
    gtk_box_pack_start(GTK_BOX(mainBox), buttonRow, FALSE, FALSE, 0);
    return 0;
}

void CShellSettingCtrl::OnWindowDestroyed(GtkWidget*, gpointer self)
{
    // The widgets go with the window; nothing may use them afterwards.
    CShellSettingCtrl* dlg = static_cast<CShellSettingCtrl*>(self);
    dlg->m_pNotebook = nullptr;
    dlg->m_pCategoryView = dlg->m_pProgramView = nullptr;
    dlg->m_pCategoryStore = dlg->m_pProgramStore = nullptr;
    dlg->m_pAddCategoryBtn = dlg->m_pDeleteCategoryBtn = nullptr;
    dlg->m_pAddProgramBtn = dlg->m_pDeleteProgramBtn = nullptr;
    dlg->m_pEditBtn = dlg->m_pDefaultBtn = nullptr;
    dlg->m_pAutoLockCheck = dlg->m_pSystemRow = nullptr;
    dlg->m_pUSBCheck = dlg->m_pNewStudentCheck = nullptr;
    dlg->m_vecScheduleGrid.assign(DAYS, std::vector<GtkWidget*>(HOURS, nullptr));
}

// ---------------------------------------------------------------------------
// Dirty flags and the closing flows

bool CShellSettingCtrl::IsDataDirty()
{
    LogScope log("CShellSettingCtrl::IsDataDirty()");
    return m_bScheduleDirty || m_bTabNavDirty || m_bSystemSettingDirty;
}

void CShellSettingCtrl::OfferToSave()
{
    IsTabNavDataDirty();
    FetchScheuleData();
    FetchTeacherPolicy();
    FetchUSBData();
    if (IsDataDirty() &&
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_INFO, GTK_BUTTONS_OK_CANCEL,
                              Tr("Are You sure you want to save?")) == GTK_RESPONSE_OK)
        OnApply();
}

int CShellSettingCtrl::OnOK()
{
    LogScope log("CShellSettingCtrl::OnOK()");
    OnApply();
    OnClose();
    return 0;
}

int CShellSettingCtrl::OnCancel()
{
    LogScope log("CShellSettingCtrl::OnCancel()");
    OfferToSave();
    Close();
    return 0;
}

int CShellSettingCtrl::OnClose()
{
    LogScope log("CShellSettingCtrl::OnClose()");
    OfferToSave();
    return Close();
}

gboolean CShellSettingCtrl::OnCloseBtnClicked(GtkWidget*, GdkEvent*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::OnCloseBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) { self.OnClose(); });
    return FALSE;
}

void CShellSettingCtrl::OnCancelBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::OnCancelBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) { self.OnCancel(); });
}

void CShellSettingCtrl::OnApplyBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::OnApplyBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) { self.OnApply(); });
}

void CShellSettingCtrl::OnOKBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::OnOKBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) { self.OnOK(); });
}

} // namespace LibTAVGUI
