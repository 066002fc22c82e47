// Helpers shared by the dialogs of the GUI library (internal, not
// installed): trace lines, our message catalogue, icons with the default
// image as fallback, and modal message boxes.
#ifndef TAV_GUI_GUISUPPORT_H
#define TAV_GUI_GUISUPPORT_H

#include "LogScope.h"

#include <gtk/gtk.h>

#include <string>

namespace LibTAVGUI {
namespace detail {
// Internal: never part of the library's exported symbols.
#pragma GCC visibility push(hidden)

using tav_common::LogScope;

// Binds our catalogue to the locale folder in UTF-8 and makes it the
// process's default domain (the set-up every dialog does before building).
void SetUpTextDomain();

// Our translation of text, looked up in our own domain so that a host that
// changed the default domain in between still gets our texts.
const char* Tr(const char* text);

// True for a regular file (images are only read from those: a device or
// a pipe named in a search answer must not block the dialog).
bool IsRegularFile(const std::string& path);

// The image at path scaled to width x height; when that cannot be loaded,
// the default program image at the same size; null when neither loads.
GdkPixbuf* LoadIconAtSize(const std::string& path, int width, int height);

// Gives widget the size width x height, or its natural size where that is
// larger: a longer translation or a larger font must not clip a text.
void SetSizeAtLeast(GtkWidget* widget, int width, int height);

// A modal message box on parent (may be null), destroyed with it, run until
// answered; returns the response.
gint RunMessageBox(GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                   const std::string& text);

// Cancels the search operationID names, through the student or the teacher
// API: 1 when it stopped (operationID becomes 0), else 0 and the search
// still counts as running.
template <class API>
int CancelRunningSearch(API* api, int& operationID)
{
    int result = 0;
    if (operationID != 0 && api) {
        if (api->CancelOperation(operationID, result) != 0) {
            LogScope::Error("CancelSearch Failure!");
        } else {
            operationID = 0;
            result = 1;
        }
    }
    return result;
}

#pragma GCC visibility pop
} // namespace detail
} // namespace LibTAVGUI

#endif
