#include "ShellSettingCtrl.h"

#include "GUISupport.h"
#include "TAVLayout.h"

#include <memory>

namespace LibTAVGUI {

using detail::LogScope;
using detail::Tr;
using LibTAVData::CApplicationInfo;
using LibTAVData::CCategory;
using LibTAVData::CLockTimeSection;
using LibTAVData::CONFIG_DIR;

namespace {

const int kIconSize = 32;

// Week grid geometry: cells of kCell pixels. The hour scale's labels are
// kHourLabelWidth wide with kHourLabelMargin on each side, so one label
// spans two cells and the label centres fall on the even hour lines; the
// label is wide enough for a two-digit hour (a narrower one cuts it off).
const int kCell = 17;
const int kHourLabelMargin = 5;
const int kHourLabelWidth = 2 * kCell - 2 * kHourLabelMargin;
const int kDayColumnMargin = 15;
const int kGridBorder = 5;
const int kDayLabelMargin = 1;
const int kDayLabelHeight = kCell - 2 * kDayLabelMargin;

// Marks a text for the message template; it is translated where shown.
#define N_(text) text

const char* const kDayNames[] = {
    // TRANSLATORS: short day names heading the rows of the week grid.
    N_("Mon"), N_("Tue"), N_("Wed"), N_("Thu"), N_("Fri"), N_("Sat"), N_("Sun")};
const char* const kHourMarks[] = {
    // TRANSLATORS: hours of the day on the scale above the week grid.
    N_("0"), N_("2"), N_("4"), N_("6"), N_("8"), N_("10"), N_("12"), N_("14"), N_("16"),
    N_("18"), N_("20"), N_("22"), N_("24")};

GtkWidget* SizedButton(const char* label, int width, int height)
{
    GtkWidget* button = gtk_button_new_with_label(label);
    detail::SetSizeAtLeast(button, width, height);
    return button;
}

CShellSettingCtrl* Target(void* dialog) { return static_cast<CShellSettingCtrl*>(dialog); }

bool IsPressed(GtkWidget* toggle)
{
    return toggle && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle));
}

} // namespace

CShellSettingCtrl::CShellSettingCtrl()
    : m_pNotebook(nullptr), m_pCategoryView(nullptr), m_pCategoryStore(nullptr),
      m_pProgramView(nullptr), m_pProgramStore(nullptr), m_pAddCategoryBtn(nullptr),
      m_pDeleteCategoryBtn(nullptr), m_pAddProgramBtn(nullptr), m_pDeleteProgramBtn(nullptr),
      m_pEditBtn(nullptr), m_pDefaultBtn(nullptr), m_pAutoLockCheck(nullptr),
      m_pSystemRow(nullptr), m_pUSBCheck(nullptr), m_pNewStudentCheck(nullptr),
      m_pCategoryList(nullptr),
      m_vecScheduleGrid(DAYS, std::vector<GtkWidget*>(HOURS, nullptr)),
      m_pHandlerTarget(nullptr), m_pIconDlg(nullptr), m_bScheduleDirty(false),
      m_bTabNavDirty(false), m_bSystemSettingDirty(false)
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

// ---------------------------------------------------------------------------
// Window and pages

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

