// What the files of the "Shell Settings" dialog share (internal, not
// installed): the window and its closing flows (ShellSettingCtrl.cpp), and
// one file per page (ShellSettingLockPage.cpp, ShellSettingProgramPage.cpp,
// ShellSettingSystemPage.cpp).
#ifndef TAV_GUI_SHELLSETTINGPAGES_H
#define TAV_GUI_SHELLSETTINGPAGES_H

#include "GUISupport.h"
#include "ShellSettingCtrl.h"

#include <gtk/gtk.h>

namespace LibTAVGUI {
namespace detail {
// Internal: never part of the library's exported symbols.
#pragma GCC visibility push(hidden)

// A button labelled label, at least width x height.
inline GtkWidget* SizedButton(const char* label, int width, int height)
{
    GtkWidget* button = gtk_button_new_with_label(label);
    SetSizeAtLeast(button, width, height);
    return button;
}

// True for an existing toggle (check box, grid cell) that is pressed.
inline bool IsPressed(GtkWidget* toggle)
{
    return toggle && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle));
}

// The body of every static GTK handler of the dialog: the handler's trace
// lines around act(dialog), run on the handler target that the handler got
// as user data; nothing is done for a null target.
template <class Act>
void OnHandlerTarget(const char* handler, void* target, Act&& act)
{
    LogScope log(handler);
    if (CShellSettingCtrl* self = static_cast<CShellSettingCtrl*>(target))
        act(*self);
}

#pragma GCC visibility pop
} // namespace detail
} // namespace LibTAVGUI

#endif
