#include "FavoriteData.h"
#include "SearchResultData.h"

#include "ProgramTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace programtest;
using LibTAVData::CFavoriteData;
using LibTAVData::CSearchResultData;

namespace {

std::string Programs(const std::string& root, const std::string& apps)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><" + root + "><Applications>" + apps +
           "</Applications></" + root + ">";
}

std::string Program(const std::string& name, const std::string& path, const std::string& icon = "")
{
    return "<Application><Name>" + name + "</Name><Path>" + path + "</Path><CustomIcon>" + icon +
           "</CustomIcon></Application>";
}

std::string Answer(const std::string& apps) { return Programs("SearchResult", apps); }

std::string Expected(const std::string& root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
           "<" +
           root +
           ">\n"
           "    <Applications>\n"
           "        <Application>\n"
           "            <Name>Writer</Name>\n"
           "            <Path>/usr/bin/writer</Path>\n"
           "            <CustomIcon>/etc/TAV/image/writer.png</CustomIcon>\n"
           "        </Application>\n"
           "        <Application>\n"
           "            <Name> R&amp;D &lt;tool&gt; </Name>\n"
           "            <Path></Path>\n"
           "            <CustomIcon></CustomIcon>\n"
           "        </Application>\n"
           "    </Applications>\n"
           "</" +
           root + ">\n";
}

// The enable field is not stored: it neither shows in the text nor comes back.
template <class Data>
void CheckSavedTextAndReload(const std::string& root)
{
    Data data;
    data.GetPApplicationInfoList()->push_back(
        App("Writer", "/usr/bin/writer", "/etc/TAV/image/writer.png", 1));
    data.GetPApplicationInfoList()->push_back(nullptr);
    data.GetPApplicationInfoList()->push_back(App(" R&D <tool> ", "", "", 5));
    std::string text;
    ASSERT_EQ(data.Save2String(text), 0);
    EXPECT_EQ(text, Expected(root));
    const std::string file = tavtest::TempRoot() + "/" + root + ".xml";
    ASSERT_EQ(data.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), Expected(root));

    Data loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Describe(loaded.GetPApplicationInfoList()),
              (std::vector<std::string>{"Writer|/usr/bin/writer|/etc/TAV/image/writer.png|0",
                                        " R&D <tool> |||0"}));

    Data empty;
    ASSERT_EQ(empty.Save2String(text), 0);
    const std::string emptyText = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<" + root +
                                  ">\n    <Applications />\n</" + root + ">\n";
    EXPECT_EQ(text, emptyText);
    empty.SetPApplicationInfoList(nullptr);
    ASSERT_EQ(empty.Save2String(text), 0);
    EXPECT_EQ(text, emptyText);
}

} // namespace

TEST(FavoriteData, SavedTextIsExactAndReloads)
{
    CheckSavedTextAndReload<CFavoriteData>("Favorite");
}

TEST(SearchResultData, SavedTextIsExactAndReloads)
{
    CheckSavedTextAndReload<CSearchResultData>("SearchResult");
}

TEST(FavoriteData, LoadRules)
{
    CFavoriteData favorites;
    favorites.GetPApplicationInfoList()->push_back(App("kept", "/k"));
    EXPECT_EQ(favorites.LoadFromString(Programs("SearchResult", Program("a", "/a"))), -1);
    EXPECT_EQ(favorites.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Describe(favorites.GetPApplicationInfoList()),
              (std::vector<std::string>{"kept|/k||1"}));

    // A Favorite root without programs empties the list and reports -1.
    EXPECT_EQ(
        favorites.LoadFromString("<Favorite><Applications><Other/></Applications></Favorite>"), -1);
    ASSERT_NE(favorites.GetPApplicationInfoList(), nullptr);
    EXPECT_TRUE(favorites.GetPApplicationInfoList()->empty());
    favorites.GetPApplicationInfoList()->push_back(App("kept", "/k"));
    EXPECT_EQ(favorites.LoadFromString("<Favorite/>"), -1);
    EXPECT_TRUE(favorites.GetPApplicationInfoList()->empty());

    ASSERT_EQ(
        favorites.LoadFromString(Programs(
            "Favorite",
            "<Application><Name>noIcon</Name><Path>/n</Path></Application>"
            "<Application><Path>/p</Path><Name>pathFirst</Name><CustomIcon/></Application>" +
                Program("a", "/a", "ai") + "<Other>" + Program("nested", "/n") + "</Other>" +
                "<Application enabled=\"1\"><Name>b</Name><Path/><X/><CustomIcon>bi</CustomIcon>"
                "</Application>")),
        0);
    EXPECT_EQ(Describe(favorites.GetPApplicationInfoList()),
              (std::vector<std::string>{"a|/a|ai|0", "b||bi|0"}));
}

