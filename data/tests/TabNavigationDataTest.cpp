#include "TabNavigationData.h"

#include "ProgramTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace programtest;
using LibTAVData::CTabNavigationData;

namespace {

// A model with every field used: text that needs escaping, surrounding and
// repeated blanks, UTF-8, an empty custom icon, a hidden program, a tab
// without programs and one without any list.
void Populate(CTabNavigationData& model)
{
    auto* categories = model.GetPCategoryInfoList();
    categories->push_back(
        Category("Office", "/etc/TAV/image/office.png",
                 {App("Writer", "/usr/bin/writer --new", "/etc/TAV/image/writer.png", 1),
                  App("Calc & \"Sheets\"", "/usr/bin/calc <x>", "", 0)}));
    categories->push_back(
        Category("  Spiele  Über ", "", {App(" a  b ", "/opt/a b/run", "i.png", 7)}));
    categories->push_back(Category("Empty", "/e.png", {}));
    CCategory* noList = Category("No list", "/n.png", {});
    noList->SetPApplicationInfoList(nullptr);
    categories->push_back(noList);
}

const char kPopulated[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                          "<TabNavigation>\n"
                          "    <CategoryConfig>\n"
                          "        <Category name=\"Office\" icon=\"/etc/TAV/image/office.png\">\n"
                          "            <Application enabled=\"1\">\n"
                          "                <Name>Writer</Name>\n"
                          "                <Path>/usr/bin/writer --new</Path>\n"
                          "                <CustomIcon>/etc/TAV/image/writer.png</CustomIcon>\n"
                          "            </Application>\n"
                          "            <Application enabled=\"0\">\n"
                          "                <Name>Calc &amp; &quot;Sheets&quot;</Name>\n"
                          "                <Path>/usr/bin/calc &lt;x&gt;</Path>\n"
                          "                <CustomIcon></CustomIcon>\n"
                          "            </Application>\n"
                          "        </Category>\n"
                          "        <Category name=\"  Spiele  \xC3\x9C"
                          "ber \" icon=\"\">\n"
                          "            <Application enabled=\"7\">\n"
                          "                <Name> a  b </Name>\n"
                          "                <Path>/opt/a b/run</Path>\n"
                          "                <CustomIcon>i.png</CustomIcon>\n"
                          "            </Application>\n"
                          "        </Category>\n"
                          "        <Category name=\"Empty\" icon=\"/e.png\" />\n"
                          "        <Category name=\"No list\" icon=\"/n.png\" />\n"
                          "    </CategoryConfig>\n"
                          "</TabNavigation>\n";

std::string Wrap(const std::string& categories)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><TabNavigation><CategoryConfig>" +
           categories + "</CategoryConfig></TabNavigation>";
}

std::string AppXml(const std::string& enabledAttr, const std::string& name,
                   const std::string& rest = "")
{
    return "<Application" + enabledAttr + "><Name>" + name + "</Name><Path>/p/" + name +
           "</Path><CustomIcon/>" + rest + "</Application>";
}

} // namespace

TEST(TabNavigationData, SavedFileAndTextAreExact)
{
    CTabNavigationData model;
    Populate(model);
    std::string text;
    ASSERT_EQ(model.Save2String(text), 0);
    EXPECT_EQ(text, kPopulated);
    const std::string file = tavtest::TempRoot() + "/TabNavigation.xml";
    ASSERT_EQ(model.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), kPopulated);

    CTabNavigationData empty;
    ASSERT_EQ(empty.Save2String(text), 0);
    EXPECT_EQ(
        text,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TabNavigation>\n    <CategoryConfig />\n"
        "</TabNavigation>\n");
    empty.SetPCategoryInfoList(nullptr);
    ASSERT_EQ(empty.Save2String(text), 0);
    EXPECT_EQ(
        text,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<TabNavigation>\n    <CategoryConfig />\n"
        "</TabNavigation>\n");
}

