// The "Edit Category Dialog": edits a category's name and picks its icon
// among the files of an image folder. The opener shows it with ShowModal
// and a destroy callback, then reads FetchReturnStatus and FetchData from
// the object, which outlives its window.
#ifndef TAV_GUI_CHANGEICONDLG_H
#define TAV_GUI_CHANGEICONDLG_H

#include "TAVWindowBase.h"

#include <string>
#include <vector>

namespace LibTAVGUI {

class CChangeIconDlg : public CTAVWindowBase {
public:
    // An empty icon becomes the translated text "Default Icon".
    CChangeIconDlg(std::string imageFolder, std::string icon, std::string name);
    ~CChangeIconDlg() override;

    int Init() override;

    // 1 once OK was pressed, 0 after Cancel.
    int FetchReturnStatus();
    // The name and the chosen icon (full path); returns 0.
    int FetchData(std::string& name, std::string& icon);

    int OnIconViewSelectionChanged();
    int OnOKBtnClicked();

    static void GtkOnIconViewSelectionChanged(GtkIconView* view, void* dialog);
    static void GTK_OK_BTN_CLICKED(GtkWidget* widget, void* dialog);
    static void GTK_CANCEL_BTN_CLICKED(GtkWidget* widget, void* dialog);

    // Lists the image folder into store: every entry not starting with ".",
    // in the folder's own order.
    int initIconView(GtkListStore* store);

protected:
    enum { COL_PIXBUF = 0, COL_NAME, COL_PATH, N_COLUMNS };

    std::string m_strImageFolder;
    std::string m_strIcon;
    std::string m_strName;
    int m_iReturnStatus;
    GtkListStore* m_pIconStore;
    std::vector<std::string> m_vecFileNames;

    GtkWidget* m_pNameEntry;
    GtkWidget* m_pIconLabel;
    GtkWidget* m_pIconView;
    GtkWidget* m_pOKButton;
    GtkWidget* m_pCancelButton;
};

} // namespace LibTAVGUI

#endif
