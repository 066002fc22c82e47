// The "Edit Category Dialog": the folder's pictures, choosing one, the name
// check, and what the opener reads after each way of closing.
#include "ChangeIconDlg.h"
#include "GuiTestData.h"
#include "GuiTestUtil.h"
#include "TAVDataTools.h"

#include <gtest/gtest.h>

using namespace tavguitest;

namespace {

const char* const kTitle = "Edit Category Dialog";

class ChangeIconDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallImages()); }
    void SetUp() override
    {
        ASSERT_TRUE(InitGtk());
        m_parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_show(m_parent);
        m_folder = tavtest::MakeTempDir("icons");
    }
    void TearDown() override
    {
        gtk_widget_destroy(m_parent);
        Pump(10);
    }

    void AddPicture(const std::string& name, const std::string& from)
    {
        ASSERT_TRUE(tavtest::WriteFile(m_folder + "/" + name, tavtest::ReadFile(Image(from))));
    }
    // Opens dialog over the parent; counts the destroy callbacks.
    GtkWidget* Open(LibTAVGUI::CChangeIconDlg& dialog)
    {
        EXPECT_EQ(dialog.Init(), 0);
        EXPECT_TRUE(dialog.ShowModal(
            m_parent, G_CALLBACK(+[](GtkWidget*, gpointer calls) { ++*static_cast<int*>(calls); }),
            &m_callbacks));
        Pump(20);
        return FindWindow(kTitle);
    }
    // Picks the picture listed under this file name, as a click does.
    static bool ChooseIcon(GtkWidget* window, const std::string& fileName)
    {
        return ChooseIconViewItem(window, 1, fileName);
    }
    static std::vector<std::string> Listed(GtkWidget* window)
    {
        GtkTreeModel* model =
            gtk_icon_view_get_model(GTK_ICON_VIEW(FindOfType(window, GTK_TYPE_ICON_VIEW)));
        std::vector<std::string> names;
        GtkTreeIter iter;
        for (bool ok = gtk_tree_model_get_iter_first(model, &iter); ok;
             ok = gtk_tree_model_iter_next(model, &iter)) {
            gchar* name = nullptr;
            gtk_tree_model_get(model, &iter, 1, &name, -1);
            names.push_back(name);
            g_free(name);
        }
        return names;
    }

    GtkWidget* m_parent = nullptr;
    std::string m_folder;
    int m_callbacks = 0;
};

TEST_F(ChangeIconDlgTest, ListsTheFolderInItsOwnOrderWithoutDotFiles)
{
    AddPicture("globe.png", "category_internet.png");
    AddPicture(".hidden.png", "category_games.png");
    AddPicture("book.png", "category_education.png");
    ASSERT_TRUE(tavtest::WriteFile(m_folder + "/notes.txt", "not a picture"));

    std::vector<std::string> expected;
    GDir* dir = g_dir_open(m_folder.c_str(), 0, nullptr);
    while (const gchar* name = g_dir_read_name(dir))
        if (name[0] != '.')
            expected.push_back(name);
    g_dir_close(dir);

    LibTAVGUI::CChangeIconDlg dialog(m_folder, "", "Games");
    GtkWidget* window = Open(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowClass(window), "Edit Category Dialog/TAV");
    EXPECT_EQ(Listed(window), expected);
    // The text file has an empty picture cell; the pictures are 24 x 24.
    GtkTreeModel* model =
        gtk_icon_view_get_model(GTK_ICON_VIEW(FindOfType(window, GTK_TYPE_ICON_VIEW)));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        GdkPixbuf* pixbuf = CellPixbuf(model, int(i), 0);
        if (expected[i] == "notes.txt") {
            EXPECT_EQ(pixbuf, nullptr);
        } else {
            ASSERT_NE(pixbuf, nullptr);
            EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 24);
            g_object_unref(pixbuf);
        }
    }
    // No icon yet: the name entry holds the name, the icon label the default text.
    EXPECT_NE(FindLabel(window, "Default Icon"), nullptr);
    std::string name, icon;
    dialog.FetchData(name, icon);
    EXPECT_EQ(name, "Games");
    EXPECT_EQ(icon, "Default Icon");
}

