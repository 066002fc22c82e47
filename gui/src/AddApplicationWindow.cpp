#include "AddApplicationWindow.h"

#include "GUISupport.h"
#include "TAVLayout.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::Tr;
using LibTAVData::CApplicationInfo;

CAddApplicationWindow::CAddApplicationWindow() : m_pProgramStore(nullptr), m_pProgramView(nullptr)
{
    LogScope log("CAddApplicationWindow::CAddApplicationWindow()");
}

CAddApplicationWindow::~CAddApplicationWindow()
{
    LogScope log("CAddApplicationWindow::~CAddApplicationWindow()");
    // Before the search results go: the rows point into them.
    DestoryWindow();
}

int CAddApplicationWindow::Init()
{
    LogScope log("CAddApplicationWindow::Init()");
    detail::SetUpTextDomain();
    gtk_init(nullptr, nullptr);
    DestoryWindow();

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WatchWindow();
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                         auto* window = static_cast<CAddApplicationWindow*>(self);
                         window->m_pProgramStore = nullptr;
                         window->m_pProgramView = nullptr;
                     }),
                     this);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Application Selection"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), "Application Selection", "TAV");
    gtk_container_set_border_width(GTK_CONTAINER(m_pWindow), 0);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    gtk_widget_set_size_request(m_pWindow, 360, 240);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(GtkOnCloseBtnClicked), this);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(m_pWindow), vbox);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    m_pProgramStore = gtk_list_store_new(N_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pProgramStore));
    g_object_unref(m_pProgramStore); // the view holds it from here on
    gtk_widget_set_size_request(m_pProgramView, 160, 200);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pProgramView)),
                                GTK_SELECTION_MULTIPLE);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(m_pProgramView), FALSE);
    gtk_tree_view_set_headers_clickable(GTK_TREE_VIEW(m_pProgramView), FALSE);
    gtk_tree_view_set_rules_hint(GTK_TREE_VIEW(m_pProgramView), TRUE);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, "",
                                                gtk_cell_renderer_pixbuf_new(), "pixbuf",
                                                COL_PIXBUF, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, "",
                                                gtk_cell_renderer_text_new(), "text", COL_NAME,
                                                nullptr);
    gtk_container_add(GTK_CONTAINER(scrolled), m_pProgramView);
    gtk_box_pack_start(GTK_BOX(vbox), scrolled, TRUE, TRUE, 0);

    GtkWidget* buttonRow = gtk_hbox_new(FALSE, 0);
    GtkWidget* cancel = gtk_button_new_with_label(Tr("Cancel"));
    detail::SetSizeAtLeast(cancel, 60, 30);
    gtk_box_pack_end(GTK_BOX(buttonRow), cancel, FALSE, FALSE, 5);
    g_signal_connect(cancel, "clicked", G_CALLBACK(GtkCancelBtnClicked), this);
    GtkWidget* ok = gtk_button_new_with_label(Tr("OK"));
    detail::SetSizeAtLeast(ok, 60, 30);
    gtk_box_pack_end(GTK_BOX(buttonRow), ok, FALSE, FALSE, 5);
    g_signal_connect(ok, "clicked", G_CALLBACK(GtkOKBtnClicked), this);
    gtk_box_pack_start(GTK_BOX(vbox), buttonRow, FALSE, FALSE, 5);

    m_bBuilt = true;
    LoadXMLData();
    return 0;
}

int CAddApplicationWindow::LoadXMLData()
{
    LogScope log("CAddApplicationWindow::LoadXMLData()");
    if (!m_pProgramStore)
        return 0;
    // The rows point into the results about to be reloaded.
    gtk_list_store_clear(m_pProgramStore);
    m_SearchResult.LoadFromFile(LibTAVData::CONFIG_DIR + LibTAVData::SEARCH_RESULT_XML);
    const std::list<CApplicationInfo*>* programs = m_SearchResult.GetPApplicationInfoList();
    int rows = 0;
    if (!programs)
        return rows;
    for (CApplicationInfo* app : *programs) {
        if (!app)
            continue;
        GdkPixbuf* image = nullptr;
        const std::string icon = app->GetCustomIcon();
        if (detail::IsRegularFile(icon))
            image = gdk_pixbuf_new_from_file(icon.c_str(), nullptr);
        if (!image && detail::IsRegularFile(LibTAVData::DEFAULT_APP_ICON))
            image = gdk_pixbuf_new_from_file(LibTAVData::DEFAULT_APP_ICON.c_str(), nullptr);
        GtkTreeIter iter;
        gtk_list_store_append(m_pProgramStore, &iter);
        gtk_list_store_set(m_pProgramStore, &iter, COL_PIXBUF, image, COL_NAME,
                           app->GetName().c_str(), COL_APP, app, -1);
        if (image)
            g_object_unref(image);
        ++rows;
    }
    return rows;
}

int CAddApplicationWindow::GetSelectApplicationList(std::list<CApplicationInfo>& out)
{
    LogScope log("CAddApplicationWindow::GetSelectApplicationList()");
    out.clear();
    out.insert(out.end(), m_listSelection.begin(), m_listSelection.end());
    return static_cast<int>(out.size());
}

int CAddApplicationWindow::AddNewApplication(const CApplicationInfo& app)
{
    LogScope log("CAddApplicationWindow::AddNewApplication()");
    m_listSelection.push_back(app);
    return static_cast<int>(m_listSelection.size());
}

void CAddApplicationWindow::GtkOKBtnClicked(GtkWidget*, void* window)
{
    LogScope log("CAddApplicationWindow::GtkOKBtnClicked()");
    if (!window)
        return;
    CAddApplicationWindow* self = static_cast<CAddApplicationWindow*>(window);
    if (self->m_pProgramView) {
        GtkTreeSelection* selection =
            gtk_tree_view_get_selection(GTK_TREE_VIEW(self->m_pProgramView));
        if (gtk_tree_selection_count_selected_rows(selection) > 0)
            gtk_tree_selection_selected_foreach(selection, GtkTreeSelectionForeachFunc, self);
    }
    self->Close();
}

void CAddApplicationWindow::GtkCancelBtnClicked(GtkWidget*, void* window)
{
    LogScope log("CAddApplicationWindow::GtkCancelBtnClicked()");
    if (window)
        static_cast<CAddApplicationWindow*>(window)->Close();
}

gboolean CAddApplicationWindow::GtkOnCloseBtnClicked(GtkWidget*, GdkEvent*, void* window)
{
    LogScope log("CAddApplicationWindow::GtkOnCloseBtnClicked()");
    if (window)
        static_cast<CAddApplicationWindow*>(window)->Close();
    return FALSE;
}

void CAddApplicationWindow::GtkTreeSelectionForeachFunc(GtkTreeModel* model, GtkTreePath*,
                                                        GtkTreeIter* iter, void* window)
{
    LogScope log("CAddApplicationWindow::GtkTreeSelectionForeachFunc()");
    if (!window)
        return;
    gpointer pointer = nullptr;
    gtk_tree_model_get(model, iter, COL_APP, &pointer, -1);
    const CApplicationInfo* app = static_cast<const CApplicationInfo*>(pointer);
    if (!app)
        return;
    CApplicationInfo copy;
    copy.SetEnable(app->GetEnable());
    copy.SetName(app->GetName());
    copy.SetPath(app->GetPath());
    copy.SetCustomIcon(app->GetCustomIcon());
    static_cast<CAddApplicationWindow*>(window)->AddNewApplication(copy);
}

} // namespace LibTAVGUI