int CShellSettingCtrl::initShellLockSetting()
{
    LogScope log("CShellSettingCtrl::initShellLockSetting()");
    if (!m_pNotebook)
        return -1;
    GtkWidget* page = gtk_vbox_new(FALSE, 5);

    GtkWidget* heading = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(heading), gtk_label_new(Tr("Shell Lock Settings")), FALSE, FALSE,
                       10);
    gtk_box_pack_start(GTK_BOX(page), heading, FALSE, FALSE, 0);

    GtkWidget* autoLockRow = gtk_hbox_new(FALSE, 0);
    m_pAutoLockCheck = gtk_check_button_new_with_label(Tr("Automatically lock Tavora"));
    gtk_box_pack_start(GTK_BOX(autoLockRow), m_pAutoLockCheck, FALSE, FALSE, 10);
    gtk_box_pack_start(GTK_BOX(page), autoLockRow, FALSE, FALSE, 0);

    // The day column and a spacer in the hour-scale row get the same width,
    // so the scale starts half a label left of the grid's first cell.
    GtkSizeGroup* dayWidth = gtk_size_group_new(GTK_SIZE_GROUP_HORIZONTAL);

    GtkWidget* scaleRow = gtk_hbox_new(FALSE, 0);
    GtkWidget* spacer = gtk_hbox_new(FALSE, 0);
    gtk_size_group_add_widget(dayWidth, spacer);
    // The grid starts at the day column plus its margins and the grid's
    // border; the scale one half label (with its margin) before that.
    GtkWidget* lead = gtk_alignment_new(0, 0, 1, 1);
    gtk_alignment_set_padding(GTK_ALIGNMENT(lead), 0, 0,
                              2 * kDayColumnMargin + kGridBorder - (kHourLabelMargin + kHourLabelWidth / 2), 0);
    gtk_container_add(GTK_CONTAINER(lead), spacer);
    gtk_box_pack_start(GTK_BOX(scaleRow), lead, FALSE, FALSE, 0);
    GtkWidget* scale = gtk_hbox_new(FALSE, 0);
    gtk_widget_set_size_request(scale, (HOURS + 2) * kCell, -1);
    for (int i = static_cast<int>(G_N_ELEMENTS(kHourMarks)) - 1; i >= 0; --i) {
        GtkWidget* mark = gtk_label_new(Tr(kHourMarks[i]));
        gtk_widget_set_size_request(mark, kHourLabelWidth, -1);
        gtk_box_pack_end(GTK_BOX(scale), mark, FALSE, FALSE, kHourLabelMargin);
    }
    gtk_box_pack_start(GTK_BOX(scaleRow), scale, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), scaleRow, FALSE, FALSE, 0);

    GtkWidget* gridRow = gtk_hbox_new(FALSE, 0);
    GtkWidget* days = gtk_vbox_new(FALSE, 0);
    for (const char* day : kDayNames) {
        GtkWidget* label = gtk_label_new(Tr(day));
        gtk_widget_set_size_request(label, -1, kDayLabelHeight);
        gtk_box_pack_start(GTK_BOX(days), label, FALSE, FALSE, kDayLabelMargin);
    }
    // Level with the grid, which sits inside a border.
    GtkWidget* daysLevel = gtk_alignment_new(0, 0, 1, 1);
    gtk_alignment_set_padding(GTK_ALIGNMENT(daysLevel), kGridBorder, 0, 0, 0);
    gtk_container_add(GTK_CONTAINER(daysLevel), days);
    gtk_size_group_add_widget(dayWidth, daysLevel);
    g_object_unref(dayWidth);  // the widgets keep the group
    gtk_box_pack_start(GTK_BOX(gridRow), daysLevel, FALSE, FALSE, kDayColumnMargin);

    GtkWidget* gridBox = gtk_hbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(gridBox), kGridBorder);
    GtkWidget* table = gtk_table_new(DAYS, HOURS, TRUE);
    GdkColor unlocked = {0, 0xcc00, 0xcc00, 0x9900};
    GdkColor locked = {0, 0x6600, 0x9a00, 0xcc00};
    m_vecScheduleGrid.assign(DAYS, std::vector<GtkWidget*>(HOURS, nullptr));
    for (int r = 0; r < DAYS; ++r) {
        for (int h = 0; h < HOURS; ++h) {
            GtkWidget* cell = gtk_toggle_button_new();
            gtk_widget_set_size_request(cell, kCell, kCell);
            gtk_widget_set_name(cell, "admin-calendar-button.GtkToggleButton");
            gtk_widget_modify_bg(cell, GTK_STATE_NORMAL, &unlocked);
            gtk_widget_modify_bg(cell, GTK_STATE_ACTIVE, &locked);
            gtk_widget_modify_bg(cell, GTK_STATE_PRELIGHT, &locked);
            gtk_widget_modify_bg(cell, GTK_STATE_SELECTED, &locked);
            gtk_table_attach(GTK_TABLE(table), cell, h, h + 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
            m_vecScheduleGrid[r][h] = cell;
        }
    }
    gtk_container_add(GTK_CONTAINER(gridBox), table);
    gtk_box_pack_start(GTK_BOX(gridRow), gridBox, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), gridRow, FALSE, FALSE, 0);

    GtkWidget* legend = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_end(GTK_BOX(legend), gtk_label_new(Tr("Lock")), FALSE, FALSE, 5);
    gtk_box_pack_end(GTK_BOX(legend),
                     gtk_image_new_from_file((LibTAVData::IMAGE_DIR + "sc_locked.png").c_str()),
                     FALSE, FALSE, 5);
    gtk_box_pack_end(GTK_BOX(legend), gtk_label_new(Tr("Unlock")), FALSE, FALSE, 5);
    gtk_box_pack_end(GTK_BOX(legend),
                     gtk_image_new_from_file((LibTAVData::IMAGE_DIR + "sc_unlocked.png").c_str()),
                     FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(page), legend, FALSE, FALSE, 5);

    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), page,
                             gtk_label_new(Tr("Shell Lock Settings")));
    return 0;
}