// Blanks, escapes, UTF-8 and empty icons come back unchanged (saving is
// exact, so the same text proves every field survived).
TEST(TabNavigationData, SaveAndReloadGiveTheSameModel)
{
    CTabNavigationData model;
    Populate(model);
    const std::string file = tavtest::TempRoot() + "/round.xml";
    ASSERT_EQ(model.Save2File(file), 0);
    CTabNavigationData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    std::string again;
    ASSERT_EQ(loaded.Save2String(again), 0);
    EXPECT_EQ(again, kPopulated);
    // The tab saved without a list comes back with an empty one.
    model.GetPCategoryInfoList()->back()->SetPApplicationInfoList(new std::list<CApplicationInfo*>);
    EXPECT_EQ(loaded.IsEqual(model), 1);
}

TEST(TabNavigationData, LoadRules)
{
    CTabNavigationData model;
    Populate(model);
    const auto before = Describe(model.GetPCategoryInfoList());

    // Failed loads leave the model as it was.
    EXPECT_EQ(model.LoadFromString("<?xml version=\"1.0\" ?><Other><CategoryConfig/></Other>"), -1);
    EXPECT_EQ(model.LoadFromString("<TabNavigation><CategoryConfig>"), -1);
    EXPECT_EQ(model.LoadFromString(""), -1);
    EXPECT_EQ(model.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Describe(model.GetPCategoryInfoList()), before);

    // A root without CategoryConfig, or CategoryConfig without Category, is
    // an empty model.
    EXPECT_EQ(model.LoadFromString("<TabNavigation/>"), 0);
    ASSERT_NE(model.GetPCategoryInfoList(), nullptr);
    EXPECT_TRUE(model.GetPCategoryInfoList()->empty());
    Populate(model);
    EXPECT_EQ(model.LoadFromString(
                  "<TabNavigation><CategoryConfig><Other/></CategoryConfig></TabNavigation>"),
              0);
    EXPECT_TRUE(model.GetPCategoryInfoList()->empty());

    // Records dropped silently, the rest read.
    const std::string text = Wrap(
        "<Category icon=\"lost.png\">" + AppXml(" enabled=\"1\"", "lost") +
        "</Category>"
        "<!--Category--><Other name=\"x\"/>"
        "<Category name=\"A\">" +
        AppXml(" enabled=\"1\"", "one") + AppXml("", "noEnabled") +
        AppXml(" enabled=\"yes\"", "word") + AppXml(" enabled=\" 7x\"", "seven") +
        AppXml(" enabled=\"99999999999\"", "huge") + AppXml(" enabled=\"-2147483648\"", "min") +
        "<Application "
        "enabled=\"1\"><Path>/p</Path><Name>pathFirst</Name><CustomIcon/></Application>"
        "<Application enabled=\"1\"><Name>noIcon</Name><Path>/p</Path></Application>"
        "<Application "
        "enabled=\"1\"><Name>between</Name><X/><Path>/b</Path><Y>t</Y><CustomIcon>c</CustomIcon>"
        "<Name>ignored</Name></Application>"
        "<Application "
        "enabled=\"1\"><Name/><Path></Path><CustomIcon><!--c--></CustomIcon></Application>"
        "<Other enabled=\"1\"><Name>notAnApplication</Name><Path/><CustomIcon/></Other>"
        "</Category>"
        "<Category name=\"\" icon=\"i\"/>");
    ASSERT_EQ(model.LoadFromString(text), 0);
    EXPECT_EQ(
        Describe(model.GetPCategoryInfoList()),
        (std::vector<std::string>{"[A|]", "one|/p/one||1", "word|/p/word||-1", "seven|/p/seven||7",
                                  "huge|/p/huge||-1", "min|/p/min||-2147483648", "between|/b|c|1",
                                  "|||1", "[|i]"}));
}

