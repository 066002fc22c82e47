// "Shell Settings", Program Registration page: categories and programs as a
// person edits them, Restore to Default, and the closing flows with their
// question "Are You sure you want to save?".
#include "TestShellSetting.h"

#include "TabNavigationData.h"

using namespace tavguitest;
using LibTAVData::CApplicationInfo;
using LibTAVData::CCategory;
using Names = std::vector<std::string>;

namespace {

const char* const kSaveQuestion = "Are You sure you want to save?";

std::string Program(const std::string& name, const std::string& path, const std::string& icon)
{
    return "<Application><Name>" + name + "</Name><Path>" + path + "</Path><CustomIcon>" + icon +
           "</CustomIcon></Application>";
}

// The launcher model as stored in TabNavigation.xml.
std::vector<std::string> StoredPrograms(const std::string& category)
{
    LibTAVData::CTabNavigationData stored;
    stored.LoadFromFile("/etc/TAV/TabNavigation.xml");
    std::vector<std::string> programs;
    for (CCategory* c : *stored.GetPCategoryInfoList())
        if (c->GetName() == category)
            for (CApplicationInfo* app : *c->GetPApplicationInfoList())
                programs.push_back(app->GetName() + "=" + std::to_string(app->GetEnable()));
    return programs;
}

int IconCount(GtkWidget* edit)
{
    GtkTreeModel* model =
        gtk_icon_view_get_model(GTK_ICON_VIEW(FindOfType(edit, GTK_TYPE_ICON_VIEW)));
    return gtk_tree_model_iter_n_children(model, nullptr);
}

// Clicks the picture of this file in the edit dialog's icon view.
bool ChooseIcon(GtkWidget* edit, const std::string& file)
{
    return ChooseIconViewItem(edit, 2, file);
}

using ProgramRegistrationTest = ShellSettingTest;

TEST_F(ProgramRegistrationTest, ShowsTheStoredCategoriesWithTheFirstSelected)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    EXPECT_EQ(CategoryNames(window), (Names{"Internet", "Office", "New Category"}));
    EXPECT_EQ(ProgramNames(window), (Names{"Web Browser", "Mail"}));
    EXPECT_TRUE(CellBool(Programs(window), 0, 0));
    EXPECT_FALSE(CellBool(Programs(window), 1, 0));
    // Program pictures: the program's own, else the default, 32 x 32.
    GtkTreeModel* model = gtk_tree_view_get_model(Programs(window));
    for (int row = 0; row < 2; ++row) {
        GdkPixbuf* shown = CellPixbuf(model, row, 1);
        GdkPixbuf* expected = gdk_pixbuf_new_from_file_at_size(
            Image(row == 0 ? "category_internet.png" : "gui_default_app.png").c_str(), 32, 32,
            nullptr);
        EXPECT_TRUE(SamePixels(shown, expected)) << "row " << row;
        g_object_unref(shown);
        g_object_unref(expected);
    }
    for (GtkWidget* b : {DeleteCategoryButton(window), FindButton(window, "Edit"),
                         AddProgramButton(window), DeleteProgramButton(window)})
        EXPECT_TRUE(gtk_widget_is_sensitive(b));

    // Another category shows its own programs.
    SelectRow(Categories(window), 1);
    EXPECT_EQ(ProgramNames(window), (Names{"Text Editor"}));
    EXPECT_FALSE(dialog.TabNavDirty());
}

TEST_F(ProgramRegistrationTest, NewCategoriesGetTheFirstFreeNumberedName)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Click(AddCategoryButton(window)));
    const Names expected{"Internet",        "Office",          "New Category",
                         "New Category(2)", "New Category(3)", "New Category(4)"};
    EXPECT_EQ(CategoryNames(window), expected);
    EXPECT_EQ(ModelNames(dialog), expected);
    EXPECT_EQ(ModelCategory(dialog, "New Category(4)")->GetCategoryIcon(),
              "/etc/TAV/image/gui_default_app.png");
    // The new one is selected and shows its empty program list.
    EXPECT_TRUE(ProgramNames(window).empty());
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_selection_get_selected(gtk_tree_view_get_selection(Categories(window)),
                                                nullptr, &iter));
    EXPECT_TRUE(dialog.TabNavDirty());
    EXPECT_TRUE(dialog.IsTabNavDataDirty());
}

