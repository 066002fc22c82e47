// "Program Registration" page of the "Shell Settings" dialog: the launcher's
// categories (tabs) and their programs, edited in the working tab
// navigation model, the category edit dialog, "Restore to Default", and the
// comparison with the stored model.
#include "ShellSettingCtrl.h"

#include "ShellSettingPages.h"
#include "TAVLayout.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::SizedButton;
using detail::Tr;
using LibTAVData::CApplicationInfo;
using LibTAVData::CCategory;
using LibTAVData::CONFIG_DIR;

namespace {

const int kIconSize = 32;

// A list view of store in a scrolled window of width x height (both scroll
// bars when needed), packed into row; the view holds the store from then on.
GtkWidget* PackListView(GtkWidget* row, GtkListStore* store, int width, int height)
{
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(scroll, width, height);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_container_add(GTK_CONTAINER(scroll), view);
    gtk_box_pack_start(GTK_BOX(row), scroll, FALSE, FALSE, 0);
    return view;
}

} // namespace

int CShellSettingCtrl::initProgramRegistration()
{
    LogScope log("CShellSettingCtrl::initProgramRegistration()");
    if (!m_pNotebook)
        return -1;
    GtkWidget* page = gtk_vbox_new(FALSE, 0);
    gtk_widget_set_size_request(page, 480, 265);

    GtkWidget* lists = gtk_hbox_new(FALSE, 5);

    // Categories: icon, name, pointer.
    m_pCategoryStore =
        gtk_list_store_new(CAT_N_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pCategoryView = PackListView(lists, m_pCategoryStore, 160, 220);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pCategoryView), -1, "",
                                                gtk_cell_renderer_pixbuf_new(), "pixbuf",
                                                CAT_COL_ICON, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pCategoryView), -1,
                                                Tr("Category (Tab)"), gtk_cell_renderer_text_new(),
                                                "text", CAT_COL_NAME, nullptr);

    // Programs: shown, icon, name, pointer.
    m_pProgramStore = gtk_list_store_new(PROG_N_COLUMNS, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF,
                                         G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = PackListView(lists, m_pProgramStore, 312, 220);
    GtkCellRenderer* show = gtk_cell_renderer_toggle_new();
    gtk_cell_renderer_toggle_set_activatable(GTK_CELL_RENDERER_TOGGLE(show), TRUE);
    g_signal_connect(show, "toggled", G_CALLBACK(EnableDisableProgram), m_pHandlerTarget);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, Tr("Show"), show,
                                                "active", PROG_COL_SHOW, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, "",
                                                gtk_cell_renderer_pixbuf_new(), "pixbuf",
                                                PROG_COL_ICON, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1,
                                                Tr("Program name"), gtk_cell_renderer_text_new(),
                                                "text", PROG_COL_NAME, nullptr);
    gtk_box_pack_start(GTK_BOX(page), lists, FALSE, FALSE, 0);

    // Buttons: category + and -, Edit, program + and -, Restore to Default.
    GtkWidget* buttons = gtk_hbox_new(FALSE, 5);
    m_pAddCategoryBtn = SizedButton("+", 30, 30);
    m_pDeleteCategoryBtn = SizedButton("-", 30, 30);
    m_pEditBtn = SizedButton(Tr("Edit"), 60, 30);
    m_pAddProgramBtn = SizedButton("+", 30, 30);
    m_pDeleteProgramBtn = SizedButton("-", 30, 30);
    m_pDefaultBtn = SizedButton(Tr("Restore to Default"), 130, 30);
    gtk_box_pack_start(GTK_BOX(buttons), m_pAddCategoryBtn, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), m_pDeleteCategoryBtn, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), m_pEditBtn, FALSE, FALSE, 0);
    // The program buttons start under the program list.
    GtkWidget* gap = gtk_hbox_new(FALSE, 0);
    gtk_widget_set_size_request(gap, 160 + 5 - (30 + 5 + 30 + 5 + 60) - 2 * 5, -1);
    gtk_box_pack_start(GTK_BOX(buttons), gap, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), m_pAddProgramBtn, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), m_pDeleteProgramBtn, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(buttons), m_pDefaultBtn, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), buttons, FALSE, FALSE, 5);
    SetCategoryButtonsSensitive(false);

    g_signal_connect(m_pCategoryView, "row-activated", G_CALLBACK(GtkOnCategoryTreeRowActivated),
                     m_pHandlerTarget);
    g_signal_connect(m_pCategoryView, "cursor-changed", G_CALLBACK(ChangeCategory),
                     m_pHandlerTarget);
    g_signal_connect(m_pAddCategoryBtn, "clicked", G_CALLBACK(AddCategory), m_pHandlerTarget);
    g_signal_connect(m_pDeleteCategoryBtn, "clicked", G_CALLBACK(DeleteCategory), m_pHandlerTarget);
    g_signal_connect(m_pEditBtn, "clicked", G_CALLBACK(GtkOnEditCateoryBtnClicked),
                     m_pHandlerTarget);
    g_signal_connect(m_pAddProgramBtn, "clicked", G_CALLBACK(GtkAddProgramBtnClicked),
                     m_pHandlerTarget);
    g_signal_connect(m_pDeleteProgramBtn, "clicked", G_CALLBACK(GtkDeleteProgramBtnClicked),
                     m_pHandlerTarget);
    g_signal_connect(m_pDefaultBtn, "clicked", G_CALLBACK(GtkOnDefaultBtnClicked),
                     m_pHandlerTarget);

    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), page,
                             gtk_label_new(Tr("Program Registration")));
    return 0;
}

