#include "AboutDlg.h"

#include "GUISupport.h"
#include "TAVDataTools.h"
#include "TAVLayout.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::Tr;
using LibTAVData::CTAVDataTools;

namespace {
const int kWidth = 350;
const int kHeight = 230;
const int kLogoSize = 48;
} // namespace

CAboutDlg::CAboutDlg(const std::string& name, const std::string& iconPath,
                     const std::string& version)
    : m_strName(name.empty() ? Tr("About Dialog") : name), m_strIconPath(iconPath),
      m_strVersion(version.empty() ? Tr("1.0") : version),
      m_strRights(Tr("Copyright (C) Tavora. All rights reserved.")),
      m_strDefaultIconPath(LibTAVData::DEFAULT_APP_ICON), m_pFixed(nullptr), m_pBackground(nullptr),
      m_pLogo(nullptr), m_pNameLabel(nullptr), m_pVersionLabel(nullptr), m_pRightsLabel(nullptr),
      m_pOKButton(nullptr)
{
    LogScope log("CAboutDlg::CAboutDlg()");
}

CAboutDlg::CAboutDlg()
    : m_pFixed(nullptr), m_pBackground(nullptr), m_pLogo(nullptr), m_pNameLabel(nullptr),
      m_pVersionLabel(nullptr), m_pRightsLabel(nullptr), m_pOKButton(nullptr)
{
    LogScope log("CAboutDlg::CAboutDlg()");
}

CAboutDlg::~CAboutDlg()
{
    LogScope log("CAboutDlg::~CAboutDlg()");
    DestoryWindow();
}

int CAboutDlg::Init()
{
    LogScope log("CAboutDlg::Init()");
    detail::SetUpTextDomain();
    gtk_init(nullptr, nullptr);
    DestoryWindow();

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WatchWindow();
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    gtk_widget_set_size_request(m_pWindow, kWidth, kHeight);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);

    const std::string icon =
        CTAVDataTools::FileExist(m_strIconPath) ? m_strIconPath : m_strDefaultIconPath;
    if (detail::IsRegularFile(icon))
        gtk_window_set_icon_from_file(GTK_WINDOW(m_pWindow), icon.c_str(), nullptr);

    m_pFixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pFixed);
    m_strBackgroundPath = LibTAVData::IMAGE_DIR + "About_BG.png";
    GdkPixbuf* background = nullptr;
    if (detail::IsRegularFile(m_strBackgroundPath))
        background = gdk_pixbuf_new_from_file_at_scale(m_strBackgroundPath.c_str(), kWidth, kHeight,
                                                       FALSE, nullptr);
    m_pBackground = gtk_image_new_from_pixbuf(background);
    if (background)
        g_object_unref(background);
    gtk_widget_set_size_request(m_pBackground, kWidth, kHeight);
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pBackground, 0, 0);

    const std::string title = std::string(Tr("About ")) + m_strName;
    gtk_window_set_title(GTK_WINDOW(m_pWindow), title.c_str());
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), title.c_str(), "TAV");

    const std::string versionText = std::string(Tr("Version")) + m_strVersion;

    GdkPixbuf* logo = nullptr;
    if (detail::IsRegularFile(icon))
        logo = gdk_pixbuf_new_from_file_at_size(icon.c_str(), kLogoSize, kLogoSize, nullptr);
    m_pLogo = gtk_image_new_from_pixbuf(logo);
    if (logo)
        g_object_unref(logo);
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pLogo, 28, 69);

    m_pNameLabel = gtk_label_new_with_mnemonic(m_strName.c_str());
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pNameLabel, 92, 70);
    m_pVersionLabel = gtk_label_new_with_mnemonic(versionText.c_str());
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pVersionLabel, 92, 85);
    m_pRightsLabel = gtk_label_new_with_mnemonic(m_strRights.c_str());
    // Wrapped within the window rather than cut off at its edge.
    gtk_label_set_line_wrap(GTK_LABEL(m_pRightsLabel), TRUE);
    gtk_widget_set_size_request(m_pRightsLabel, kWidth - 92 - 10, -1);
    gtk_misc_set_alignment(GTK_MISC(m_pRightsLabel), 0, 0);
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pRightsLabel, 92, 140);

    m_pOKButton = gtk_button_new_with_label(Tr("OK"));
    detail::SetSizeAtLeast(m_pOKButton, 75, 27);
    gtk_fixed_put(GTK_FIXED(m_pFixed), m_pOKButton, 252, 196);
    g_signal_connect(m_pOKButton, "clicked", G_CALLBACK(ClickOKBtn), this);

    m_bBuilt = true;
    return 0;
}

int CAboutDlg::ClickOKBtn(GtkWidget*, void* dialog)
{
    LogScope log("CAboutDlg::ClickOKBtn()");
    if (dialog)
        static_cast<CAboutDlg*>(dialog)->Close();
    return 0;
}

} // namespace LibTAVGUI
