#include "TAVThemeData.h"

#include "DataXml.h"

namespace LibTAVData {

CTAVThemeData::CTAVThemeData()
    : m_pFont(new CFont), m_pBackgroundImage(new CBackgroundImage),
      m_pThemeList(new std::list<CTheme*>)
{}

CTAVThemeData::~CTAVThemeData()
{
    delete m_pFont;
    delete m_pBackgroundImage;
    SetPThemeList(nullptr);
}

std::string CTAVThemeData::GetImagePath() { return m_pBackgroundImage->GetImagePath(); }
void CTAVThemeData::SetImagePath(std::string path) { m_pBackgroundImage->SetImagePath(path); }
std::string CTAVThemeData::GetFontName() { return m_pFont->GetFontName(); }
void CTAVThemeData::SetFontName(std::string name) { m_pFont->SetFontName(name); }
int CTAVThemeData::GetFontSize() { return m_pFont->GetFontSize(); }
void CTAVThemeData::SetFontSize(int size) { m_pFont->SetFontSize(size); }

std::list<CTheme*>* CTAVThemeData::GetPThemeList() const { return m_pThemeList; }

void CTAVThemeData::SetPThemeList(std::list<CTheme*>* list)
{
    if (list == m_pThemeList)
        return;
    if (m_pThemeList) {
        for (CTheme* t : *m_pThemeList)
            delete t;
        delete m_pThemeList;
    }
    m_pThemeList = list;
}

int CTAVThemeData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "TAVTheme");
    AddTextElement(root, "BackgroundImage", m_pBackgroundImage->GetImagePath());
    TiXmlElement* setting = AddElement(root, "ThemeSetting");
    if (m_pThemeList) {
        for (const CTheme* t : *m_pThemeList) {
            if (!t)
                continue;
            TiXmlElement* e = AddTextElement(setting, "Theme", t->GetThemePath());
            e->SetAttribute("Name", t->GetThemeName());
            e->SetAttribute("IsCurrentTheme", t->GetIsCurrentTheme());
        }
    }
    TiXmlElement* font = AddElement(root, "FontSetting");
    AddTextElement(font, "FontName", m_pFont->GetFontName());
    AddTextElement(font, "FontSize", m_pFont->GetFontSize());
    return 0;
}

int CTAVThemeData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    TiXmlElement* root = FirstChild(m_pDocument, "TAVTheme");
    if (!root)
        return -1;
    TiXmlElement* background = FirstChild(root, "BackgroundImage");
    if (!background)
        return -1;
    if (const char* text = background->GetText())
        m_pBackgroundImage->SetImagePath(text);

    TiXmlElement* theme = FirstChild(FirstChild(root, "ThemeSetting"), "Theme");
    if (!theme)
        return -1;
    SetPThemeList(new std::list<CTheme*>);
    for (; theme; theme = theme->NextSiblingElement("Theme")) {
        const std::string* name = theme->Attribute(std::string("Name"));
        const std::string* current = theme->Attribute(std::string("IsCurrentTheme"));
        if (!name || !current)
            continue;
        CTheme* t = new CTheme;
        t->SetThemeName(*name);
        std::string text = *current;
        int flag = 0;
        t->SetIsCurrentTheme(ConvertString2Int(text, flag) ? flag : -1);
        if (const char* path = theme->GetText())
            t->SetThemePath(path);
        m_pThemeList->push_back(t);
    }

    TiXmlElement* fontName = FirstChild(FirstChild(root, "FontSetting"), "FontName");
    if (!fontName)
        return -1;
    if (const char* text = fontName->GetText())
        m_pFont->SetFontName(text);
    TiXmlElement* fontSize = NextSibling(fontName, "FontSize");
    if (!fontSize)
        return -1;
    if (const char* text = fontSize->GetText()) {
        std::string s = text;
        int size = 0;
        m_pFont->SetFontSize(ConvertString2Int(s, size) ? size : 12);
    }
    return 0;
}

} // namespace LibTAVData