bool CShellSettingCtrl::ShowTabNavPolicy()
{
    LogScope log("CShellSettingCtrl::ShowTabNavPolicy()");
    m_pCategoryList = m_TabNavigation.GetPCategoryInfoList();
    if (!m_pCategoryStore || !m_pCategoryList || m_pCategoryList->empty())
        return false;
    for (CCategory* category : *m_pCategoryList) {
        if (!category)
            continue;
        GdkPixbuf* icon = detail::LoadIconAtSize(category->GetCategoryIcon(), kIconSize, kIconSize);
        GtkTreeIter iter;
        gtk_list_store_append(m_pCategoryStore, &iter);
        gtk_list_store_set(m_pCategoryStore, &iter, CAT_COL_ICON, icon, CAT_COL_NAME,
                           category->GetName().c_str(), CAT_COL_CATEGORY, category, -1);
        if (icon)
            g_object_unref(icon);
    }
    GtkTreeIter first;
    if (!gtk_tree_model_get_iter_first(GTK_TREE_MODEL(m_pCategoryStore), &first))
        return false;
    GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(m_pCategoryStore), &first);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(m_pCategoryView), path, nullptr, FALSE);
    gtk_tree_path_free(path);
    gpointer category = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &first, CAT_COL_CATEGORY, &category, -1);
    showPrograms(static_cast<CCategory*>(category));
    return true;
}

int CShellSettingCtrl::showPrograms(CCategory* category)
{
    LogScope log("CShellSettingCtrl::showPrograms()");
    if (!category)
        return -1;
    m_strCurrentCategoryName = category->GetName();
    m_strCurrentCategoryIcon = category->GetCategoryIcon();
    if (!m_pProgramStore)
        return 0;
    gtk_list_store_clear(m_pProgramStore);
    const std::list<CApplicationInfo*>* programs = category->GetPApplicationInfoList();
    if (!programs)
        return 0;
    for (CApplicationInfo* app : *programs) {
        if (!app)
            continue;
        GdkPixbuf* icon = detail::LoadIconAtSize(app->GetCustomIcon(), kIconSize, kIconSize);
        GtkTreeIter iter;
        gtk_list_store_append(m_pProgramStore, &iter);
        gtk_list_store_set(m_pProgramStore, &iter, PROG_COL_SHOW, app->GetEnable() != 0,
                           PROG_COL_ICON, icon, PROG_COL_NAME, app->GetName().c_str(), PROG_COL_APP,
                           app, -1);
        if (icon)
            g_object_unref(icon);
    }
    return 0;
}

int CShellSettingCtrl::BuildNewCategoryName(std::string base, std::string& out)
{
    LogScope log("CShellSettingCtrl::BuildNewCategoryName()");
    std::string candidate = base;
    int counter = 2;
    while (m_TabNavigation.IsCategoryExist(candidate) == 1) {
        candidate = base + "(" + std::to_string(counter) + ")";
        ++counter;
    }
    out = candidate;
    return 1;
}

bool CShellSettingCtrl::GetSelectedCategory(GtkTreeIter* iter, CCategory*& category)
{
    category = nullptr;
    if (!m_pCategoryView)
        return false;
    GtkTreeModel* model = nullptr;
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView));
    if (!gtk_tree_selection_get_selected(selection, &model, iter))
        return false;
    gpointer pointer = nullptr;
    gtk_tree_model_get(model, iter, CAT_COL_CATEGORY, &pointer, -1);
    category = static_cast<CCategory*>(pointer);
    return true;
}

