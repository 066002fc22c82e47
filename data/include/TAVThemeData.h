// The look of the shell, stored as /etc/TAV/TAVTheme.xml: the background
// image, the available themes with the chosen one (is-current 1; not
// enforced to be unique) and the font.
#ifndef TAV_DATA_TAVTHEMEDATA_H
#define TAV_DATA_TAVTHEMEDATA_H

#include "TAVDataProvider.h"

#include <list>
#include <string>

namespace LibTAVData {

class CTheme {
public:
    CTheme() = default;
    virtual ~CTheme() = default;

    int GetIsCurrentTheme() const { return m_iIsCurrentTheme; }
    void SetIsCurrentTheme(int isCurrent) { m_iIsCurrentTheme = isCurrent; }
    std::string GetThemeName() const { return m_strThemeName; }
    void SetThemeName(std::string name) { m_strThemeName = std::move(name); }
    std::string GetThemePath() const { return m_strThemePath; }
    void SetThemePath(std::string path) { m_strThemePath = std::move(path); }

private:
    int m_iIsCurrentTheme = 0;
    std::string m_strThemeName;
    std::string m_strThemePath;
};

class CFont {
public:
    CFont() = default;
    virtual ~CFont() = default;

    std::string GetFontName() const { return m_strFontName; }
    void SetFontName(std::string name) { m_strFontName = std::move(name); }
    int GetFontSize() const { return m_iFontSize; }
    void SetFontSize(int size) { m_iFontSize = size; }

private:
    std::string m_strFontName;
    int m_iFontSize = 0;
};

class CBackgroundImage {
public:
    CBackgroundImage() = default;
    virtual ~CBackgroundImage() = default;

    std::string GetImagePath() const { return m_strImagePath; }
    void SetImagePath(std::string path) { m_strImagePath = std::move(path); }

private:
    std::string m_strImagePath;
};

class CTAVThemeData : public CTAVDataProvider {
public:
    CTAVThemeData();
    // Releases the font, the background image and the themes.
    ~CTAVThemeData() override;

    // -1 when the root, "BackgroundImage", the themes or the font settings
    // are missing; what was read before stays. A document without any theme
    // keeps the themes held. Themes without a name or current-theme flag are
    // dropped; a flag that is not a number reads as -1, a font size that is
    // not a number as 12.
    int DOM2Member() override;
    int Member2DOM() override;

    std::string GetImagePath();
    void SetImagePath(std::string path);
    std::string GetFontName();
    void SetFontName(std::string name);
    int GetFontSize();
    void SetFontSize(int size);

    // The held list itself (null only after SetPThemeList(nullptr)).
    std::list<CTheme*>* GetPThemeList() const;
    // Takes ownership of list and its themes (null allowed); the themes held
    // before are deleted. Passing the held list changes nothing.
    void SetPThemeList(std::list<CTheme*>* list);

private:
    CFont* m_pFont;
    CBackgroundImage* m_pBackgroundImage;
    std::list<CTheme*>* m_pThemeList;
};

} // namespace LibTAVData

#endif
