#include "ChangeIconDlg.h"

#include "GUISupport.h"
#include "TAVDataTools.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::Tr;

CChangeIconDlg::CChangeIconDlg(std::string imageFolder, std::string icon, std::string name)
    : m_strImageFolder(std::move(imageFolder)),
      m_strIcon(icon.empty() ? std::string(Tr("Default Icon")) : std::move(icon)),
      m_strName(std::move(name)), m_iReturnStatus(0), m_pIconStore(nullptr), m_pNameEntry(nullptr),
      m_pIconLabel(nullptr), m_pIconView(nullptr), m_pOKButton(nullptr), m_pCancelButton(nullptr)
{
    LogScope log("CChangeIconDlg::CChangeIconDlg()");
}

CChangeIconDlg::~CChangeIconDlg()
{
    LogScope log("CChangeIconDlg::~CChangeIconDlg()");
    // Destroyed here, while the results are still there for a destroy
    // callback of the opener.
    DestoryWindow();
}

int CChangeIconDlg::Init()
{
    LogScope log("CChangeIconDlg::Init()");
    detail::SetUpTextDomain();
    gtk_init(nullptr, nullptr);
    DestoryWindow();

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WatchWindow();
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                         auto* dlg = static_cast<CChangeIconDlg*>(self);
                         dlg->m_pIconStore = nullptr;
                         dlg->m_pNameEntry = dlg->m_pIconLabel = dlg->m_pIconView = nullptr;
                         dlg->m_pOKButton = dlg->m_pCancelButton = nullptr;
                     }),
                     this);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    gtk_widget_set_size_request(m_pWindow, 450, 230);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Edit Category Dialog"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), "Edit Category Dialog", "TAV");

    GtkWidget* vbox = gtk_vbox_new(FALSE, 1);
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 15);
    gtk_container_add(GTK_CONTAINER(m_pWindow), vbox);

    // Name.
    GtkWidget* nameRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(nameRow), gtk_label_new(Tr("Category Name:")), FALSE, FALSE, 10);
    m_pNameEntry = gtk_entry_new();
    gtk_widget_set_size_request(m_pNameEntry, 200, 25);
    gtk_entry_set_text(GTK_ENTRY(m_pNameEntry), m_strName.c_str());
    gtk_box_pack_start(GTK_BOX(nameRow), m_pNameEntry, FALSE, FALSE, 15);
    gtk_box_pack_start(GTK_BOX(vbox), nameRow, FALSE, FALSE, 0);

    // Icon path.
    GtkWidget* iconRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(iconRow), gtk_label_new(Tr("Icon Path:")), FALSE, FALSE, 10);
    m_pIconLabel = gtk_label_new(m_strIcon.c_str());
    // A long path keeps its end (the file name) and loses its start.
    gtk_label_set_ellipsize(GTK_LABEL(m_pIconLabel), PANGO_ELLIPSIZE_START);
    gtk_misc_set_alignment(GTK_MISC(m_pIconLabel), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(iconRow), m_pIconLabel, TRUE, TRUE, 1);
    gtk_box_pack_start(GTK_BOX(vbox), iconRow, FALSE, FALSE, 0);

    for (int i = 0; i < 2; ++i) {
        GtkWidget* empty = gtk_hbox_new(FALSE, 0);
        gtk_container_set_border_width(GTK_CONTAINER(empty), 1);
        gtk_box_pack_start(GTK_BOX(vbox), empty, FALSE, FALSE, 0);
    }

    // Icons of the folder.
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scrolled, 400, 125);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    m_pIconStore = gtk_list_store_new(N_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_STRING);
    m_pIconView = gtk_icon_view_new_with_model(GTK_TREE_MODEL(m_pIconStore));
    g_object_unref(m_pIconStore); // the view holds it from here on
    gtk_widget_set_size_request(m_pIconView, 400, 125);
    gtk_icon_view_set_selection_mode(GTK_ICON_VIEW(m_pIconView), GTK_SELECTION_SINGLE);
    gtk_icon_view_set_pixbuf_column(GTK_ICON_VIEW(m_pIconView), COL_PIXBUF);
    g_signal_connect(m_pIconView, "selection-changed", G_CALLBACK(GtkOnIconViewSelectionChanged),
                     this);
    gtk_container_add(GTK_CONTAINER(scrolled), m_pIconView);
    gtk_box_pack_start(GTK_BOX(vbox), scrolled, TRUE, TRUE, 0);
    gtk_widget_grab_focus(m_pIconView);

    // Buttons.
    GtkWidget* buttonRow = gtk_hbox_new(FALSE, 0);
    m_pOKButton = gtk_button_new_with_label(Tr("OK"));
    detail::SetSizeAtLeast(m_pOKButton, 75, 27);
    gtk_box_pack_start(GTK_BOX(buttonRow), m_pOKButton, FALSE, FALSE, 210);
    gtk_window_set_focus(GTK_WINDOW(m_pWindow), m_pOKButton);
    g_signal_connect(m_pOKButton, "clicked", G_CALLBACK(GTK_OK_BTN_CLICKED), this);
    m_pCancelButton = gtk_button_new_with_label(Tr("Cancel"));
    detail::SetSizeAtLeast(m_pCancelButton, 75, 27);
    gtk_box_pack_end(GTK_BOX(buttonRow), m_pCancelButton, FALSE, FALSE, 30);
    g_signal_connect(m_pCancelButton, "clicked", G_CALLBACK(GTK_CANCEL_BTN_CLICKED), this);
    gtk_box_pack_start(GTK_BOX(vbox), buttonRow, FALSE, FALSE, 0);

    initIconView(m_pIconStore);
    m_bBuilt = true;
    return 0;
}

