// The "About" window of the host programs: background picture, program
// icon, name, version, a rights line and an OK button.
#ifndef TAV_GUI_ABOUTDLG_H
#define TAV_GUI_ABOUTDLG_H

#include "TAVWindowBase.h"

#include <string>

namespace LibTAVGUI {

class CAboutDlg : public CTAVWindowBase {
public:
    // An empty name shows as "About Dialog", an empty version as "1.0"
    // (both translated); a missing icon file shows the default program image.
    CAboutDlg(const std::string& name, const std::string& iconPath, const std::string& version);
    // Everything empty, without defaults: no window icon, no logo.
    CAboutDlg();
    ~CAboutDlg() override;

    int Init() override;

    // "clicked" of OK: closes the dialog.
    static int ClickOKBtn(GtkWidget* widget, void* dialog);

protected:
    std::string m_strName;
    std::string m_strIconPath;
    std::string m_strVersion;
    std::string m_strRights;
    std::string m_strDefaultIconPath;
    std::string m_strBackgroundPath;

    GtkWidget* m_pFixed;
    GtkWidget* m_pBackground;
    GtkWidget* m_pLogo;
    GtkWidget* m_pNameLabel;
    GtkWidget* m_pVersionLabel;
    GtkWidget* m_pRightsLabel;
    GtkWidget* m_pOKButton;
};

} // namespace LibTAVGUI

#endif
