#include "TAVLayout.h"
#include "TAVThemeData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace LibTAVData;

namespace {

const char kFull[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<TAVTheme>\n"
    "    <BackgroundImage>/etc/TAV/theme/Blue/Others/bg &amp; &lt;1&gt;.png</BackgroundImage>\n"
    "    <ThemeSetting>\n"
    "        <Theme Name=\"Blue\" IsCurrentTheme=\"1\">/etc/TAV/theme/Blue</Theme>\n"
    "        <Theme Name=\"Plain\" IsCurrentTheme=\"0\" />\n"
    "        <Theme Name=\"Dark &amp; Co\" IsCurrentTheme=\"-1\">/etc/TAV/theme/Dark</Theme>\n"
    "    </ThemeSetting>\n"
    "    <FontSetting>\n"
    "        <FontName>DejaVu Sans</FontName>\n"
    "        <FontSize>11</FontSize>\n"
    "    </FontSetting>\n"
    "</TAVTheme>\n";

CTheme* Theme(const std::string& name, int current, const std::string& path)
{
    CTheme* t = new CTheme;
    t->SetThemeName(name);
    t->SetIsCurrentTheme(current);
    t->SetThemePath(path);
    return t;
}

std::string Themes(const CTAVThemeData& d)
{
    std::string s;
    for (const CTheme* t : *d.GetPThemeList())
        s += t->GetThemeName() + "|" + std::to_string(t->GetIsCurrentTheme()) + "|" +
             t->GetThemePath() + " ";
    return s;
}

std::string Doc(const std::string& themes, const std::string& font)
{
    return "<TAVTheme><BackgroundImage>bg.png</BackgroundImage>" + themes + font + "</TAVTheme>";
}

} // namespace

TEST(Theme, SavedTexts)
{
    CTAVThemeData fresh;
    std::string out;
    ASSERT_EQ(fresh.Save2String(out), 0);
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                   "<TAVTheme>\n"
                   "    <BackgroundImage />\n"
                   "    <ThemeSetting />\n"
                   "    <FontSetting>\n"
                   "        <FontName />\n"
                   "        <FontSize>0</FontSize>\n"
                   "    </FontSetting>\n"
                   "</TAVTheme>\n");

    CTAVThemeData full;
    full.SetImagePath("/etc/TAV/theme/Blue/Others/bg & <1>.png");
    full.SetFontName("DejaVu Sans");
    full.SetFontSize(11);
    full.GetPThemeList()->push_back(Theme("Blue", 1, "/etc/TAV/theme/Blue"));
    full.GetPThemeList()->push_back(nullptr); // skipped
    full.GetPThemeList()->push_back(Theme("Plain", 0, ""));
    full.GetPThemeList()->push_back(Theme("Dark & Co", -1, "/etc/TAV/theme/Dark"));
    const std::string file = tavtest::TempRoot() + "/" + THEME_XML;
    ASSERT_EQ(full.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), kFull);

    // Order, names, flags and paths survive a reload.
    CTAVThemeData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Themes(loaded),
              "Blue|1|/etc/TAV/theme/Blue Plain|0| Dark & Co|-1|/etc/TAV/theme/Dark ");
    EXPECT_EQ(loaded.GetImagePath(), "/etc/TAV/theme/Blue/Others/bg & <1>.png");
    EXPECT_EQ(loaded.GetFontName(), "DejaVu Sans");
    EXPECT_EQ(loaded.GetFontSize(), 11);
    ASSERT_EQ(loaded.Save2String(out), 0);
    EXPECT_EQ(out, kFull);
}

