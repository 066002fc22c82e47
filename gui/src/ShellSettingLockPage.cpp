// "Shell Lock Settings" page of the "Shell Settings" dialog: the week grid
// of one-hour cells and the auto-lock box, shown from and read back into the
// lock schedule.
#include "ShellSettingCtrl.h"

#include "GettextMarker.h"
#include "ShellSettingPages.h"
#include "TAVLayout.h"

#include <memory>

namespace LibTAVGUI {

using detail::IsPressed;
using detail::LogScope;
using detail::Tr;
using LibTAVData::CLockTimeSection;

namespace {

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

const char* const kDayNames[] = {
    // TRANSLATORS: short day names heading the rows of the week grid.
    N_("Mon"), N_("Tue"), N_("Wed"), N_("Thu"), N_("Fri"), N_("Sat"), N_("Sun")};
const char* const kHourMarks[] = {
    // TRANSLATORS: hours of the day on the scale above the week grid.
    N_("0"),  N_("2"),  N_("4"),  N_("6"),  N_("8"),  N_("10"), N_("12"),
    N_("14"), N_("16"), N_("18"), N_("20"), N_("22"), N_("24")};

} // namespace

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
    gtk_alignment_set_padding(
        GTK_ALIGNMENT(lead), 0, 0,
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
    g_object_unref(dayWidth); // the widgets keep the group
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

} // namespace LibTAVGUI