// Opens the edit dialog on the selected category with "Edit".
GtkWidget* OpenEdit(GtkWidget* window)
{
    EXPECT_TRUE(Click(FindButton(window, "Edit")));
    return FindWindow("Edit Category Dialog");
}

GtkWidget* NameEntry(GtkWidget* edit) { return FindOfType(edit, GTK_TYPE_ENTRY); }

TEST_F(ProgramRegistrationTest, TheEditDialogRenamesTheCategoryAndChangesItsPicture)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    SelectRow(Categories(window), 1);
    GtkWidget* edit = OpenEdit(window);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(NameEntry(edit)))), "Office");
    EXPECT_GT(IconCount(edit), 10); // every installed picture
    const std::string chosen = Image("category_tools.png");
    ASSERT_TRUE(ChooseIcon(edit, chosen));
    Type(NameEntry(edit), "Tools");
    ASSERT_TRUE(Click(FindButton(edit, "OK")));
    EXPECT_EQ(FindWindow("Edit Category Dialog"), nullptr);
    EXPECT_EQ(CategoryNames(window), (Names{"Internet", "Tools", "New Category"}));
    ASSERT_NE(ModelCategory(dialog, "Tools"), nullptr);
    EXPECT_EQ(ModelCategory(dialog, "Tools")->GetCategoryIcon(), chosen);

    // The next edit starts from the new name, and keeping it is no clash.
    edit = OpenEdit(window);
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(NameEntry(edit)))), "Tools");
    ASSERT_TRUE(Click(FindButton(edit, "OK")));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ProgramRegistrationTest, AnotherCategorysNameIsRefusedWithAMessage)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    SelectRow(Categories(window), 1);
    GtkWidget* edit = OpenEdit(window);
    Type(NameEntry(edit), "Internet");
    ASSERT_TRUE(Click(FindButton(edit, "OK")));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(boxes.Boxes()[0].text, "The Specified Category Name Already Exist!");
    EXPECT_EQ(CategoryNames(window), (Names{"Internet", "Office", "New Category"}));
    EXPECT_EQ(ModelNames(dialog), (Names{"Internet", "Office", "New Category"}));
}

TEST_F(ProgramRegistrationTest, ADoubleClickEditsAndTheSameNameWithANewPictureIsAccepted)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    SelectRow(Categories(window), 0);
    ActivateRow(Categories(window), 0);
    GtkWidget* edit = FindWindow("Edit Category Dialog");
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(ChooseIcon(edit, Image("category_games.png")));
    ASSERT_TRUE(Click(FindButton(edit, "OK")));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(ModelCategory(dialog, "Internet")->GetCategoryIcon(), Image("category_games.png"));
}

TEST_F(ProgramRegistrationTest, CancelInTheEditDialogChangesNothing)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    GtkWidget* edit = OpenEdit(window);
    Type(NameEntry(edit), "Elsewhere");
    ASSERT_TRUE(ChooseIcon(edit, Image("category_games.png")));
    ASSERT_TRUE(Click(FindButton(edit, "Cancel")));
    EXPECT_EQ(ModelNames(dialog), (Names{"Internet", "Office", "New Category"}));
    EXPECT_EQ(ModelCategory(dialog, "Internet")->GetCategoryIcon(),
              "/etc/TAV/image/category_internet.png");
}

