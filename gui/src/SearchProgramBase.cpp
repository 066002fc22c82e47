#include "SearchProgramBase.h"

#include "GUISupport.h"
#include "GettextMarker.h"

namespace LibTAVGUI {

using detail::LogScope;
using detail::Tr;

namespace {

CSearchProgramBase* Target(void* dialog) { return static_cast<CSearchProgramBase*>(dialog); }

// How long the destructor lets an answer finish on its own before it takes
// it for one waiting on the GDK lock that the destructor's caller holds.
const gint64 kAnswerGraceUs = 200 * 1000;

} // namespace

CSearchProgramBase::CSearchProgramBase()
    : m_pPathEntry(nullptr), m_pSearchBtn(nullptr), m_pProgressBar(nullptr),
      m_pHandlerTarget(nullptr), m_iOperationID(0), m_bStopping(false), m_iCallbacksInside(0)
{
    LogScope log("CSearchProgramBase::CSearchProgramBase()");
}

CSearchProgramBase::~CSearchProgramBase()
{
    LogScope log("CSearchProgramBase::~CSearchProgramBase()");
    DestoryWindow();
}

int CSearchProgramBase::AttachBaseClassGTKHandler(CSearchProgramBase* target)
{
    LogScope log("CSearchProgramBase::AttachBaseClassGTKHandler()");
    if (!target)
        return -2;
    m_pHandlerTarget = target;
    detail::SetUpTextDomain();
    gtk_init(nullptr, nullptr);
    DestoryWindow();

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    WatchWindow();
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(OnWindowDestroyed), this);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Search Program"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), "Search Program", "TAV");
    gtk_container_set_border_width(GTK_CONTAINER(m_pWindow), 0);
    // 300 x 120, or as much larger as the rows need with the fonts in use.
    detail::SetSizeAtLeast(m_pWindow, 300, 120);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(GtkOnCloseBtnClicked), m_pHandlerTarget);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 20);
    gtk_container_add(GTK_CONTAINER(m_pWindow), vbox);

    GtkWidget* pathRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(pathRow), gtk_label_new(Tr("App Path:")), FALSE, FALSE, 0);
    m_pPathEntry = gtk_entry_new();
    detail::SetSizeAtLeast(m_pPathEntry, 190, 20);
    gtk_box_pack_start(GTK_BOX(pathRow), m_pPathEntry, FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(vbox), pathRow, FALSE, FALSE, 0);

    GtkWidget* progressRow = gtk_hbox_new(FALSE, 0);
    m_pProgressBar = gtk_progress_bar_new();
    gtk_widget_set_size_request(m_pProgressBar, 257, 20);
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_pProgressBar), 0.0);
    gtk_box_pack_start(GTK_BOX(progressRow), m_pProgressBar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(vbox), progressRow, FALSE, FALSE, 15);

    GtkWidget* buttonRow = gtk_hbox_new(FALSE, 0);
    m_pSearchBtn = gtk_button_new_with_label(Tr("Search"));
    gtk_box_pack_end(GTK_BOX(buttonRow), m_pSearchBtn, FALSE, FALSE, 5);
    gtk_box_pack_start(GTK_BOX(vbox), buttonRow, FALSE, FALSE, 0);
    g_signal_connect(m_pSearchBtn, "clicked", G_CALLBACK(GtkSearchBtnClicked), m_pHandlerTarget);

    m_iOperationID = 0;
    return -1;
}

void CSearchProgramBase::OnWindowDestroyed(GtkWidget*, gpointer self)
{
    // The widgets go with the window; a late answer must not reach them.
    CSearchProgramBase* dialog = static_cast<CSearchProgramBase*>(self);
    dialog->m_pPathEntry = nullptr;
    dialog->m_pSearchBtn = nullptr;
    dialog->m_pProgressBar = nullptr;
}

void CSearchProgramBase::GtkSearchBtnClicked(GtkWidget*, void* dialog)
{
    LogScope log("CSearchProgramBase::GtkSearchBtnClicked()");
    if (CSearchProgramBase* self = Target(dialog))
        self->OnSearchBtnClicked();
}

