// The About window: texts, pictures, positions, OK.
#include "AboutDlg.h"
#include "GuiTestData.h"
#include "GuiTestUtil.h"

#include <gtest/gtest.h>

using namespace tavguitest;

namespace {

class AboutDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallImages()); }
    void SetUp() override { ASSERT_TRUE(InitGtk()); }
    void TearDown() override { Pump(10); }

    // The picture an image widget shows (null when empty).
    static GdkPixbuf* Shown(GtkWidget* image)
    {
        return gtk_image_get_storage_type(GTK_IMAGE(image)) == GTK_IMAGE_PIXBUF
                   ? gtk_image_get_pixbuf(GTK_IMAGE(image))
                   : nullptr;
    }
    static GdkPixbuf* Load(const std::string& path, int size)
    {
        return gdk_pixbuf_new_from_file_at_size(path.c_str(), size, size, nullptr);
    }
    static void ExpectAt(GtkWidget* w, int x, int y, int width, int height)
    {
        GtkAllocation a;
        gtk_widget_get_allocation(w, &a);
        EXPECT_EQ(a.x, x);
        EXPECT_EQ(a.y, y);
        if (width > 0) {
            EXPECT_EQ(a.width, width);
            EXPECT_EQ(a.height, height);
        }
    }
};

TEST_F(AboutDlgTest, ShowsNameVersionIconAndRightsWhereTheyBelong)
{
    const std::string icon = Image("shellcontroller_main.png");
    LibTAVGUI::CAboutDlg about("Shell Controller", icon, "2.1");
    ASSERT_EQ(about.Init(), 0);
    ASSERT_TRUE(about.Show());
    Pump();
    GtkWidget* window = FindWindow("About Shell Controller");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowClass(window), "About Shell Controller/TAV");
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);

    GtkWidget* name = FindLabel(window, "Shell Controller");
    GtkWidget* version = FindLabel(window, "Version2.1");
    GtkWidget* rights = FindLabel(window, "Copyright (C) Tavora. All rights reserved.");
    ASSERT_TRUE(name && version && rights);
    ExpectAt(name, 92, 70, 0, 0);
    ExpectAt(version, 92, 85, 0, 0);
    ExpectAt(rights, 92, 140, 0, 0);

    GtkWidget* background = FindOfType(window, GTK_TYPE_IMAGE, 0);
    GtkWidget* logo = FindOfType(window, GTK_TYPE_IMAGE, 1);
    ASSERT_TRUE(background && logo);
    ExpectAt(background, 0, 0, 350, 230);
    ExpectAt(logo, 28, 69, 48, 48);
    GdkPixbuf* expected = Load(icon, 48);
    EXPECT_TRUE(SamePixels(Shown(logo), expected));
    g_object_unref(expected);
    GdkPixbuf* bg = gdk_pixbuf_new_from_file(Image("About_BG.png").c_str(), nullptr);
    EXPECT_TRUE(SamePixels(Shown(background), bg));
    g_object_unref(bg);

    GtkWidget* ok = FindButton(window, "OK");
    ExpectAt(ok, 252, 196, 75, 27);
    ASSERT_TRUE(Click(ok));
    EXPECT_EQ(FindWindow("About Shell Controller"), nullptr);
    EXPECT_FALSE(about.Show());
}

TEST_F(AboutDlgTest, EmptyTextsAndAMissingIconGetTheDefaults)
{
    LibTAVGUI::CAboutDlg about("", "/nonexistent/icon.png", "");
    about.Init();
    ASSERT_TRUE(about.Show());
    GtkWidget* window = FindWindow("About About Dialog");
    ASSERT_NE(window, nullptr);
    EXPECT_NE(FindLabel(window, "About Dialog"), nullptr);
    EXPECT_NE(FindLabel(window, "Version1.0"), nullptr);
    EXPECT_NE(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);
    GdkPixbuf* expected = Load(Image("gui_default_app.png"), 48);
    EXPECT_TRUE(SamePixels(Shown(FindOfType(window, GTK_TYPE_IMAGE, 1)), expected));
    g_object_unref(expected);
}

TEST_F(AboutDlgTest, TheBareDialogHasNoIconLogoOrRights)
{
    LibTAVGUI::CAboutDlg about;
    about.Init();
    ASSERT_TRUE(about.Show());
    GtkWidget* window = FindWindow("About ");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(gtk_window_get_icon(GTK_WINDOW(window)), nullptr);
    EXPECT_EQ(Shown(FindOfType(window, GTK_TYPE_IMAGE, 1)), nullptr);
    EXPECT_NE(FindLabel(window, "Version"), nullptr);
    // Closed from the window manager: the object forgets the window.
    CloseFromWindowManager(window);
    EXPECT_EQ(FindWindow("About "), nullptr);
    EXPECT_FALSE(about.Show());
}

} // namespace