int CShellSettingCtrl::initProgramRegistration()
{
    LogScope log("CShellSettingCtrl::initProgramRegistration()");
    if (!m_pNotebook)
        return -1;
    GtkWidget* page = gtk_vbox_new(FALSE, 0);
    gtk_widget_set_size_request(page, 480, 265);

    GtkWidget* lists = gtk_hbox_new(FALSE, 5);

    // Categories: icon, name, pointer.
    GtkWidget* categoryScroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(categoryScroll, 160, 220);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(categoryScroll), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(categoryScroll), GTK_SHADOW_IN);
    m_pCategoryStore =
        gtk_list_store_new(CAT_N_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pCategoryView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pCategoryStore));
    g_object_unref(m_pCategoryStore);  // the view holds it from here on
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pCategoryView), -1, "",
                                                gtk_cell_renderer_pixbuf_new(), "pixbuf",
                                                CAT_COL_ICON, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pCategoryView), -1,
                                                Tr("Category (Tab)"),
                                                gtk_cell_renderer_text_new(), "text",
                                                CAT_COL_NAME, nullptr);
    gtk_container_add(GTK_CONTAINER(categoryScroll), m_pCategoryView);
    gtk_box_pack_start(GTK_BOX(lists), categoryScroll, FALSE, FALSE, 0);

    // Programs: shown, icon, name, pointer.
    GtkWidget* programScroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(programScroll, 312, 220);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(programScroll), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(programScroll), GTK_SHADOW_IN);
    m_pProgramStore = gtk_list_store_new(PROG_N_COLUMNS, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF,
                                         G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pProgramStore));
    g_object_unref(m_pProgramStore);
    GtkCellRenderer* show = gtk_cell_renderer_toggle_new();
    gtk_cell_renderer_toggle_set_activatable(GTK_CELL_RENDERER_TOGGLE(show), TRUE);
    g_signal_connect(show, "toggled", G_CALLBACK(EnableDisableProgram), m_pHandlerTarget);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, Tr("Show"),
                                                show, "active", PROG_COL_SHOW, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1, "",
                                                gtk_cell_renderer_pixbuf_new(), "pixbuf",
                                                PROG_COL_ICON, nullptr);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(m_pProgramView), -1,
                                                Tr("Program name"),
                                                gtk_cell_renderer_text_new(), "text",
                                                PROG_COL_NAME, nullptr);
    gtk_container_add(GTK_CONTAINER(programScroll), m_pProgramView);
    gtk_box_pack_start(GTK_BOX(lists), programScroll, FALSE, FALSE, 0);
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
    g_signal_connect(m_pDeleteCategoryBtn, "clicked", G_CALLBACK(DeleteCategory),
                     m_pHandlerTarget);
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

int CShellSettingCtrl::initSystemSetting()
{
    LogScope log("CShellSettingCtrl::initSystemSetting()");
    if (!m_pNotebook)
        return -1;
    GtkWidget* page = gtk_vbox_new(FALSE, 0);
    m_pSystemRow = gtk_hbox_new(FALSE, 5);
    m_pUSBCheck = gtk_check_button_new_with_label(Tr("Disable USB Storage"));
    detail::SetSizeAtLeast(m_pUSBCheck, 200, 75);
    gtk_box_pack_start(GTK_BOX(m_pSystemRow), m_pUSBCheck, FALSE, FALSE, 20);
    gtk_box_pack_start(GTK_BOX(page), m_pSystemRow, FALSE, FALSE, 10);
    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), page, gtk_label_new(Tr("System Settings")));
    return 0;
}

int CShellSettingCtrl::GTKShowDlgCheckBox()
{
    LogScope log("CShellSettingCtrl::GTKShowDlgCheckBox()");
    if (!m_pSystemRow || m_pNewStudentCheck)
        return 0;
    m_pNewStudentCheck =
        gtk_check_button_new_with_label(Tr("Show new student connect notify dialog"));
    detail::SetSizeAtLeast(m_pNewStudentCheck, 400, 75);
    gtk_box_pack_start(GTK_BOX(m_pSystemRow), m_pNewStudentCheck, FALSE, FALSE, 20);
    gtk_widget_show(m_pNewStudentCheck);
    return 1;
}

