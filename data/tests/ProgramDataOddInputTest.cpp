// Arbitrary text must never crash, hang or leak a launcher model class: it
// either loads (0) or fails (-1), and whatever is held afterwards saves.
#include "DefaultConfigData.h"
#include "FavoriteData.h"
#include "SearchResultData.h"
#include "TabNavigationData.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace LibTAVData;

namespace {

const char kTabNavigation[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><TabNavigation><CategoryConfig>"
    "<Category name=\"Office\" icon=\"o.png\"><Application "
    "enabled=\"1\"><Name>Writer</Name><Path>/w</Path>"
    "<CustomIcon>w.png</CustomIcon></Application><Application "
    "enabled=\"0\"><Name>Calc</Name><Path>/c</Path>"
    "<CustomIcon/></Application></Category><Category name=\"Games\" "
    "icon=\"\"/></CategoryConfig></TabNavigation>";

const char kDefaultConfig[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><DefaultConfig><CategoryConfig><Category "
    "name=\"Office\" icon=\"o\">"
    "<Application "
    "enabled=\"1\"><Name>Writer</Name><Path>/w</Path><CustomIcon>w.png</CustomIcon></Application>"
    "</Category></CategoryConfig><Applications><Application "
    "enabled=\"1\"><Name>T</Name><Path>/t</Path>"
    "<CustomIcon/></Application></Applications></DefaultConfig>";

const char kFavorite[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" "
                         "?><Favorite><Applications><Application><Name>Writer</Name>"
                         "<Path>/w</Path><CustomIcon>w.png</CustomIcon></"
                         "Application><Application><Name>Calc</Name><Path>/c</Path>"
                         "<CustomIcon/></Application></Applications></Favorite>";

const char kSearchResult[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" "
                             "?><SearchResult><Applications><Application><Name>Writer</Name>"
                             "<Path>/w</Path><CustomIcon>w.png</CustomIcon></"
                             "Application><Application><Name>Writer</Name><Path>/x</Path>"
                             "<CustomIcon/></Application></Applications></SearchResult>";

struct Subject {
    std::string name;
    std::string seed;
    std::function<std::unique_ptr<CTAVDataProvider>()> make;
};

std::vector<Subject> Subjects()
{
    return {
        {"TabNavigation", kTabNavigation, [] { return std::make_unique<CTabNavigationData>(); }},
        {"DefaultConfig", kDefaultConfig, [] { return std::make_unique<CDefaultConfigData>(); }},
        {"Favorite", kFavorite, [] { return std::make_unique<CFavoriteData>(); }},
        {"SearchResult", kSearchResult, [] { return std::make_unique<CSearchResultData>(); }},
    };
}

std::vector<std::string> OddTexts()
{
    std::vector<std::string> texts = {
        "",
        "<?xml",
        "<!--",
        "<![CDATA[",
        "<!DOCTYPE x [",
        "&#x;",
        "&#xFFFFFFFFFF;",
        "<TabNavigation>",
        "<TabNavigation/><TabNavigation/>",
        "<DefaultConfig><CategoryConfig><Category name=\"a\"></Category>",
        "<Favorite><Applications><Application><Name>",
        "<SearchResult><Applications><Application><Name>a</Name><Path>b</Path><CustomIcon>",
        "<SearchResult><Applications><Application><Name>a&#0;b</Name><Path>b</Path><CustomIcon/></"
        "Application>"
        "</Applications></SearchResult>",
        "<TabNavigation><CategoryConfig><Category name='a' "
        "name='b'/></CategoryConfig></TabNavigation>",
        "<TabNavigation><CategoryConfig><Category name=\"a\"><Application "
        "enabled=\"-99999999999999999999\">"
        "<Name/><Path/><CustomIcon/></Application></Category></CategoryConfig></TabNavigation>",
        "<TabNavigation><CategoryConfig><Category name=\"\xff\xfe\"><Application enabled=\"\xc3\">"
        "<Name>\xe2\x82</Name><Path>\xf0</Path><CustomIcon>\x80</CustomIcon></Application></"
        "Category>"
        "</CategoryConfig></TabNavigation>",
        "\xef\xbb\xbf<Favorite><Applications><Application><Name>bom</Name><Path/><CustomIcon/></"
        "Application>"
        "</Applications></Favorite>",
        std::string("<Favorite>\0<Applications/></Favorite>", 37),
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Favorite/>",
        "<Favorite><!-- <Applications> --><![CDATA[<Application>]]></Favorite>",
    };
    // Deep nesting inside an otherwise valid document.
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<Category name=\"d\">";
    texts.push_back("<TabNavigation><CategoryConfig>" + deep + "</CategoryConfig></TabNavigation>");
    // Many siblings and long values.
    std::string wide = "<SearchResult><Applications>";
    for (int i = 0; i < 2000; ++i)
        wide += "<Application><Name>n" + std::to_string(i % 7) + "</Name><Path>" +
                std::string(100, 'p') + "</Path><CustomIcon/></Application>";
    texts.push_back(wide + "</Applications></SearchResult>");
    return texts;
}

// One load, then the object must still save, and a text it saved must load
// into a fresh object and save to the very same text.
void Exercise(const Subject& subject, const std::string& text)
{
    std::unique_ptr<CTAVDataProvider> data = subject.make();
    const int loaded = data->LoadFromString(text);
    EXPECT_TRUE(loaded == 0 || loaded == -1) << subject.name << ": " << loaded;
    std::string saved;
    ASSERT_EQ(data->Save2String(saved), 0) << subject.name;
    std::unique_ptr<CTAVDataProvider> again = subject.make();
    if (again->LoadFromString(saved) == 0) {
        std::string savedAgain;
        ASSERT_EQ(again->Save2String(savedAgain), 0);
        EXPECT_EQ(savedAgain, saved) << subject.name << " after loading: " << text;
    }
    if (auto* results = dynamic_cast<CSearchResultData*>(data.get())) {
        EXPECT_EQ(results->AddApplications(text), text.empty() ? -2 : 0);
    }
}

} // namespace

TEST(ProgramDataOddInput, MalformedTextsLoadOrFailCleanly)
{
    for (const Subject& subject : Subjects()) {
        for (const std::string& text : OddTexts())
            Exercise(subject, text);
        // Every class also takes every other class's document.
        for (const Subject& other : Subjects())
            Exercise(subject, other.seed);
    }
}

// Seeded mutations of valid documents: flipped, dropped, duplicated and
// inserted characters, chosen from the characters that matter to XML.
TEST(ProgramDataOddInput, MutatedDocumentsLoadOrFailCleanly)
{
    std::mt19937 rng(20240611);
    const std::string alphabet = "<>/=\"' &;#x!?-[]CDATAapplicationNameEnabled0123456789\n\t";
    for (const Subject& subject : Subjects()) {
        for (int round = 0; round < 1500; ++round) {
            std::string text = subject.seed;
            const int edits = 1 + static_cast<int>(rng() % 6);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                const std::size_t at = rng() % text.size();
                switch (rng() % 4) {
                case 0:
                    text[at] = alphabet[rng() % alphabet.size()];
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 12);
                    break;
                case 2:
                    text.insert(at, text.substr(at, 1 + rng() % 40));
                    break;
                default:
                    text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                    break;
                }
            }
            Exercise(subject, text);
            if (HasFatalFailure() || HasNonfatalFailure())
                return;
        }
    }
}