TEST(Theme, ThemesAndFontRules)
{
    CTAVThemeData d;
    EXPECT_EQ(d.LoadFromString(Doc("<ThemeSetting>"
                                   "<Theme Name=\"A\" IsCurrentTheme=\"1\">/a</Theme>"
                                   "<Theme IsCurrentTheme=\"0\">/no-name</Theme>"
                                   "<Theme Name=\"NoFlag\">/no-flag</Theme>"
                                   "<Theme Name=\"B\" IsCurrentTheme=\"yes\"/>"
                                   "</ThemeSetting>",
                                   "<FontSetting><FontName>Mono</FontName>"
                                   "<FontSize>large</FontSize></FontSetting>")),
              0);
    EXPECT_EQ(Themes(d), "A|1|/a B|-1| ");
    EXPECT_EQ(d.GetImagePath(), "bg.png");
    EXPECT_EQ(d.GetFontName(), "Mono");
    EXPECT_EQ(d.GetFontSize(), 12);

    // Elements without text leave their fields alone.
    EXPECT_EQ(d.LoadFromString("<TAVTheme><BackgroundImage/><ThemeSetting><Theme Name=\"C\" "
                               "IsCurrentTheme=\"0\"/></ThemeSetting><FontSetting><FontName/>"
                               "<FontSize/></FontSetting></TAVTheme>"),
              0);
    EXPECT_EQ(Themes(d), "C|0| ");
    EXPECT_EQ(d.GetImagePath(), "bg.png");
    EXPECT_EQ(d.GetFontName(), "Mono");
    EXPECT_EQ(d.GetFontSize(), 12);
}

TEST(Theme, FailedAndPartialLoads)
{
    CTAVThemeData d;
    d.GetPThemeList()->push_back(Theme("Kept", 1, "/kept"));
    d.SetFontName("Kept");
    // No theme at all: -1, the held themes stay, the font is not read.
    EXPECT_EQ(d.LoadFromString(Doc("<ThemeSetting/>", "<FontSetting><FontName>X</FontName>"
                                                      "<FontSize>9</FontSize></FontSetting>")),
              -1);
    EXPECT_EQ(Themes(d), "Kept|1|/kept ");
    EXPECT_EQ(d.GetImagePath(), "bg.png");
    EXPECT_EQ(d.GetFontName(), "Kept");
    EXPECT_EQ(d.LoadFromString(Doc("", "")), -1);
    EXPECT_EQ(Themes(d), "Kept|1|/kept ");

    // The themes are replaced before the font is found missing.
    const std::string themes =
        "<ThemeSetting><Theme Name=\"N\" IsCurrentTheme=\"0\"/></ThemeSetting>";
    EXPECT_EQ(d.LoadFromString(Doc(themes, "")), -1);
    EXPECT_EQ(Themes(d), "N|0| ");
    // "FontSize" is looked for after "FontName" only.
    EXPECT_EQ(d.LoadFromString(Doc(themes, "<FontSetting><FontSize>9</FontSize>"
                                           "<FontName>Y</FontName></FontSetting>")),
              -1);
    EXPECT_EQ(d.GetFontName(), "Y");
    EXPECT_EQ(d.GetFontSize(), 0);

    EXPECT_EQ(d.LoadFromString("<TAVTheme><ThemeSetting/></TAVTheme>"), -1);
    EXPECT_EQ(d.LoadFromString("<Theme/>"), -1);
    EXPECT_EQ(d.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Themes(d), "N|0| ");
}

TEST(Theme, ListOwnership)
{
    CTAVThemeData d;
    std::list<CTheme*>* held = d.GetPThemeList();
    held->push_back(Theme("A", 0, ""));
    d.SetPThemeList(held);
    EXPECT_EQ(d.GetPThemeList(), held);
    EXPECT_EQ(Themes(d), "A|0| ");

    d.SetPThemeList(new std::list<CTheme*>{Theme("B", 1, "/b"), nullptr});
    d.SetPThemeList(nullptr);
    EXPECT_EQ(d.GetPThemeList(), nullptr);
    std::string out;
    ASSERT_EQ(d.Save2String(out), 0);
    EXPECT_NE(out.find("<ThemeSetting />"), std::string::npos);
    // Loading themes makes a new list.
    EXPECT_EQ(d.LoadFromString(Doc("<ThemeSetting><Theme Name=\"C\" IsCurrentTheme=\"1\"/>"
                                   "</ThemeSetting>",
                                   "<FontSetting><FontName/><FontSize/></FontSetting>")),
              0);
    ASSERT_NE(d.GetPThemeList(), nullptr);
    EXPECT_EQ(Themes(d), "C|1| ");

    d.GetPThemeList()->push_back(nullptr);
    // The destructor releases the themes, null entries included.
}