TEST(SearchResultData, LoadRules)
{
    CSearchResultData results;
    ASSERT_EQ(results.LoadFromString(
                  Answer(Program("a", "/a1") + Program("a", "/a2") + Program("", "/e"))),
              0);
    // Duplicates inside one document are all kept.
    EXPECT_EQ(Describe(results.GetPApplicationInfoList()),
              (std::vector<std::string>{"a|/a1||0", "a|/a2||0", "|/e||0"}));
    EXPECT_EQ(results.CheckApplicationDuplicate("a"), 1);

    // Failed loads leave the programs and their names in place.
    EXPECT_EQ(results.LoadFromString("<SearchResult><Applications/></SearchResult>"), -1);
    EXPECT_EQ(results.LoadFromString(Programs("Favorite", Program("f", "/f"))), -1);
    EXPECT_EQ(results.LoadFromString("<SearchResult>"), -1);
    EXPECT_EQ(results.GetPApplicationInfoList()->size(), 3u);
    EXPECT_EQ(results.AddApplications(Answer(Program("a", "/a3"))), 0);
    EXPECT_EQ(results.GetPApplicationInfoList()->size(), 3u);

    // A successful reload starts the names afresh.
    ASSERT_EQ(results.LoadFromString(Answer(Program("b", "/b"))), 0);
    EXPECT_EQ(results.CheckApplicationDuplicate("a"), 0);
    EXPECT_EQ(results.CheckApplicationDuplicate("b"), 1);
}

TEST(SearchResultData, AddApplicationsDropsCollectedNames)
{
    CSearchResultData results;
    EXPECT_EQ(results.AddApplications(""), -2);
    EXPECT_EQ(results.AddApplications("not xml <"), 0);
    EXPECT_EQ(results.AddApplications(Programs("Favorite", Program("f", "/f"))), 0);
    EXPECT_EQ(results.AddApplications(Answer("")), 0);
    EXPECT_TRUE(results.GetPApplicationInfoList()->empty());

    ASSERT_EQ(results.AddApplications(Answer(Program("Writer", "/usr/bin/writer", "w.png") +
                                             Program("Empty path", "") + Program("", "/no/name") +
                                             Program("Writer", "/opt/writer"))),
              0);
    ASSERT_EQ(results.AddApplications(Answer(Program("Writer", "/other/writer") +
                                             Program("Empty path", "/now") +
                                             Program("writer", "/lower"))),
              0);
    EXPECT_EQ(Describe(results.GetPApplicationInfoList()),
              (std::vector<std::string>{"Writer|/usr/bin/writer|w.png|0", "Empty path|/now||0",
                                        "writer|/lower||0"}));

    EXPECT_EQ(results.CheckApplicationDuplicate(""), -1);
    EXPECT_EQ(results.CheckApplicationDuplicate("New"), 0);
    EXPECT_EQ(results.CheckApplicationDuplicate("New"), 1);
    EXPECT_EQ(results.AddApplications(Answer(Program("New", "/new"))), 0);
    EXPECT_EQ(results.GetPApplicationInfoList()->size(), 3u);

    // Clear forgets the programs, not their names.
    CountedApp::alive = 0;
    results.GetPApplicationInfoList()->push_back(new CountedApp("counted", "/c"));
    results.GetPApplicationInfoList()->push_back(nullptr);
    EXPECT_EQ(results.Clear(), 0);
    EXPECT_EQ(CountedApp::alive, 0);
    ASSERT_NE(results.GetPApplicationInfoList(), nullptr);
    EXPECT_TRUE(results.GetPApplicationInfoList()->empty());
    EXPECT_EQ(results.AddApplications(Answer(Program("Writer", "/w") + Program("Fresh", "/f"))), 0);
    EXPECT_EQ(Describe(results.GetPApplicationInfoList()),
              (std::vector<std::string>{"Fresh|/f||0"}));

    // Without a list, merging starts a new one; Clear has nothing to do.
    results.SetPApplicationInfoList(nullptr);
    EXPECT_EQ(results.Clear(), 0);
    EXPECT_EQ(results.AddApplications(Answer(Program("Later", "/l"))), 0);
    ASSERT_NE(results.GetPApplicationInfoList(), nullptr);
    EXPECT_EQ(Describe(results.GetPApplicationInfoList()),
              (std::vector<std::string>{"Later|/l||0"}));
}

TEST(FavoriteSearchResult, ListSettersOwnWhatTheyAreGiven)
{
    CountedApp::alive = 0;
    {
        CFavoriteData favorites;
        CSearchResultData results;
        auto* list =
            new std::list<CApplicationInfo*>{new CountedApp("a", "/a"), new CountedApp("b", "/b")};
        favorites.SetPApplicationInfoList(list);
        favorites.SetPApplicationInfoList(list);
        EXPECT_EQ(CountedApp::alive, 2);
        favorites.SetPApplicationInfoList(new std::list<CApplicationInfo*>{list->front()});
        EXPECT_EQ(CountedApp::alive, 1);
        ASSERT_EQ(favorites.LoadFromString(Programs("Favorite", Program("x", "/x"))), 0);
        EXPECT_EQ(CountedApp::alive, 0);
        favorites.GetPApplicationInfoList()->push_back(new CountedApp("c", "/c"));

        results.SetPApplicationInfoList(
            new std::list<CApplicationInfo*>{new CountedApp("d", "/d")});
        results.SetPApplicationInfoList(new std::list<CApplicationInfo*>);
        EXPECT_EQ(CountedApp::alive, 1);
        results.GetPApplicationInfoList()->push_back(new CountedApp("e", "/e"));
        ASSERT_EQ(results.AddApplications(Answer(Program("f", "/f"))), 0);
        EXPECT_EQ(CountedApp::alive, 2);
    }
    EXPECT_EQ(CountedApp::alive, 0);
}
