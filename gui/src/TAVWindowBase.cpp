#include "TAVWindowBase.h"

#include "GUISupport.h"

namespace LibTAVGUI {

using detail::LogScope;

CTAVWindowBase::CTAVWindowBase()
    : m_pWindow(nullptr), m_bBuilt(false), m_bShownModal(false), m_bDestroying(false)
{
    LogScope log("CTAVWindowBase::CTAVWindowBase()");
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
#if !GLIB_CHECK_VERSION(2, 32, 0)
    // GLib from 2.32 on has its threads ready from the start. Only an older
    // one needs g_thread_init, which lives in libgthread: a host linked
    // against GTK alone must not need that library.
    if (!g_threads_got_initialized)
        g_thread_init(nullptr);
#endif
    // gdk_threads_init makes a new lock on every call: a second call while
    // the host (or a notification thread) holds the first one would leave
    // that one locked for good and the GUI unprotected. Once is enough.
    if (!gdk_threads_mutex)
        gdk_threads_init();
    G_GNUC_END_IGNORE_DEPRECATIONS
}

CTAVWindowBase::~CTAVWindowBase()
{
    LogScope log("CTAVWindowBase::~CTAVWindowBase()");
    DestoryWindow();
}

bool CTAVWindowBase::Show()
{
    LogScope log("CTAVWindowBase::Show()");
    if (!m_pWindow || !m_bBuilt)
        return false;
    gtk_widget_show_all(m_pWindow);
    m_bShownModal = false;
    return true;
}

bool CTAVWindowBase::ShowModal(GtkWidget* parent, void (*callback)(), void* data)
{
    LogScope log("CTAVWindowBase::ShowModal()");
    if (!m_pWindow || !m_bBuilt || !parent)
        return false;
    gtk_window_set_transient_for(GTK_WINDOW(m_pWindow), GTK_WINDOW(parent));
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    gtk_widget_show_all(m_pWindow);
    m_bShownModal = true;
    // Shown again with the same callback: it stays connected once, so the
    // caller hears of the window's end once.
    const GSignalMatchType same =
        GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_FUNC | G_SIGNAL_MATCH_DATA);
    if (callback && data &&
        !g_signal_handler_find(m_pWindow, same, g_signal_lookup("destroy", GTK_TYPE_OBJECT), 0,
                               nullptr, reinterpret_cast<gpointer>(callback), data))
        g_signal_connect(m_pWindow, "destroy", G_CALLBACK(callback), data);
    return true;
}

bool CTAVWindowBase::Hidden()
{
    LogScope log("CTAVWindowBase::Hidden()");
    if (!m_pWindow)
        return false;
    gtk_widget_hide(m_pWindow);
    return true;
}

int CTAVWindowBase::Close()
{
    LogScope log("CTAVWindowBase::Close()");
    DestoryWindow();
    return 0;
}

void CTAVWindowBase::DestoryWindow()
{
    LogScope log("CTAVWindowBase::DestoryWindow()");
    if (!m_pWindow || m_bDestroying)
        return;
    m_bDestroying = true;
    GtkWidget* window = m_pWindow;
    gtk_widget_destroy(window);
    m_pWindow = nullptr;
    m_bBuilt = false;
}

void CTAVWindowBase::WatchWindow()
{
    if (!m_pWindow)
        return;
    // A new window: it has not been destroyed through this object yet.
    m_bDestroying = false;
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(OnWindowDestroyed), this);
}

void CTAVWindowBase::OnWindowDestroyed(GtkWidget* widget, gpointer self)
{
    CTAVWindowBase* base = static_cast<CTAVWindowBase*>(self);
    if (!base || base->m_pWindow != widget)
        return;
    base->m_bDestroying = true;
    base->m_pWindow = nullptr;
    base->m_bBuilt = false;
}

} // namespace LibTAVGUI
