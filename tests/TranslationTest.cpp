// A dialog shows the text of the installed message catalogue: a catalogue
// compiled here with msgfmt, bind-mounted over the locale folder the
// libraries bind, as a package would install it.
#include "AboutDlg.h"
#include "GuiTestUtil.h"
#include "TAVLayout.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>

using LibTAVData::GUI_TEXT_DOMAIN;
using LibTAVData::LOCALE_DIR;

TEST(Translation, DialogShowsTheInstalledCatalogueText)
{
    ASSERT_TRUE(tavtest::InPrivateNamespace());
    const std::string locale = tavtest::MakeTempDir("locale");
    const std::string po = locale + "/test.po";
    ASSERT_TRUE(tavtest::WriteFile(po, "msgid \"\"\n"
                                       "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                                       "\n"
                                       "msgid \"Copyright (C) Tavora. All rights reserved.\"\n"
                                       "msgstr \"xx: all rights kept\"\n"));
    ASSERT_EQ(::mkdir((locale + "/xx").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((locale + "/xx/LC_MESSAGES").c_str(), 0755), 0);
    const std::string mo = locale + "/xx/LC_MESSAGES/" + GUI_TEXT_DOMAIN + ".mo";
    ASSERT_EQ(
        std::system((std::string(TAV_MSGFMT) + " --check -o '" + mo + "' '" + po + "'").c_str()),
        0);
    ASSERT_EQ(::mount(locale.c_str(), LOCALE_DIR.c_str(), nullptr, MS_BIND, nullptr), 0);

    const int rc = tavtest::RunInChild([] {
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("LANGUAGE", "xx", 1);
        if (!tavguitest::InitGtk())
            return 2;
        LibTAVGUI::CAboutDlg about("Shell Controller", "", "2.1");
        if (about.Init() != 0 || !about.Show())
            return 3;
        tavguitest::Pump();
        GtkWidget* window = tavguitest::FindWindow("About Shell Controller");
        if (!window)
            return 4;
        // The translated text, and a text the catalogue lacks in English.
        if (!tavguitest::FindLabel(window, "xx: all rights kept"))
            return 5;
        if (!tavguitest::FindLabel(window, "Shell Controller"))
            return 6;
        about.Close();
        return 0;
    });
    ::umount2(LOCALE_DIR.c_str(), MNT_DETACH);
    EXPECT_EQ(rc, 0) << "2 no display, 3 no dialog, 4 no window, 5 not translated, 6 name changed";
}