TEST(TabNavigationData, EqualityCountsEveryChange)
{
    CTabNavigationData a, b;
    Populate(a);
    Populate(b);
    // A tab without a list equals nothing, not even itself.
    EXPECT_EQ(a.IsEqual(b), 0);
    a.GetPCategoryInfoList()->back()->SetPApplicationInfoList(new std::list<CApplicationInfo*>);
    b.GetPCategoryInfoList()->back()->SetPApplicationInfoList(new std::list<CApplicationInfo*>);
    EXPECT_EQ(a.IsEqual(b), 1);

    auto& cats = *b.GetPCategoryInfoList();
    cats.front()->SetName("office");
    EXPECT_EQ(a.IsEqual(b), 0);
    cats.front()->SetName("Office");
    cats.front()->SetCategoryIcon("/other.png");
    EXPECT_EQ(a.IsEqual(b), 0);
    cats.front()->SetCategoryIcon("/etc/TAV/image/office.png");
    CApplicationInfo* writer = cats.front()->GetPApplicationInfoList()->front();
    writer->SetEnable(0);
    EXPECT_EQ(a.IsEqual(b), 0);
    writer->SetEnable(1);
    writer->SetCustomIcon("/etc/TAV/image/writer.pn");
    EXPECT_EQ(a.IsEqual(b), 0);
    writer->SetCustomIcon("/etc/TAV/image/writer.png");
    EXPECT_EQ(a.IsEqual(b), 1);

    // Program order and tab order count.
    auto* apps = cats.front()->GetPApplicationInfoList();
    apps->reverse();
    EXPECT_EQ(a.IsEqual(b), 0);
    apps->reverse();
    cats.reverse();
    EXPECT_EQ(a.IsEqual(b), 0);
    cats.reverse();

    // A missing list on either side is a difference, never a crash.
    cats.back()->SetPApplicationInfoList(nullptr);
    EXPECT_EQ(a.IsEqual(b), 0);
    EXPECT_EQ(b.IsEqual(a), 0);
    delete cats.back();
    cats.pop_back();
    EXPECT_EQ(a.IsEqual(b), 0);
    b.SetPCategoryInfoList(nullptr);
    EXPECT_EQ(a.IsEqual(b), 0);
    EXPECT_EQ(b.IsEqual(a), 0);

    CApplicationInfo x, y;
    EXPECT_EQ(x.IsEqual(y), 1);
    y.SetName(std::string("a\0b", 3));
    x.SetName("a");
    EXPECT_EQ(x.IsEqual(y), 0);
}

TEST(TabNavigationData, Lookups)
{
    CTabNavigationData model;
    Populate(model);
    model.GetPCategoryInfoList()->push_front(nullptr);
    EXPECT_EQ(model.IsCategoryExist("Office"), 1);
    EXPECT_EQ(model.IsCategoryExist("OFFICE"), 0);
    EXPECT_EQ(model.IsCategoryExist("Spiele"), 0);
    EXPECT_EQ(model.IsCategoryExist(""), -1);
    model.GetPCategoryInfoList()->pop_front();

    CCategory* office = model.GetPCategoryInfoList()->front();
    office->GetPApplicationInfoList()->push_front(nullptr);
    EXPECT_EQ(office->IsApplicationExist("Writer", "/elsewhere"), 1);
    EXPECT_EQ(office->IsApplicationExist("Other name", "/usr/bin/calc <x>"), 1);
    EXPECT_EQ(office->IsApplicationExist("writer", "/usr/bin/writer"), 0);
    EXPECT_EQ(office->IsApplicationExist("", "/usr/bin/writer --new"), -1);
    EXPECT_EQ(office->IsApplicationExist("Writer", ""), -1);
    office->GetPApplicationInfoList()->pop_front();
    EXPECT_EQ(model.GetPCategoryInfoList()->back()->IsApplicationExist("a", "b"), -1);

    model.SetPCategoryInfoList(nullptr);
    EXPECT_EQ(model.IsCategoryExist("Office"), -1);
}