TEST_F(ProgramRegistrationTest, EachIconDialogIsReleased)
{
    // The trace lines tell when an icon dialog object goes.
    auto released = [] {
        const std::string log = LogText();
        const std::string line = "CChangeIconDlg::~CChangeIconDlg() >>Start";
        int count = 0;
        for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
            ++count;
        return count;
    };
    const int before = released();
    auto* dialog = new CTestShellSetting;
    GtkWidget* window = Open(*dialog);
    ASSERT_TRUE(Click(FindButton(window, "Edit")));
    ASSERT_TRUE(Click(FindButton(FindWindow("Edit Category Dialog"), "Cancel")));
    EXPECT_EQ(released(), before); // its result may still be read
    ASSERT_TRUE(Click(FindButton(window, "Edit")));
    EXPECT_EQ(released(), before + 1);
    // The second is still open when the settings dialog goes.
    ASSERT_NE(FindWindow("Edit Category Dialog"), nullptr);
    delete dialog;
    EXPECT_EQ(released(), before + 2);
    EXPECT_EQ(FindWindow("Edit Category Dialog"), nullptr);
    EXPECT_EQ(FindWindow("Shell Settings"), nullptr);
}

TEST_F(ProgramRegistrationTest, DeletingACategoryLeavesNothingSelected)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    SelectRow(Categories(window), 1);
    ASSERT_TRUE(Click(DeleteCategoryButton(window)));
    EXPECT_EQ(CategoryNames(window), (Names{"Internet", "New Category"}));
    EXPECT_EQ(ModelNames(dialog), (Names{"Internet", "New Category"}));
    EXPECT_TRUE(ProgramNames(window).empty());
    for (GtkWidget* b : {DeleteCategoryButton(window), FindButton(window, "Edit"),
                         AddProgramButton(window), DeleteProgramButton(window)})
        EXPECT_FALSE(gtk_widget_is_sensitive(b));
    EXPECT_TRUE(dialog.TabNavDirty());
    // Programs coming back now have no category to go to.
    EXPECT_EQ(dialog.AddPrograms({CApplicationInfo()}), -1);
    // A person selects another one and goes on.
    SelectRow(Categories(window), 0);
    EXPECT_TRUE(gtk_widget_is_sensitive(DeleteCategoryButton(window)));
    EXPECT_EQ(ProgramNames(window), (Names{"Web Browser", "Mail"}));
}

TEST_F(ProgramRegistrationTest, ProgramsFromTheSelectionWindowSkipThoseAlreadyThere)
{
    ASSERT_TRUE(
        WriteConfig("SearchResult.xml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<SearchResult><Applications>" +
                        Program("Browser", "/usr/bin/x-www-browser", "") + // same path
                        Program("Mail", "/usr/bin/other-mail", "") +       // same name
                        Program("Atlas", "/usr/bin/atlas", Image("category_education.png")) +
                        Program("Dice", "/usr/bin/dice", "") + "</Applications></SearchResult>\n"));
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    ASSERT_TRUE(Click(AddProgramButton(window)));
    GtkWidget* selection = FindWindow("Application Selection");
    ASSERT_NE(selection, nullptr);
    GtkTreeView* found = GTK_TREE_VIEW(FindOfType(selection, GTK_TYPE_TREE_VIEW));
    ASSERT_EQ(RowCount(found), 4);
    for (int row = 0; row < 4; ++row)
        AddToSelection(found, row);
    ASSERT_TRUE(Click(FindButton(selection, "OK")));

    EXPECT_EQ(FindWindow("Application Selection"), nullptr);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].type, GTK_MESSAGE_INFO);
    EXPECT_EQ(boxes.Boxes()[0].text, "The same applications have been filtered!");
    EXPECT_EQ(ProgramNames(window), (Names{"Web Browser", "Mail", "Atlas", "Dice"}));
    EXPECT_TRUE(CellBool(Programs(window), 2, 0));
    EXPECT_TRUE(CellBool(Programs(window), 3, 0));
    CCategory* internet = ModelCategory(dialog, "Internet");
    ASSERT_EQ(internet->GetPApplicationInfoList()->size(), 4u);
    const CApplicationInfo* atlas = *std::next(internet->GetPApplicationInfoList()->begin(), 2);
    EXPECT_EQ(atlas->GetEnable(), 1);
    EXPECT_EQ(atlas->GetPath(), "/usr/bin/atlas");
    EXPECT_EQ(atlas->GetCustomIcon(), Image("category_education.png"));
    EXPECT_TRUE(dialog.TabNavDirty());

    // Nothing new: no rows, the message once more.
    ASSERT_TRUE(Click(AddProgramButton(window)));
    selection = FindWindow("Application Selection");
    found = GTK_TREE_VIEW(FindOfType(selection, GTK_TYPE_TREE_VIEW));
    AddToSelection(found, 2);
    AddToSelection(found, 3);
    ASSERT_TRUE(Click(FindButton(selection, "OK")));
    EXPECT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(RowCount(Programs(window)), 4);
}

