#include "DefaultConfigData.h"

#include "ProgramTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace programtest;
using LibTAVData::CDefaultConfigData;

namespace {

void Populate(CDefaultConfigData& config)
{
    config.GetPCategoryInfoList()->push_back(
        Category("Office", "/etc/TAV/image/office.png",
                 {App("Writer", "/usr/bin/writer", "/etc/TAV/image/writer.png", 0),
                  App("Calc", "/usr/bin/calc", "", 1)}));
    config.GetPCategoryInfoList()->push_back(Category("Empty", "", {}));
    config.GetPApplicationInfoList()->push_back(
        App("Terminal & Co", "/usr/bin/term -e 'sh'", "t.png", 1));
    config.GetPApplicationInfoList()->push_back(App("Hidden", "/h", "", 0));
}

const char kPopulated[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                          "<DefaultConfig>\n"
                          "    <CategoryConfig>\n"
                          "        <Category name=\"Office\" icon=\"/etc/TAV/image/office.png\">\n"
                          "            <Application enabled=\"0\">\n"
                          "                <Name>Writer</Name>\n"
                          "                <Path>/usr/bin/writer</Path>\n"
                          "                <CustomIcon>/etc/TAV/image/writer.png</CustomIcon>\n"
                          "            </Application>\n"
                          "            <Application enabled=\"1\">\n"
                          "                <Name>Calc</Name>\n"
                          "                <Path>/usr/bin/calc</Path>\n"
                          "                <CustomIcon></CustomIcon>\n"
                          "            </Application>\n"
                          "        </Category>\n"
                          "        <Category name=\"Empty\" icon=\"\" />\n"
                          "    </CategoryConfig>\n"
                          "    <Applications>\n"
                          "        <Application enabled=\"1\">\n"
                          "            <Name>Terminal &amp; Co</Name>\n"
                          "            <Path>/usr/bin/term -e &apos;sh&apos;</Path>\n"
                          "            <CustomIcon>t.png</CustomIcon>\n"
                          "        </Application>\n"
                          "        <Application enabled=\"0\">\n"
                          "            <Name>Hidden</Name>\n"
                          "            <Path>/h</Path>\n"
                          "            <CustomIcon></CustomIcon>\n"
                          "        </Application>\n"
                          "    </Applications>\n"
                          "</DefaultConfig>\n";

std::string Saved(CDefaultConfigData& config)
{
    std::string text;
    EXPECT_EQ(config.Save2String(text), 0);
    return text;
}

struct CategoryListDeleter {
    void operator()(std::list<CCategory*>* list) const
    {
        for (CCategory* category : *list)
            delete category;
        delete list;
    }
};
using CategoryListPtr = std::unique_ptr<std::list<CCategory*>, CategoryListDeleter>;

} // namespace

TEST(DefaultConfigData, SavedFileIsExactAndReloads)
{
    CDefaultConfigData config;
    Populate(config);
    const std::string file = tavtest::TempRoot() + "/DefaultConfig.xml";
    ASSERT_EQ(config.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), kPopulated);
    std::string text;
    ASSERT_EQ(config.Save2String(text), 0);
    EXPECT_EQ(text, kPopulated);

    CDefaultConfigData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Saved(loaded), kPopulated);

    // Both sections are written even when empty or absent.
    CDefaultConfigData empty;
    empty.SetPApplicationInfoList(nullptr);
    ASSERT_EQ(empty.Save2String(text), 0);
    EXPECT_EQ(
        text,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<DefaultConfig>\n    <CategoryConfig />\n"
        "    <Applications />\n</DefaultConfig>\n");
}

