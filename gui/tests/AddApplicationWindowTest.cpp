// The "Application Selection" window: the programs of SearchResult.xml and
// the choice handed back after OK, Cancel or closing.
#include "AddApplicationWindow.h"
#include "GuiTestData.h"
#include "GuiTestUtil.h"

#include <gtest/gtest.h>

using namespace tavguitest;
using LibTAVData::CApplicationInfo;

namespace {

const char* const kTitle = "Application Selection";

std::string Program(const std::string& name, const std::string& path, const std::string& icon)
{
    return "<Application><Name>" + name + "</Name><Path>" + path + "</Path><CustomIcon>" + icon +
           "</CustomIcon></Application>";
}

std::string SearchResult(const std::string& programs)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<SearchResult><Applications>" + programs +
           "</Applications></SearchResult>\n";
}

class AddApplicationWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallImages()); }
    void SetUp() override
    {
        ASSERT_TRUE(InitGtk());
        ClearConfig();
        m_parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_show(m_parent);
    }
    void TearDown() override
    {
        gtk_widget_destroy(m_parent);
        Pump(10);
    }
    GtkWidget* Open(LibTAVGUI::CAddApplicationWindow& window)
    {
        EXPECT_EQ(window.Init(), 0);
        EXPECT_TRUE(window.ShowModal(m_parent, nullptr, nullptr));
        Pump(20);
        return FindWindow(kTitle);
    }
    static std::vector<std::string> Names(const std::list<CApplicationInfo>& apps)
    {
        std::vector<std::string> names;
        for (const CApplicationInfo& app : apps)
            names.push_back(app.GetName() + "|" + app.GetPath() + "|" + app.GetCustomIcon());
        return names;
    }

    GtkWidget* m_parent = nullptr;
};

TEST_F(AddApplicationWindowTest, ListsTheSearchResultsWithTheDefaultPictureWhereNeeded)
{
    ASSERT_TRUE(
        WriteConfig("SearchResult.xml",
                    SearchResult(Program("Dice", "/usr/bin/dice", Image("category_games.png")) +
                                 Program("Atlas", "/usr/bin/atlas", "") +
                                 Program("Notes", "/usr/bin/notes", "/missing.png"))));
    LibTAVGUI::CAddApplicationWindow selection;
    GtkWidget* window = Open(selection);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowClass(window), "Application Selection/TAV");
    GtkTreeView* view = GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW));
    EXPECT_FALSE(gtk_tree_view_get_headers_visible(view));
    EXPECT_EQ(gtk_tree_selection_get_mode(gtk_tree_view_get_selection(view)),
              GTK_SELECTION_MULTIPLE);
    EXPECT_EQ(ColumnTexts(view, 1), (std::vector<std::string>{"Dice", "Atlas", "Notes"}));

    // Natural sizes: the program's own picture, else the default one.
    GdkPixbuf* fallback = gdk_pixbuf_new_from_file(Image("gui_default_app.png").c_str(), nullptr);
    GdkPixbuf* own = gdk_pixbuf_new_from_file(Image("category_games.png").c_str(), nullptr);
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    for (int row = 0; row < 3; ++row) {
        GdkPixbuf* shown = CellPixbuf(model, row, 0);
        EXPECT_TRUE(SamePixels(shown, row == 0 ? own : fallback)) << "row " << row;
        if (shown)
            g_object_unref(shown);
    }
    g_object_unref(fallback);
    g_object_unref(own);
}

TEST_F(AddApplicationWindowTest, OKHandsBackCopiesInTheViewsOrder)
{
    ASSERT_TRUE(WriteConfig("SearchResult.xml",
                            SearchResult(Program("Dice", "/usr/bin/dice", "") +
                                         Program("Atlas", "/usr/bin/atlas", "/icons/atlas.png") +
                                         Program("Notes", "/usr/bin/notes", ""))));
    LibTAVGUI::CAddApplicationWindow selection;
    GtkWidget* window = Open(selection);
    GtkTreeView* view = GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW));
    AddToSelection(view, 2);
    AddToSelection(view, 0);
    AddToSelection(view, 1);
    ASSERT_TRUE(Click(FindButton(window, "OK")));
    EXPECT_EQ(FindWindow(kTitle), nullptr);

    std::list<CApplicationInfo> chosen;
    EXPECT_EQ(selection.GetSelectApplicationList(chosen), 3);
    EXPECT_EQ(Names(chosen), (std::vector<std::string>{"Dice|/usr/bin/dice|",
                                                       "Atlas|/usr/bin/atlas|/icons/atlas.png",
                                                       "Notes|/usr/bin/notes|"}));
    // The out list is replaced, not appended to.
    EXPECT_EQ(selection.GetSelectApplicationList(chosen), 3);
    EXPECT_EQ(chosen.size(), 3u);
}

TEST_F(AddApplicationWindowTest, NothingIsHandedBackWithoutASelectionOrAfterCancel)
{
    ASSERT_TRUE(
        WriteConfig("SearchResult.xml", SearchResult(Program("Dice", "/usr/bin/dice", "") +
                                                     Program("Atlas", "/usr/bin/atlas", ""))));
    std::list<CApplicationInfo> chosen;
    {
        LibTAVGUI::CAddApplicationWindow selection;
        GtkWidget* window = Open(selection);
        ASSERT_TRUE(Click(FindButton(window, "OK")));
        EXPECT_EQ(selection.GetSelectApplicationList(chosen), 0);
    }
    {
        LibTAVGUI::CAddApplicationWindow selection;
        GtkWidget* window = Open(selection);
        AddToSelection(GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW)), 1);
        ASSERT_TRUE(Click(FindButton(window, "Cancel")));
        EXPECT_EQ(FindWindow(kTitle), nullptr);
        EXPECT_EQ(selection.GetSelectApplicationList(chosen), 0);
    }
    {
        LibTAVGUI::CAddApplicationWindow selection;
        GtkWidget* window = Open(selection);
        AddToSelection(GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW)), 0);
        CloseFromWindowManager(window);
        EXPECT_EQ(FindWindow(kTitle), nullptr);
        EXPECT_EQ(selection.GetSelectApplicationList(chosen), 0);
    }
}

TEST_F(AddApplicationWindowTest, WithoutSearchResultsTheListIsEmpty)
{
    LibTAVGUI::CAddApplicationWindow selection;
    GtkWidget* window = Open(selection);
    EXPECT_EQ(RowCount(GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW))), 0);
    EXPECT_EQ(selection.LoadXMLData(), 0);
}

} // namespace