TEST_F(ProgramRegistrationTest, DeletingProgramsSelectsTheFirstLeft)
{
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    SelectRow(Programs(window), 1);
    ASSERT_TRUE(Click(DeleteProgramButton(window)));
    EXPECT_EQ(ProgramNames(window), (Names{"Web Browser"}));
    EXPECT_EQ(ModelCategory(dialog, "Internet")->GetPApplicationInfoList()->size(), 1u);
    GtkTreeIter iter;
    EXPECT_TRUE(gtk_tree_selection_get_selected(gtk_tree_view_get_selection(Programs(window)),
                                                nullptr, &iter));
    ASSERT_TRUE(Click(DeleteProgramButton(window)));
    EXPECT_TRUE(ProgramNames(window).empty());
    EXPECT_TRUE(ModelCategory(dialog, "Internet")->GetPApplicationInfoList()->empty());
    EXPECT_FALSE(gtk_widget_is_sensitive(DeleteProgramButton(window)));
    EXPECT_TRUE(dialog.TabNavDirty());
}

TEST_F(ProgramRegistrationTest, CancelAfterTickingShowAsksAndSavesOnlyOnOK)
{
    const std::string before = ReadConfig("TabNavigation.xml");
    MessageBoxAnswerer boxes(GTK_RESPONSE_CANCEL);
    {
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        ASSERT_TRUE(ToggleCell(Programs(window), "Show", 0));
        EXPECT_FALSE(CellBool(Programs(window), 0, 0));
        EXPECT_EQ(
            ModelCategory(dialog, "Internet")->GetPApplicationInfoList()->front()->GetEnable(), 0);
        ASSERT_TRUE(Click(FindButton(window, "Cancel")));
        EXPECT_EQ(boxes.Texts(), (Names{kSaveQuestion}));
        EXPECT_EQ(FindWindow("Shell Settings"), nullptr);
        EXPECT_EQ(dialog.applied, 0);
    }
    EXPECT_EQ(ReadConfig("TabNavigation.xml"), before);

    boxes.Clear();
    boxes.Answer(GTK_RESPONSE_OK);
    {
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        ASSERT_TRUE(ToggleCell(Programs(window), "Show", 0));
        ASSERT_TRUE(ToggleCell(Programs(window), "Show", 1));
        ASSERT_TRUE(Click(FindButton(window, "Cancel")));
        EXPECT_EQ(boxes.Texts(), (Names{kSaveQuestion}));
        EXPECT_EQ(dialog.applied, 1);
    }
    EXPECT_EQ(StoredPrograms("Internet"), (Names{"Web Browser=0", "Mail=1"}));
}