TEST(TabNavigationData, RemoveOperations)
{
    CountedApp::alive = CountedCategory::alive = 0;
    {
        CTabNavigationData model;
        auto* games = new CountedCategory("Games");
        auto* tools = new CountedCategory("Tools");
        auto* chess = new CountedApp("Chess", "/chess");
        auto* go = new CountedApp("Go", "/go");
        auto* editor = new CountedApp("Editor", "/editor");
        games->GetPApplicationInfoList()->push_back(chess);
        games->GetPApplicationInfoList()->push_back(go);
        tools->GetPApplicationInfoList()->push_back(editor);

        EXPECT_EQ(model.RemoveProgram(games, chess), -1); // empty model
        model.GetPCategoryInfoList()->push_back(games);
        model.GetPCategoryInfoList()->push_back(tools);

        CCategory stranger;
        EXPECT_EQ(model.RemoveProgram(nullptr, chess), -2);
        EXPECT_EQ(model.RemoveProgram(games, nullptr), -2);
        EXPECT_EQ(model.RemoveProgram(&stranger, chess), -1);
        EXPECT_EQ(model.RemoveProgram(tools, chess), -1); // program of another tab
        EXPECT_EQ(CountedApp::alive, 3);

        EXPECT_EQ(model.RemoveProgram(games, chess), 1);
        EXPECT_EQ(CountedApp::alive, 2);
        EXPECT_EQ(Describe(games->GetPApplicationInfoList()),
                  (std::vector<std::string>{"Go|/go||1"}));

        EXPECT_EQ(model.RemoveCategory(nullptr), -2);
        EXPECT_EQ(model.RemoveCategory(&stranger), -1);
        EXPECT_EQ(model.RemoveCategory(games), 1);
        EXPECT_EQ(CountedCategory::alive, 1);
        EXPECT_EQ(CountedApp::alive, 1);
        EXPECT_EQ(model.GetPCategoryInfoList()->size(), 1u);

        tools->SetPApplicationInfoList(nullptr);
        EXPECT_EQ(CountedApp::alive, 0);
        EXPECT_EQ(model.RemoveProgram(tools, go), -1);
    }
    EXPECT_EQ(CountedCategory::alive, 0);
}

TEST(TabNavigationData, ListSettersOwnWhatTheyAreGiven)
{
    CountedApp::alive = CountedCategory::alive = 0;
    {
        CTabNavigationData model;
        auto* first =
            new std::list<CCategory*>{new CountedCategory("a"), nullptr, new CountedCategory("b")};
        first->front()->GetPApplicationInfoList()->push_back(new CountedApp("x", "/x"));
        model.SetPCategoryInfoList(first);
        model.SetPCategoryInfoList(first); // the list already held: nothing happens
        EXPECT_EQ(CountedCategory::alive, 2);
        EXPECT_EQ(CountedApp::alive, 1);

        // A category carried over into the new list stays alive; the others
        // go with their programs.
        CCategory* kept = first->back();
        model.SetPCategoryInfoList(new std::list<CCategory*>{kept, new CountedCategory("c")});
        EXPECT_EQ(CountedCategory::alive, 2);
        EXPECT_EQ(CountedApp::alive, 0);
        EXPECT_EQ(kept->GetName(), "b");

        // The same program listed twice is released once.
        auto* twice = new CountedApp("t", "/t");
        kept->SetPApplicationInfoList(new std::list<CApplicationInfo*>{twice, twice, nullptr});
        kept->SetPApplicationInfoList(new std::list<CApplicationInfo*>);
        EXPECT_EQ(CountedApp::alive, 0);

        // Reloading replaces the categories.
        kept->GetPApplicationInfoList()->push_back(new CountedApp("y", "/y"));
        ASSERT_EQ(model.LoadFromString(Wrap("<Category name=\"n\"/>")), 0);
        EXPECT_EQ(CountedCategory::alive, 0);
        EXPECT_EQ(CountedApp::alive, 0);
        model.GetPCategoryInfoList()->push_back(new CountedCategory("d"));
    }
    EXPECT_EQ(CountedCategory::alive, 0);
}