int CShellSettingCtrl::GTKHideUSBCheckBox()
{
    LogScope log("CShellSettingCtrl::GTKHideUSBCheckBox()");
    if (!m_pSystemRow || !m_pUSBCheck)
        return 0;
    GtkWidget* usb = m_pUSBCheck;
    m_pUSBCheck = nullptr;
    g_object_ref(usb);
    gtk_container_remove(GTK_CONTAINER(m_pSystemRow), usb);
    gtk_widget_destroy(usb);
    g_object_unref(usb);
    return 1;
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
// Program Registration

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
                           PROG_COL_ICON, icon, PROG_COL_NAME, app->GetName().c_str(),
                           PROG_COL_APP, app, -1);
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
    for (GtkWidget* button : {m_pDeleteCategoryBtn, m_pAddProgramBtn, m_pEditBtn,
                              m_pDeleteProgramBtn})
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
    LogScope log("CShellSettingCtrl::GetDataFromIconDlgCallBack()");
    if (dialog)
        Target(dialog)->GetDataFromIconDlg();
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
    LogScope log("CShellSettingCtrl::ChangeCategory()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    GtkTreeIter iter;
    CCategory* category = nullptr;
    if (self->GetSelectedCategory(&iter, category)) {
        self->SetCategoryButtonsSensitive(true);
        self->showPrograms(category);
    } else {
        if (self->m_pDeleteCategoryBtn)
            gtk_widget_set_sensitive(self->m_pDeleteCategoryBtn, FALSE);
        if (self->m_pProgramStore)
            gtk_list_store_clear(self->m_pProgramStore);
    }
}

void CShellSettingCtrl::GtkOnCategoryTreeRowActivated(GtkTreeView*, GtkTreePath*,
                                                      GtkTreeViewColumn*, void* dialog)
{
    LogScope log("CShellSettingCtrl::GtkOnCategoryTreeRowActivated()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    self->OnEditCategoryBtnClicked();
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::AddCategory(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::AddCategory()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    std::string name;
    self->BuildNewCategoryName(Tr("New Category"), name);
    CCategory* category = new CCategory;
    category->SetName(name);
    category->SetCategoryIcon(LibTAVData::DEFAULT_APP_ICON);
    // The model's list itself: the cached pointer may predate a reload.
    self->m_pCategoryList = self->m_TabNavigation.GetPCategoryInfoList();
    if (!self->m_pCategoryList) {
        self->m_TabNavigation.SetPCategoryInfoList(new std::list<CCategory*>);
        self->m_pCategoryList = self->m_TabNavigation.GetPCategoryInfoList();
    }
    self->m_pCategoryList->push_back(category);

    if (self->m_pCategoryStore) {
        GdkPixbuf* icon = detail::LoadIconAtSize(category->GetCategoryIcon(), kIconSize, kIconSize);
        GtkTreeIter iter;
        gtk_list_store_append(self->m_pCategoryStore, &iter);
        gtk_list_store_set(self->m_pCategoryStore, &iter, CAT_COL_ICON, icon, CAT_COL_NAME,
                           name.c_str(), CAT_COL_CATEGORY, category, -1);
        if (icon)
            g_object_unref(icon);
        GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(self->m_pCategoryStore), &iter);
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(self->m_pCategoryView), path, nullptr, FALSE);
        gtk_tree_path_free(path);
    }
    self->showPrograms(category);
    self->SetCategoryButtonsSensitive(true);
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::DeleteCategory(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::DeleteCategory()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    GtkTreeIter iter;
    CCategory* category = nullptr;
    if (self->GetSelectedCategory(&iter, category)) {
        // The program rows point into the category about to go.
        if (self->m_pProgramStore)
            gtk_list_store_clear(self->m_pProgramStore);
        if (category)
            self->m_TabNavigation.RemoveCategory(category);
        gtk_list_store_remove(self->m_pCategoryStore, &iter);
        self->m_strCurrentCategoryName.clear();
        self->m_strCurrentCategoryIcon.clear();
    }
    if (self->m_pProgramStore)
        gtk_list_store_clear(self->m_pProgramStore);
    // No category is shown now; none stays selected either.
    if (self->m_pCategoryView)
        gtk_tree_selection_unselect_all(
            gtk_tree_view_get_selection(GTK_TREE_VIEW(self->m_pCategoryView)));
    self->SetCategoryButtonsSensitive(false);
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::GtkOnEditCateoryBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::GtkOnEditCateoryBtnClicked()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    self->OnEditCategoryBtnClicked();
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::GtkAddProgramBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::GtkAddProgramBtnClicked()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    if (self->m_pDeleteProgramBtn)
        gtk_widget_set_sensitive(self->m_pDeleteProgramBtn, TRUE);
    self->OnAddProgram();
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::GtkDeleteProgramBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::GtkDeleteProgramBtnClicked()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    GtkTreeIter categoryIter, programIter;
    CCategory* category = nullptr;
    GtkTreeModel* model = nullptr;
    if (self->GetSelectedCategory(&categoryIter, category) && self->m_pProgramView &&
        gtk_tree_selection_get_selected(
            gtk_tree_view_get_selection(GTK_TREE_VIEW(self->m_pProgramView)), &model,
            &programIter)) {
        gpointer app = nullptr;
        gtk_tree_model_get(model, &programIter, PROG_COL_APP, &app, -1);
        if (self->m_TabNavigation.RemoveProgram(category, static_cast<CApplicationInfo*>(app)) == 1)
            gtk_list_store_remove(self->m_pProgramStore, &programIter);
        GtkTreeIter first;
        if (gtk_tree_model_get_iter_first(model, &first))
            gtk_tree_selection_select_iter(
                gtk_tree_view_get_selection(GTK_TREE_VIEW(self->m_pProgramView)), &first);
        else if (self->m_pDeleteProgramBtn)
            gtk_widget_set_sensitive(self->m_pDeleteProgramBtn, FALSE);
    }
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::EnableDisableProgram(GtkCellRendererToggle*, gchar* path, void* dialog)
{
    LogScope log("CShellSettingCtrl::EnableDisableProgram()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self || !self->m_pProgramStore || !path)
        return;
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(self->m_pProgramStore), &iter, path))
        return;
    gboolean shown = FALSE;
    gpointer app = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(self->m_pProgramStore), &iter, PROG_COL_SHOW, &shown,
                       PROG_COL_APP, &app, -1);
    shown = !shown;
    gtk_list_store_set(self->m_pProgramStore, &iter, PROG_COL_SHOW, shown, -1);
    if (app)
        static_cast<CApplicationInfo*>(app)->SetEnable(shown ? 1 : 0);
    self->m_bTabNavDirty = true;
}