TEST(DefaultConfigData, LoadRules)
{
    CDefaultConfigData config;
    Populate(config);

    // No category: -1 and nothing cleared, even with programs present.
    const std::string apps =
        "<Applications><Application enabled=\"1\"><Name>n</Name><Path>/n</Path><CustomIcon/>"
        "</Application></Applications>";
    EXPECT_EQ(config.LoadFromString("<DefaultConfig><CategoryConfig/>" + apps + "</DefaultConfig>"),
              -1);
    EXPECT_EQ(config.LoadFromString("<DefaultConfig>" + apps + "</DefaultConfig>"), -1);
    EXPECT_EQ(config.LoadFromString(
                  "<TabNavigation><CategoryConfig><Category name=\"c\"/></CategoryConfig>"
                  "</TabNavigation>"),
              -1);
    EXPECT_EQ(config.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Saved(config), kPopulated);

    // Categories but no program in Applications: -1, categories loaded,
    // programs gone.
    EXPECT_EQ(config.LoadFromString(
                  "<DefaultConfig><CategoryConfig><Category name=\"c\" icon=\"i\"/>"
                  "</CategoryConfig><Applications><Other/></Applications></DefaultConfig>"),
              -1);
    EXPECT_EQ(Describe(config.GetPCategoryInfoList()), (std::vector<std::string>{"[c|i]"}));
    EXPECT_EQ(Describe(config.GetPApplicationInfoList()), std::vector<std::string>{});

    // The record rules of TabNavigation.xml hold in both sections; a
    // category without a name still makes the file one with categories.
    ASSERT_EQ(
        config.LoadFromString(
            "<DefaultConfig><CategoryConfig><Category icon=\"x\"/><Category name=\"k\">"
            "<Application "
            "enabled=\"z\"><Name>z</Name><Path>/z</Path><CustomIcon>zi</CustomIcon></Application>"
            "<Application><Name>lost</Name><Path>/l</Path><CustomIcon/></Application>"
            "</Category></CategoryConfig><Applications>"
            "<Application enabled=\"0\"><Path>/p</Path><Name>lost</Name><CustomIcon/></Application>"
            "<Application enabled=\"3\"><Name>a</Name><Path>/a</Path><CustomIcon/></Application>"
            "<Application><Name>lost</Name><Path>/l</Path><CustomIcon/></Application>"
            "</Applications></DefaultConfig>"),
        0);
    EXPECT_EQ(Describe(config.GetPCategoryInfoList()),
              (std::vector<std::string>{"[k|]", "z|/z|zi|-1"}));
    EXPECT_EQ(Describe(config.GetPApplicationInfoList()), (std::vector<std::string>{"a|/a||3"}));
    EXPECT_EQ(config.LoadFromString(
                  "<DefaultConfig><CategoryConfig><Category icon=\"x\"/></CategoryConfig>" + apps +
                  "</DefaultConfig>"),
              0);
    EXPECT_EQ(Describe(config.GetPCategoryInfoList()), std::vector<std::string>{});
}

TEST(DefaultConfigData, CloneShowsEveryProgramAndIsIndependent)
{
    CountedApp::alive = CountedCategory::alive = 0;
    CDefaultConfigData config;
    EXPECT_EQ(config.CloneCategoryInfoList(), nullptr);
    config.SetPCategoryInfoList(nullptr);
    EXPECT_EQ(config.CloneCategoryInfoList(), nullptr);

    auto* noList = new CountedCategory("no list");
    noList->SetPApplicationInfoList(nullptr);
    config.SetPCategoryInfoList(new std::list<CCategory*>{noList});
    CategoryListPtr none(config.CloneCategoryInfoList());
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->empty());

    Populate(config);
    config.GetPCategoryInfoList()->push_front(nullptr);
    config.GetPCategoryInfoList()->back()->GetPApplicationInfoList()->push_back(nullptr);
    CategoryListPtr clone(config.CloneCategoryInfoList());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(Describe(clone.get()),
              (std::vector<std::string>{"[Office|/etc/TAV/image/office.png]",
                                        "Writer|/usr/bin/writer|/etc/TAV/image/writer.png|1",
                                        "Calc|/usr/bin/calc||1", "[Empty|]"}));

    // Independent both ways.
    clone.reset();
    EXPECT_EQ(config.GetPCategoryInfoList()->size(), 4u);
    EXPECT_EQ(Describe(config.GetPCategoryInfoList()->back()->GetPApplicationInfoList()),
              std::vector<std::string>{"null"});
    clone.reset(config.CloneCategoryInfoList());
    config.SetPCategoryInfoList(nullptr);
    EXPECT_EQ(CountedCategory::alive, 0);
    EXPECT_EQ(clone->size(), 2u);
    EXPECT_EQ(clone->front()->GetPApplicationInfoList()->size(), 2u);
}

TEST(DefaultConfigData, ListSettersOwnWhatTheyAreGiven)
{
    CountedApp::alive = CountedCategory::alive = 0;
    {
        CDefaultConfigData config;
        auto* apps =
            new std::list<CApplicationInfo*>{new CountedApp("a", "/a"), new CountedApp("b", "/b")};
        config.SetPApplicationInfoList(apps);
        config.SetPApplicationInfoList(apps);
        EXPECT_EQ(CountedApp::alive, 2);
        config.SetPApplicationInfoList(new std::list<CApplicationInfo*>{apps->back()});
        EXPECT_EQ(CountedApp::alive, 1);

        auto* category = new CountedCategory("c");
        category->GetPApplicationInfoList()->push_back(new CountedApp("x", "/x"));
        config.SetPCategoryInfoList(new std::list<CCategory*>{category});
        EXPECT_EQ(CountedApp::alive, 2);
        config.SetPCategoryInfoList(new std::list<CCategory*>);
        EXPECT_EQ(CountedCategory::alive, 0);
        EXPECT_EQ(CountedApp::alive, 1);

        // A successful reload replaces both lists.
        config.GetPCategoryInfoList()->push_back(new CountedCategory("d"));
        ASSERT_EQ(config.LoadFromString(kPopulated), 0);
        EXPECT_EQ(CountedCategory::alive, 0);
        EXPECT_EQ(CountedApp::alive, 0);
        config.GetPApplicationInfoList()->push_back(new CountedApp("e", "/e"));
        config.GetPCategoryInfoList()->push_back(new CountedCategory("f"));
    }
    EXPECT_EQ(CountedApp::alive, 0);
    EXPECT_EQ(CountedCategory::alive, 0);
}