TEST_F(ProgramRegistrationTest, AnUnchangedDialogClosesWithoutAQuestion)
{
    const std::string before = ReadConfig("TabNavigation.xml");
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    {
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        ASSERT_TRUE(Click(FindButton(window, "OK")));
        EXPECT_EQ(dialog.applied, 1);
        EXPECT_EQ(FindWindow("Shell Settings"), nullptr);
    }
    {
        // A toggle that is undone leaves nothing to save.
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        ASSERT_TRUE(ToggleCell(Programs(window), "Show", 1));
        ASSERT_TRUE(ToggleCell(Programs(window), "Show", 1));
        ASSERT_TRUE(Click(FindButton(window, "Cancel")));
        EXPECT_EQ(dialog.applied, 0);
    }
    {
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        CloseFromWindowManager(window);
        EXPECT_EQ(FindWindow("Shell Settings"), nullptr);
        EXPECT_FALSE(dialog.Show());
    }
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(ReadConfig("TabNavigation.xml"), before);
}

TEST_F(ProgramRegistrationTest, ClosingTheWindowWithChangesAsksToSave)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    {
        CTestShellSetting dialog;
        GtkWidget* window = Open(dialog);
        ASSERT_TRUE(Click(AddCategoryButton(window)));
        CloseFromWindowManager(window);
        EXPECT_EQ(boxes.Texts(), (Names{kSaveQuestion}));
        EXPECT_EQ(FindWindow("Shell Settings"), nullptr);
    }
    LibTAVData::CTabNavigationData stored;
    ASSERT_EQ(stored.LoadFromFile("/etc/TAV/TabNavigation.xml"), 0);
    EXPECT_EQ(stored.IsCategoryExist("New Category(2)"), 1);
}

TEST_F(ProgramRegistrationTest, RestoreToDefaultAsksFirstAndReplacesTheCategories)
{
    ASSERT_TRUE(WriteConfig("DefaultConfig.xml", tavtest::ReadFile(TAV_SAMPLE_DEFAULT_CONFIG)));
    MessageBoxAnswerer boxes(GTK_RESPONSE_CANCEL);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    ASSERT_TRUE(Click(FindButton(window, "Restore to Default")));
    EXPECT_EQ(boxes.Texts(), (Names{"Do you want to restore the default configuration?"}));
    EXPECT_EQ(boxes.Boxes()[0].type, GTK_MESSAGE_INFO);
    EXPECT_EQ(CategoryNames(window), (Names{"Internet", "Office", "New Category"}));
    EXPECT_TRUE(dialog.TabNavDirty());
    EXPECT_FALSE(dialog.IsTabNavDataDirty()); // the comparison has the last word

    boxes.Answer(GTK_RESPONSE_OK);
    ASSERT_TRUE(Click(FindButton(window, "Restore to Default")));
    const Names defaults{"Internet", "Office", "Education", "Tools"};
    EXPECT_EQ(CategoryNames(window), defaults);
    EXPECT_EQ(ModelNames(dialog), defaults);
    EXPECT_EQ(ProgramNames(window), (Names{"Web Browser"}));
    for (GtkWidget* b : {DeleteCategoryButton(window), FindButton(window, "Edit"),
                         AddProgramButton(window), DeleteProgramButton(window)})
        EXPECT_TRUE(gtk_widget_is_sensitive(b));

    ASSERT_TRUE(Click(FindButton(window, "Apply")));
    EXPECT_EQ(StoredPrograms("Office"), (Names{"Text Editor=1", "Document Viewer=1"}));
    EXPECT_EQ(StoredPrograms("Tools"), (Names{"Terminal=1", "Task Manager=1"}));
}

TEST_F(ProgramRegistrationTest, RestoreWithoutADefaultFileEmptiesOnlyTheLists)
{
    MessageBoxAnswerer boxes(GTK_RESPONSE_OK);
    CTestShellSetting dialog;
    GtkWidget* window = Open(dialog);
    ASSERT_TRUE(Click(FindButton(window, "Restore to Default")));
    EXPECT_EQ(RowCount(Categories(window)), 0);
    EXPECT_EQ(RowCount(Programs(window)), 0);
    EXPECT_EQ(ModelNames(dialog), (Names{"Internet", "Office", "New Category"}));
}

} // namespace