void CShellSettingCtrl::GtkOnDefaultBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::GtkOnDefaultBtnClicked()");
    CShellSettingCtrl* self = Target(dialog);
    if (!self)
        return;
    const gint answer =
        detail::RunMessageBox(self->m_pWindow, GTK_MESSAGE_INFO, GTK_BUTTONS_OK_CANCEL,
                              Tr("Do you want to restore the default configuration?"));
    if (answer == GTK_RESPONSE_OK) {
        self->OnDefaultBtnClicked();
        self->SetCategoryButtonsSensitive(true);
    }
    self->m_bTabNavDirty = true;
}

// ---------------------------------------------------------------------------
// Dirty tracking and the closing flows

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
    LogScope log("CShellSettingCtrl::OnCloseBtnClicked()");
    if (CShellSettingCtrl* self = Target(dialog))
        self->OnClose();
    return FALSE;
}

void CShellSettingCtrl::OnCancelBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::OnCancelBtnClicked()");
    if (CShellSettingCtrl* self = Target(dialog))
        self->OnCancel();
}

void CShellSettingCtrl::OnApplyBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::OnApplyBtnClicked()");
    if (CShellSettingCtrl* self = Target(dialog))
        self->OnApply();
}

void CShellSettingCtrl::OnOKBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CShellSettingCtrl::OnOKBtnClicked()");
    if (CShellSettingCtrl* self = Target(dialog))
        self->OnOK();
}

// ---------------------------------------------------------------------------
// Shell Lock Settings

int CShellSettingCtrl::ShowSchedulePolicy()
{
    LogScope log("CShellSettingCtrl::ShowSchedulePolicy()");
    if (m_pAutoLockCheck && m_Schedule.IsAutoLockEnable())
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheck), TRUE);
    const std::list<CLockTimeSection*>* sections = m_Schedule.GetPAutomaticLockTimeList();
    if (!sections)
        return 0;
    for (const CLockTimeSection* section : *sections) {
        if (!section)
            continue;
        const int day = section->m_iDayOfWeek;
        const int hour = section->m_iStartTime;
        // A stored section off the week grid has no cell to show.
        if (day < 0 || day >= DAYS || hour < 0 || hour >= HOURS) {
            LogScope::Warning("CShellSettingCtrl::ShowSchedulePolicy() --section outside the "
                              "week skipped: day " +
                              std::to_string(day) + ", start " + std::to_string(hour));
            continue;
        }
        if (GtkWidget* cell = m_vecScheduleGrid[day][hour])
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cell), TRUE);
    }
    return 0;
}