gboolean CSearchProgramBase::GtkOnCloseBtnClicked(GtkWidget*, GdkEvent*, void* dialog)
{
    LogScope log("CSearchProgramBase::GtkOnCloseBtnClicked()");
    if (CSearchProgramBase* self = Target(dialog)) {
        self->CancelSearch();
        self->Close();
    }
    return FALSE;
}

bool CSearchProgramBase::BeginSearch(bool hasAPI, const char* variant, const char* side)
{
    if (m_iOperationID != 0) {
        // The label goes back only when the search really stopped; else
        // the next press tries to cancel again, as the label says.
        if (CancelSearch() > 0) {
            SetButtonLabel(N_("Search"));
            SetProgress(0.0);
        }
        return false;
    }
    m_strSearchPath = ReadSearchPath();
    if (m_strSearchPath.empty()) {
        ShowInformation(N_("Please input search path first!"));
        return false;
    }
    if (!hasAPI) {
        LogScope::Error(std::string(variant) + "::OnSearchBtnClicked() --No " + side +
                        " API object, search refused!");
        detail::RunMessageBox(m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                              Tr("Cannot search: the search service is not available!"));
        return false;
    }
    return true;
}

void CSearchProgramBase::SearchStarted(int operationID)
{
    m_iOperationID = operationID;
    SetButtonLabel(N_("Cancel"));
    SetProgress(0.0);
}

void CSearchProgramBase::StopSearching()
{
    // Going away is closing too: the daemons need not search on.
    if (m_iOperationID != 0)
        CancelSearch();
    StopCallbacks();
}

std::string CSearchProgramBase::ReadSearchPath()
{
    if (!m_pPathEntry)
        return std::string();
    const gchar* text = gtk_entry_get_text(GTK_ENTRY(m_pPathEntry));
    return text ? text : "";
}

void CSearchProgramBase::SetButtonLabel(const char* text)
{
    if (m_pSearchBtn)
        gtk_button_set_label(GTK_BUTTON(m_pSearchBtn), Tr(text));
}

void CSearchProgramBase::SetProgress(double fraction)
{
    if (!m_pProgressBar)
        return;
    if (!(fraction >= 0.0)) // NaN too
        fraction = 0.0;
    if (fraction > 1.0)
        fraction = 1.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_pProgressBar), fraction);
}

void CSearchProgramBase::SetSearchButtonSensitive(bool sensitive)
{
    if (m_pSearchBtn)
        gtk_widget_set_sensitive(m_pSearchBtn, sensitive);
}

void CSearchProgramBase::ShowInformation(const char* text)
{
    detail::RunMessageBox(m_pWindow, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, Tr(text));
}

bool CSearchProgramBase::EnterCallback()
{
    ++m_iCallbacksInside;
    if (m_bStopping) {
        --m_iCallbacksInside;
        return false;
    }
    gdk_threads_enter();
    if (m_bStopping) {
        gdk_threads_leave();
        --m_iCallbacksInside;
        return false;
    }
    return true;
}

void CSearchProgramBase::LeaveCallback()
{
    gdk_threads_leave();
    --m_iCallbacksInside;
}

void CSearchProgramBase::StopCallbacks()
{
    m_bStopping = true;
    if (m_iCallbacksInside == 0)
        return;
    // An answer got in before: it finishes at once unless it waits for the
    // GDK lock, which our caller holds; then let it through (it sees the
    // dialog going and leaves at once) and take the lock back.
    const gint64 deadline = g_get_monotonic_time() + kAnswerGraceUs;
    while (m_iCallbacksInside > 0 && g_get_monotonic_time() < deadline)
        g_usleep(1000);
    if (m_iCallbacksInside == 0)
        return;
    gdk_threads_leave();
    while (m_iCallbacksInside > 0)
        g_usleep(1000);
    gdk_threads_enter();
}

} // namespace LibTAVGUI
