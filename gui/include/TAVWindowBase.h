// Base of every dialog of the GUI library: the owner of one GTK top-level
// window with a fixed lifecycle. A derived Init builds the window and sets
// m_bBuilt; Show or ShowModal put it on screen; Hidden hides it; Close (or
// the destructor) destroys it.
//
// The constructor makes sure GLib threads and the GDK lock exist, because
// IPC notifications reach dialogs on another thread and enter the GDK lock
// before touching widgets. A host runs its main loop holding that lock
// (gdk_threads_enter before gtk_main), as every threaded GTK+ 2 program does.
#ifndef TAV_GUI_TAVWINDOWBASE_H
#define TAV_GUI_TAVWINDOWBASE_H

#include <gtk/gtk.h>

namespace LibTAVGUI {

class CTAVWindowBase {
public:
    CTAVWindowBase();
    virtual ~CTAVWindowBase();

    // Builds the window and sets m_bBuilt.
    virtual int Init() = 0;
    // Shows the built window; false when there is none.
    virtual bool Show();
    // Shows the built window modal and transient for parent; false without
    // a built window or a parent. When both callback and data are given,
    // callback(window, data) is connected to the window's "destroy" signal
    // (once, however often the window is shown with them), so the caller
    // learns when the dialog has gone.
    virtual bool ShowModal(GtkWidget* parent, void (*callback)(), void* data);
    // Hides the window (built or not); false when there is none.
    virtual bool Hidden();
    // Destroys the window; returns 0.
    virtual int Close();

    // Destroys the window once; nothing when there is none.
    void DestoryWindow();

protected:
    // Derived Init calls this right after creating m_pWindow: when the
    // window is destroyed by any way (window manager, parent, Close) the
    // pointer is forgotten and m_bBuilt cleared, so it is never used or
    // destroyed again.
    void WatchWindow();

    GtkWidget* m_pWindow;
    bool m_bBuilt;
    bool m_bShownModal;
    bool m_bDestroying;

private:
    static void OnWindowDestroyed(GtkWidget* widget, gpointer self);

    CTAVWindowBase(const CTAVWindowBase&) = delete;
    CTAVWindowBase& operator=(const CTAVWindowBase&) = delete;
};

} // namespace LibTAVGUI

#endif