int CChangeIconDlg::FetchReturnStatus()
{
    LogScope log("CChangeIconDlg::FetchReturnStatus()");
    return m_iReturnStatus;
}

int CChangeIconDlg::FetchData(std::string& name, std::string& icon)
{
    LogScope log("CChangeIconDlg::FetchData()");
    name = m_strName;
    icon = m_strIcon;
    return 0;
}

int CChangeIconDlg::initIconView(GtkListStore* store)
{
    LogScope log("CChangeIconDlg::initIconView()");
    if (!store)
        return -1;
    gtk_list_store_clear(store);
    m_vecFileNames.clear();

    GDir* dir = g_dir_open(m_strImageFolder.c_str(), 0, nullptr);
    if (!dir) {
        LogScope::Error("Can not open specified dir!");
        return -1;
    }
    while (const gchar* name = g_dir_read_name(dir)) {
        if (name[0] == '.')
            continue;
        gchar* fullPath = g_build_filename(m_strImageFolder.c_str(), name, nullptr);
        gchar* displayName = g_filename_to_utf8(name, -1, nullptr, nullptr, nullptr);
        if (!displayName)
            displayName = g_filename_display_name(name);
        GdkPixbuf* image = nullptr;
        if (detail::IsRegularFile(fullPath))
            image = gdk_pixbuf_new_from_file_at_size(fullPath, 24, 24, nullptr);
        m_vecFileNames.push_back(name);
        GtkTreeIter iter;
        gtk_list_store_append(store, &iter);
        gtk_list_store_set(store, &iter, COL_PIXBUF, image, COL_NAME, displayName, COL_PATH,
                           fullPath, -1);
        if (image)
            g_object_unref(image);
        g_free(displayName);
        g_free(fullPath);
    }
    g_dir_close(dir);
    return 0;
}

int CChangeIconDlg::OnIconViewSelectionChanged()
{
    LogScope log("CChangeIconDlg::OnIconViewSelectionChanged()");
    if (!m_pIconView)
        return -1;
    GtkTreePath* path = nullptr;
    if (!gtk_icon_view_get_cursor(GTK_ICON_VIEW(m_pIconView), &path, nullptr) || !path)
        return -1;
    GtkTreeModel* model = gtk_icon_view_get_model(GTK_ICON_VIEW(m_pIconView));
    GtkTreeIter iter;
    const bool found = gtk_tree_model_get_iter(model, &iter, path);
    gtk_tree_path_free(path);
    if (!found)
        return -1;
    gchar* fullPath = nullptr;
    gtk_tree_model_get(model, &iter, COL_PATH, &fullPath, -1);
    if (fullPath) {
        m_strIcon = fullPath;
        g_free(fullPath);
    }
    if (m_pIconLabel)
        gtk_label_set_text(GTK_LABEL(m_pIconLabel), m_strIcon.c_str());
    return 0;
}

int CChangeIconDlg::OnOKBtnClicked()
{
    LogScope log("CChangeIconDlg::OnOKBtnClicked()");
    if (!m_pNameEntry)
        return -1;
    const std::string text = gtk_entry_get_text(GTK_ENTRY(m_pNameEntry));
    m_iReturnStatus = 1;
    std::string message;
    if (LibTAVData::CTAVDataTools::IsInputValid(text, message) < 0) {
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, message);
        return -1;
    }
    m_strName = text;
    Close();
    return 0;
}

void CChangeIconDlg::GtkOnIconViewSelectionChanged(GtkIconView*, void* dialog)
{
    LogScope log("CChangeIconDlg::GtkOnIconViewSelectionChanged()");
    if (dialog)
        static_cast<CChangeIconDlg*>(dialog)->OnIconViewSelectionChanged();
}

void CChangeIconDlg::GTK_OK_BTN_CLICKED(GtkWidget*, void* dialog)
{
    LogScope log("CChangeIconDlg::GTK_OK_BTN_CLICKED()");
    if (dialog)
        static_cast<CChangeIconDlg*>(dialog)->OnOKBtnClicked();
}

void CChangeIconDlg::GTK_CANCEL_BTN_CLICKED(GtkWidget*, void* dialog)
{
    LogScope log("CChangeIconDlg::GTK_CANCEL_BTN_CLICKED()");
    if (!dialog)
        return;
    CChangeIconDlg* self = static_cast<CChangeIconDlg*>(dialog);
    self->m_iReturnStatus = 0;
    self->Close();
}

} // namespace LibTAVGUI
