#include "GUISupport.h"

#include "TAVLayout.h"

#include <algorithm>
#include <libintl.h>
#include <sys/stat.h>

namespace LibTAVGUI {
namespace detail {

using LibTAVData::DEFAULT_APP_ICON;
using LibTAVData::GUI_TEXT_DOMAIN;
using LibTAVData::LOCALE_DIR;

void SetUpTextDomain()
{
    ::bindtextdomain(GUI_TEXT_DOMAIN.c_str(), LOCALE_DIR.c_str());
    ::bind_textdomain_codeset(GUI_TEXT_DOMAIN.c_str(), "UTF-8");
    ::textdomain(GUI_TEXT_DOMAIN.c_str());
}

const char* Tr(const char* text)
{
    // Texts may be needed before any dialog ran its set-up (constructors):
    // the binding must exist by then; the default domain is left alone.
    static const bool bound = [] {
        ::bindtextdomain(GUI_TEXT_DOMAIN.c_str(), LOCALE_DIR.c_str());
        ::bind_textdomain_codeset(GUI_TEXT_DOMAIN.c_str(), "UTF-8");
        return true;
    }();
    (void)bound;
    return ::dgettext(GUI_TEXT_DOMAIN.c_str(), text);
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

GdkPixbuf* LoadIconAtSize(const std::string& path, int width, int height)
{
    GdkPixbuf* pixbuf = nullptr;
    if (IsRegularFile(path))
        pixbuf = gdk_pixbuf_new_from_file_at_size(path.c_str(), width, height, nullptr);
    if (!pixbuf)
        pixbuf = gdk_pixbuf_new_from_file_at_size(DEFAULT_APP_ICON.c_str(), width, height, nullptr);
    return pixbuf;
}

namespace {

// Runs after the widget computed its own request: raises it to the minimum
// packed into data (width in the high 16 bits, height in the low ones).
void RaiseRequisition(GtkWidget*, GtkRequisition* requisition, gpointer data)
{
    const guint packed = GPOINTER_TO_UINT(data);
    requisition->width = std::max<int>(requisition->width, int(packed >> 16));
    requisition->height = std::max<int>(requisition->height, int(packed & 0xffff));
}

} // namespace

void SetSizeAtLeast(GtkWidget* widget, int width, int height)
{
    const guint packed = (guint(std::max(width, 0)) << 16) | guint(std::max(height, 0) & 0xffff);
    g_signal_connect_after(widget, "size-request", G_CALLBACK(RaiseRequisition),
                           GUINT_TO_POINTER(packed));
    gtk_widget_queue_resize(widget);
}

gint RunMessageBox(GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                   const std::string& text)
{
    GtkWidget* box =
        gtk_message_dialog_new(parent ? GTK_WINDOW(parent) : nullptr,
                               GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                               type, buttons, "%s", text.c_str());
    const gint response = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return response;
}

} // namespace detail
} // namespace LibTAVGUI