void CShellSettingCtrl::SetCategoryButtonsSensitive(bool sensitive)
{
    for (GtkWidget* button :
         {m_pDeleteCategoryBtn, m_pAddProgramBtn, m_pEditBtn, m_pDeleteProgramBtn})
        if (button)
            gtk_widget_set_sensitive(button, sensitive);
}

int CShellSettingCtrl::UpdateCategory(std::string name, std::string icon)
{
    LogScope log("CShellSettingCtrl::UpdateCategory()");
    GtkTreeIter iter;
    CCategory* category = nullptr;
    if (name.empty() || icon.empty() || !GetSelectedCategory(&iter, category))
        return -1;
    GdkPixbuf* pixbuf = detail::LoadIconAtSize(icon, kIconSize, kIconSize);
    // The store drops its reference to the old image.
    gtk_list_store_set(m_pCategoryStore, &iter, CAT_COL_ICON, pixbuf, CAT_COL_NAME, name.c_str(),
                       -1);
    if (pixbuf)
        g_object_unref(pixbuf);
    if (category) {
        category->SetName(name);
        category->SetCategoryIcon(icon);
    }
    // The selected category is the current one: the next edit starts from
    // (and compares against) what it is now called.
    m_strCurrentCategoryName = name;
    m_strCurrentCategoryIcon = icon;
    return 1;
}

int CShellSettingCtrl::AddPrograms(const std::list<CApplicationInfo>& programs)
{
    LogScope log("CShellSettingCtrl::AddPrograms()");
    GtkTreeIter iter;
    CCategory* category = nullptr;
    if (!GetSelectedCategory(&iter, category) || programs.empty())
        return -1;
    if (!category) {
        LogScope::Error("Cannot fetch category pointer!");
        return 0;
    }
    bool filtered = false;
    for (const CApplicationInfo& program : programs) {
        if (category->IsApplicationExist(program.GetName(), program.GetPath()) != 0) {
            filtered = true;
            continue;
        }
        CApplicationInfo* app = new CApplicationInfo;
        app->SetEnable(1);
        app->SetName(program.GetName());
        app->SetPath(program.GetPath());
        app->SetCustomIcon(program.GetCustomIcon());
        category->GetPApplicationInfoList()->push_back(app);
        if (m_pProgramStore) {
            GdkPixbuf* icon = detail::LoadIconAtSize(app->GetCustomIcon(), kIconSize, kIconSize);
            GtkTreeIter row;
            gtk_list_store_append(m_pProgramStore, &row);
            gtk_list_store_set(m_pProgramStore, &row, PROG_COL_SHOW, TRUE, PROG_COL_ICON, icon,
                               PROG_COL_NAME, app->GetName().c_str(), PROG_COL_APP, app, -1);
            if (icon)
                g_object_unref(icon);
        }
    }
    if (filtered)
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                              Tr("The same applications have been filtered!"));
    return 0;
}

int CShellSettingCtrl::OnEditCategoryBtnClicked()
{
    LogScope log("CShellSettingCtrl::OnEditCategoryBtnClicked()");
    // One icon dialog at a time: the previous one is released here (its
    // result was taken when its window went).
    CChangeIconDlg* previous = m_pIconDlg;
    m_pIconDlg = nullptr;
    delete previous;

    std::string folder = LibTAVData::IMAGE_DIR;
    if (folder.size() > 1 && folder[folder.size() - 1] == '/')
        folder.erase(folder.size() - 1);
    m_pIconDlg = new CChangeIconDlg(folder, m_strCurrentCategoryIcon, m_strCurrentCategoryName);
    m_pIconDlg->Init();
    m_pIconDlg->ShowModal(m_pWindow, G_CALLBACK(GetDataFromIconDlgCallBack), this);
    return 0;
}

void CShellSettingCtrl::GetDataFromIconDlgCallBack(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::GetDataFromIconDlgCallBack()", dialog,
                            [](CShellSettingCtrl& self) { self.GetDataFromIconDlg(); });
}

int CShellSettingCtrl::GetDataFromIconDlg()
{
    LogScope log("CShellSettingCtrl::GetDataFromIconDlg()");
    if (!m_pIconDlg || !m_pIconDlg->FetchReturnStatus())
        return 0;
    std::string name, icon;
    m_pIconDlg->FetchData(name, icon);
    if (name == m_strCurrentCategoryName) {
        UpdateCategory(name, icon);
        return 0;
    }
    switch (m_TabNavigation.IsCategoryExist(name)) {
    case 0:
        UpdateCategory(name, icon);
        break;
    case 1:
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                              Tr("The Specified Category Name Already Exist!"));
        break;
    default:
        LogScope::Error("ASSERT!!!");
        break;
    }
    return 0;
}