TEST_F(ChangeIconDlgTest, OKHandsBackTheNameAndTheChosenPicture)
{
    AddPicture("globe.png", "category_internet.png");
    AddPicture("book.png", "category_education.png");
    LibTAVGUI::CChangeIconDlg dialog(m_folder, "/old/icon.png", "Internet");
    GtkWidget* window = Open(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(FindOfType(window, GTK_TYPE_ENTRY))),
              std::string("Internet"));
    EXPECT_NE(FindLabel(window, "/old/icon.png"), nullptr);

    ASSERT_TRUE(ChooseIcon(window, "book.png"));
    EXPECT_NE(FindLabel(window, m_folder + "/book.png"), nullptr);
    Type(FindOfType(window, GTK_TYPE_ENTRY), "Reading");
    ASSERT_TRUE(Click(FindButton(window, "OK")));

    EXPECT_EQ(FindWindow(kTitle), nullptr);
    EXPECT_EQ(m_callbacks, 1);
    EXPECT_EQ(dialog.FetchReturnStatus(), 1);
    std::string name, icon;
    EXPECT_EQ(dialog.FetchData(name, icon), 0);
    EXPECT_EQ(name, "Reading");
    EXPECT_EQ(icon, m_folder + "/book.png");
}

TEST_F(ChangeIconDlgTest, ARefusedNameKeepsTheDialogOpen)
{
    AddPicture("globe.png", "category_internet.png");
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    LibTAVGUI::CChangeIconDlg dialog(m_folder, "", "Internet");
    GtkWidget* window = Open(dialog);
    ASSERT_NE(window, nullptr);
    Type(FindOfType(window, GTK_TYPE_ENTRY), "Web/Mail");
    ASSERT_TRUE(Click(FindButton(window, "OK")));

    std::string reason;
    LibTAVData::CTAVDataTools::IsInputValid("Web/Mail", reason);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(boxes.Boxes()[0].text, reason);
    EXPECT_EQ(FindWindow(kTitle), window);
    EXPECT_EQ(m_callbacks, 0);

    // Cancel afterwards: status 0, the old name.
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    EXPECT_EQ(FindWindow(kTitle), nullptr);
    EXPECT_EQ(m_callbacks, 1);
    EXPECT_EQ(dialog.FetchReturnStatus(), 0);
    std::string name, icon;
    dialog.FetchData(name, icon);
    EXPECT_EQ(name, "Internet");
}

TEST_F(ChangeIconDlgTest, ClosingFromTheWindowManagerAfterARefusedNameKeepsThePictureOnly)
{
    AddPicture("globe.png", "category_internet.png");
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    LibTAVGUI::CChangeIconDlg dialog(m_folder, "", "Internet");
    GtkWidget* window = Open(dialog);
    ASSERT_TRUE(ChooseIcon(window, "globe.png"));
    Type(FindOfType(window, GTK_TYPE_ENTRY), "");
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    ASSERT_EQ(boxes.Boxes().size(), 1u);

    CloseFromWindowManager(window);
    EXPECT_EQ(FindWindow(kTitle), nullptr);
    EXPECT_EQ(m_callbacks, 1);
    EXPECT_EQ(dialog.FetchReturnStatus(), 1);
    std::string name, icon;
    dialog.FetchData(name, icon);
    EXPECT_EQ(name, "Internet");
    EXPECT_EQ(icon, m_folder + "/globe.png");
}

TEST_F(ChangeIconDlgTest, AMissingFolderIsLoggedAndTheNameCanStillBeEdited)
{
    LibTAVGUI::CChangeIconDlg dialog(m_folder + "/missing", "", "Tools");
    GtkWidget* window = Open(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(Listed(window).empty());
    EXPECT_NE(LogText().find("ERROR:   Can not open specified dir!"), std::string::npos);
    Type(FindOfType(window, GTK_TYPE_ENTRY), "Utilities");
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    std::string name, icon;
    dialog.FetchData(name, icon);
    EXPECT_EQ(name, "Utilities");
}

} // namespace
