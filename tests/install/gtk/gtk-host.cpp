// A GTK+ 2 host of the dialogs: it links against TAVGUI and, given a
// display, builds and closes the About dialog.
#include "AboutDlg.h"
#include "TAVLog.h"

#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv)
{
    LibTAVData::CTAVLog::SetLogFileName("gtkhostcheck");
    if (!gtk_init_check(&argc, &argv)) {
        std::printf("gtk host linked (no display)\n");
        return 0;
    }
    LibTAVGUI::CAboutDlg about("Host check", "", "1.0");
    if (about.Init() != 0)
        return 1;
    about.Close();
    std::printf("gtk host linked, About dialog built\n");
    return 0;
}