int CShellSettingCtrl::OnDefaultBtnClicked()
{
    LogScope log("CShellSettingCtrl::OnDefaultBtnClicked()");
    // The rows go before the objects they point to.
    if (m_pCategoryStore)
        gtk_list_store_clear(m_pCategoryStore);
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    m_DefaultConfig.LoadFromFile(CONFIG_DIR + LibTAVData::DEFAULT_CONFIG_XML);
    std::list<CCategory*>* categories = m_DefaultConfig.CloneCategoryInfoList();
    if (categories) {
        m_TabNavigation.SetPCategoryInfoList(categories);
        ShowTabNavPolicy();
    }
    return 0;
}

// --- Handlers of the Program Registration page ---

void CShellSettingCtrl::ChangeCategory(GtkTreeView*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::ChangeCategory()", dialog,
                            [](CShellSettingCtrl& self) {
                                GtkTreeIter iter;
                                CCategory* category = nullptr;
                                if (self.GetSelectedCategory(&iter, category)) {
                                    self.SetCategoryButtonsSensitive(true);
                                    self.showPrograms(category);
                                } else {
                                    if (self.m_pDeleteCategoryBtn)
                                        gtk_widget_set_sensitive(self.m_pDeleteCategoryBtn, FALSE);
                                    if (self.m_pProgramStore)
                                        gtk_list_store_clear(self.m_pProgramStore);
                                }
                            });
}

void CShellSettingCtrl::GtkOnCategoryTreeRowActivated(GtkTreeView*, GtkTreePath*,
                                                      GtkTreeViewColumn*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::GtkOnCategoryTreeRowActivated()", dialog,
                            [](CShellSettingCtrl& self) {
                                self.OnEditCategoryBtnClicked();
                                self.m_bTabNavDirty = true;
                            });
}

void CShellSettingCtrl::AddCategory(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget(
        "CShellSettingCtrl::AddCategory()", dialog, [](CShellSettingCtrl& self) {
            std::string name;
            self.BuildNewCategoryName(Tr("New Category"), name);
            CCategory* category = new CCategory;
            category->SetName(name);
            category->SetCategoryIcon(LibTAVData::DEFAULT_APP_ICON);
            // The model's list itself: the cached pointer may predate a reload.
            self.m_pCategoryList = self.m_TabNavigation.GetPCategoryInfoList();
            if (!self.m_pCategoryList) {
                self.m_TabNavigation.SetPCategoryInfoList(new std::list<CCategory*>);
                self.m_pCategoryList = self.m_TabNavigation.GetPCategoryInfoList();
            }
            self.m_pCategoryList->push_back(category);

            if (self.m_pCategoryStore) {
                GdkPixbuf* icon =
                    detail::LoadIconAtSize(category->GetCategoryIcon(), kIconSize, kIconSize);
                GtkTreeIter iter;
                gtk_list_store_append(self.m_pCategoryStore, &iter);
                gtk_list_store_set(self.m_pCategoryStore, &iter, CAT_COL_ICON, icon, CAT_COL_NAME,
                                   name.c_str(), CAT_COL_CATEGORY, category, -1);
                if (icon)
                    g_object_unref(icon);
                GtkTreePath* path =
                    gtk_tree_model_get_path(GTK_TREE_MODEL(self.m_pCategoryStore), &iter);
                gtk_tree_view_set_cursor(GTK_TREE_VIEW(self.m_pCategoryView), path, nullptr, FALSE);
                gtk_tree_path_free(path);
            }
            self.showPrograms(category);
            self.SetCategoryButtonsSensitive(true);
            self.m_bTabNavDirty = true;
        });
}

void CShellSettingCtrl::DeleteCategory(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget(
        "CShellSettingCtrl::DeleteCategory()", dialog, [](CShellSettingCtrl& self) {
            GtkTreeIter iter;
            CCategory* category = nullptr;
            if (self.GetSelectedCategory(&iter, category)) {
                // The program rows point into the category about to go.
                if (self.m_pProgramStore)
                    gtk_list_store_clear(self.m_pProgramStore);
                if (category)
                    self.m_TabNavigation.RemoveCategory(category);
                gtk_list_store_remove(self.m_pCategoryStore, &iter);
                self.m_strCurrentCategoryName.clear();
                self.m_strCurrentCategoryIcon.clear();
            }
            if (self.m_pProgramStore)
                gtk_list_store_clear(self.m_pProgramStore);
            // No category is shown now; none stays selected either.
            if (self.m_pCategoryView)
                gtk_tree_selection_unselect_all(
                    gtk_tree_view_get_selection(GTK_TREE_VIEW(self.m_pCategoryView)));
            self.SetCategoryButtonsSensitive(false);
            self.m_bTabNavDirty = true;
        });
}

