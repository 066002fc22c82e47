// A small GTK+ 2 host: shows the library's About dialog for a moment and
// quits. It names only libTAVGUI and libtav:
//
//   g++ host.cpp $(pkg-config --cflags gtk+-2.0) -I<prefix>/include/TAV \
//       -lTAVGUI -ltav $(pkg-config --libs gtk+-2.0)
//
// A host that also calls the payload or data library itself (CIntfData,
// CTAVLog, the data classes) names -ltavIntfData or -lTAVData as well.
#include "AboutDlg.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace {

gboolean quit(gpointer)
{
    gtk_main_quit();
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    // The library's dialogs are driven from other threads too (search
    // answers arrive on the IPC worker): a threaded GTK program holding the
    // GDK lock around its main loop.
    gdk_threads_init();
    gdk_threads_enter();
    gtk_init(&argc, &argv);

    LibTAVGUI::CAboutDlg about("Example Host", "", "1.0");
    if (about.Init() != 0 || !about.Show()) {
        std::fprintf(stderr, "example host: the About dialog could not be shown\n");
        gdk_threads_leave();
        return 1;
    }
    // Shown for a moment (milliseconds from the command line, default 500).
    const unsigned ms = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 500;
    g_timeout_add(ms, quit, nullptr);
    gtk_main();
    about.Close();
    gdk_threads_leave();
    std::printf("example host: dialog shown\n");
    return 0;
}