int CShellSettingCtrl::FetchScheuleData()
{
    LogScope log("CShellSettingCtrl::FetchScheuleData()");
    // Without the page there is nothing to read; the schedule stays.
    if (!m_pAutoLockCheck || !m_vecScheduleGrid[0][0])
        return -1;
    std::unique_ptr<std::list<CLockTimeSection*>> sections(new std::list<CLockTimeSection*>);
    for (int day = 0; day < DAYS; ++day)
        for (int hour = 0; hour < HOURS; ++hour)
            if (IsPressed(m_vecScheduleGrid[day][hour]))
                sections->push_back(new CLockTimeSection(day, hour, hour + 1));
    const bool autoLock = IsPressed(m_pAutoLockCheck);
    IsScheduleDataDirty(m_Schedule.IsAutoLockEnable(), m_Schedule.GetPAutomaticLockTimeList(),
                        autoLock, sections.get());
    m_Schedule.SetPAutomaticLockTimeList(sections.release());
    m_Schedule.SetAutoLock(autoLock ? 1 : 0);
    return 0;
}

bool CShellSettingCtrl::IsScheduleDataDirty(bool oldAutoLock,
                                            const std::list<CLockTimeSection*>* oldList,
                                            bool newAutoLock,
                                            const std::list<CLockTimeSection*>* newList)
{
    LogScope log("CShellSettingCtrl::IsScheduleDataDirty()");
    const std::size_t oldSize = oldList ? oldList->size() : 0;
    const std::size_t newSize = newList ? newList->size() : 0;
    if (oldAutoLock != newAutoLock || oldSize != newSize) {
        m_bScheduleDirty = true;
        return m_bScheduleDirty;
    }
    if (!oldList || !newList)
        return m_bScheduleDirty;
    for (auto o = oldList->begin(), n = newList->begin(); o != oldList->end(); ++o, ++n) {
        const bool differ = (!*o || !*n) ? (*o != *n) : (**o != **n);
        if (differ) {
            m_bScheduleDirty = true;
            break;
        }
    }
    return m_bScheduleDirty;
}

// ---------------------------------------------------------------------------
// System Settings

int CShellSettingCtrl::ShowUSBPolicy()
{
    LogScope log("CShellSettingCtrl::ShowUSBPolicy()");
    if (m_pUSBCheck)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pUSBCheck),
                                     m_SystemSetting.GetUSBStorageenabled() != 1);
    return 0;
}

int CShellSettingCtrl::FetchUSBData()
{
    LogScope log("CShellSettingCtrl::FetchUSBData()");
    if (!m_pUSBCheck)
        return 0;
    const int enabled = IsPressed(m_pUSBCheck) ? 0 : 1;
    if (enabled != m_SystemSetting.GetUSBStorageenabled())
        m_bSystemSettingDirty = true;
    m_SystemSetting.SetUSBStorageenabled(enabled);
    return 0;
}

int CShellSettingCtrl::ShowTeacherPolicy()
{
    LogScope log("CShellSettingCtrl::ShowTeacherPolicy()");
    if (m_pNewStudentCheck)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheck),
                                     m_SystemSetting.GetNewStudentConnectDialogEnable() == 1);
    return 0;
}

int CShellSettingCtrl::FetchTeacherPolicy()
{
    LogScope log("CShellSettingCtrl::FetchTeacherPolicy()");
    if (m_pNewStudentCheck)
        m_SystemSetting.SetNewStudentConnectDialogEnable(IsPressed(m_pNewStudentCheck) ? 1 : 0);
    return 0;
}

bool CShellSettingCtrl::IsSystemSettingDirty()
{
    LogScope log("CShellSettingCtrl::IsSystemSettingDirty()");
    LibTAVData::CTAVSystemSettingData stored;
    stored.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
    m_bSystemSettingDirty = !stored.IsEqual(m_SystemSetting);
    return m_bSystemSettingDirty;
}

} // namespace LibTAVGUI