void CShellSettingCtrl::GtkOnEditCateoryBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::GtkOnEditCateoryBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) {
                                self.OnEditCategoryBtnClicked();
                                self.m_bTabNavDirty = true;
                            });
}

void CShellSettingCtrl::GtkAddProgramBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget("CShellSettingCtrl::GtkAddProgramBtnClicked()", dialog,
                            [](CShellSettingCtrl& self) {
                                if (self.m_pDeleteProgramBtn)
                                    gtk_widget_set_sensitive(self.m_pDeleteProgramBtn, TRUE);
                                self.OnAddProgram();
                                self.m_bTabNavDirty = true;
                            });
}

void CShellSettingCtrl::GtkDeleteProgramBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget(
        "CShellSettingCtrl::GtkDeleteProgramBtnClicked()", dialog, [](CShellSettingCtrl& self) {
            GtkTreeIter categoryIter, programIter;
            CCategory* category = nullptr;
            GtkTreeModel* model = nullptr;
            if (self.GetSelectedCategory(&categoryIter, category) && self.m_pProgramView &&
                gtk_tree_selection_get_selected(
                    gtk_tree_view_get_selection(GTK_TREE_VIEW(self.m_pProgramView)), &model,
                    &programIter)) {
                gpointer app = nullptr;
                gtk_tree_model_get(model, &programIter, PROG_COL_APP, &app, -1);
                if (self.m_TabNavigation.RemoveProgram(category,
                                                       static_cast<CApplicationInfo*>(app)) == 1)
                    gtk_list_store_remove(self.m_pProgramStore, &programIter);
                GtkTreeIter first;
                if (gtk_tree_model_get_iter_first(model, &first))
                    gtk_tree_selection_select_iter(
                        gtk_tree_view_get_selection(GTK_TREE_VIEW(self.m_pProgramView)), &first);
                else if (self.m_pDeleteProgramBtn)
                    gtk_widget_set_sensitive(self.m_pDeleteProgramBtn, FALSE);
            }
            self.m_bTabNavDirty = true;
        });
}

void CShellSettingCtrl::EnableDisableProgram(GtkCellRendererToggle*, gchar* path, void* dialog)
{
    detail::OnHandlerTarget(
        "CShellSettingCtrl::EnableDisableProgram()", dialog, [path](CShellSettingCtrl& self) {
            if (!self.m_pProgramStore || !path)
                return;
            GtkTreeIter iter;
            if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(self.m_pProgramStore), &iter,
                                                     path))
                return;
            gboolean shown = FALSE;
            gpointer app = nullptr;
            gtk_tree_model_get(GTK_TREE_MODEL(self.m_pProgramStore), &iter, PROG_COL_SHOW, &shown,
                               PROG_COL_APP, &app, -1);
            shown = !shown;
            gtk_list_store_set(self.m_pProgramStore, &iter, PROG_COL_SHOW, shown, -1);
            if (app)
                static_cast<CApplicationInfo*>(app)->SetEnable(shown ? 1 : 0);
            self.m_bTabNavDirty = true;
        });
}

void CShellSettingCtrl::GtkOnDefaultBtnClicked(GtkWidget*, void* dialog)
{
    detail::OnHandlerTarget(
        "CShellSettingCtrl::GtkOnDefaultBtnClicked()", dialog, [](CShellSettingCtrl& self) {
            const gint answer =
                detail::RunMessageBox(self.m_pWindow, GTK_MESSAGE_INFO, GTK_BUTTONS_OK_CANCEL,
                                      Tr("Do you want to restore the default configuration?"));
            if (answer == GTK_RESPONSE_OK) {
                self.OnDefaultBtnClicked();
                self.SetCategoryButtonsSensitive(true);
            }
            self.m_bTabNavDirty = true;
        });
}

bool CShellSettingCtrl::IsTabNavDataDirty()
{
    LogScope log("CShellSettingCtrl::IsTabNavDataDirty()");
    LibTAVData::CTabNavigationData stored;
    stored.LoadFromFile(CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML);
    m_bTabNavDirty = stored.IsEqual(m_TabNavigation) != 1;
    return m_bTabNavDirty;
}

int CShellSettingCtrl::FetchTabNavData()
{
    LogScope log("CShellSettingCtrl::FetchTabNavData()");
    IsTabNavDataDirty();
    return 0;
}

} // namespace LibTAVGUI
