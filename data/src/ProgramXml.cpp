#include "ProgramXml.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace LibTAVData {
namespace detail {
namespace ProgramXml {

namespace {

// A decimal int the way "%d" reads one (leading white space, optional sign,
// digits up to the first other character); -1 when there is none or it does
// not fit an int.
int ReadEnabledValue(const char* text)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return -1;
    return static_cast<int>(value);
}

void SetFromText(const TiXmlElement* element, void (CApplicationInfo::*set)(std::string),
                 CApplicationInfo& app)
{
    if (const char* text = element->GetText())
        (app.*set)(text);
}

} // namespace

void AppendTextElement(TiXmlElement* parent, const char* tag, const std::string& text)
{
    TiXmlElement* element = new TiXmlElement(tag);
    element->LinkEndChild(new TiXmlText(text));
    parent->LinkEndChild(element);
}

TiXmlElement* NewApplicationElement(const CApplicationInfo& app, Enabled enabled)
{
    TiXmlElement* element = new TiXmlElement("Application");
    if (enabled == Enabled::Written)
        element->SetAttribute("enabled", app.GetEnable());
    AppendTextElement(element, "Name", app.GetName());
    AppendTextElement(element, "Path", app.GetPath());
    AppendTextElement(element, "CustomIcon", app.GetCustomIcon());
    return element;
}

void AppendApplications(TiXmlElement* parent, const std::list<CApplicationInfo*>* apps,
                        Enabled enabled)
{
    if (!apps)
        return;
    for (const CApplicationInfo* app : *apps) {
        if (app)
            parent->LinkEndChild(NewApplicationElement(*app, enabled));
    }
}

void AppendCategories(TiXmlElement* parent, const std::list<CCategory*>* categories)
{
    if (!categories)
        return;
    for (const CCategory* category : *categories) {
        if (!category)
            continue;
        TiXmlElement* element = new TiXmlElement("Category");
        element->SetAttribute("name", category->GetName());
        element->SetAttribute("icon", category->GetCategoryIcon());
        AppendApplications(element, category->GetPApplicationInfoList(), Enabled::Written);
        parent->LinkEndChild(element);
    }
}

void ReadApplications(const TiXmlElement* first, Enabled enabled, std::list<CApplicationInfo*>& out)
{
    for (const TiXmlElement* element = first; element;
         element = element->NextSiblingElement("Application")) {
        int enable = 0;
        if (enabled == Enabled::Written) {
            const char* value = element->Attribute("enabled");
            if (!value)
                continue;
            enable = ReadEnabledValue(value);
        }
        const TiXmlElement* name = element->FirstChildElement("Name");
        const TiXmlElement* path = name ? name->NextSiblingElement("Path") : nullptr;
        const TiXmlElement* icon = path ? path->NextSiblingElement("CustomIcon") : nullptr;
        if (!icon)
            continue;
        auto app = std::make_unique<CApplicationInfo>();
        app->SetEnable(enable);
        SetFromText(name, &CApplicationInfo::SetName, *app);
        SetFromText(path, &CApplicationInfo::SetPath, *app);
        SetFromText(icon, &CApplicationInfo::SetCustomIcon, *app);
        out.push_back(app.get());
        app.release();
    }
}

void ReadCategories(const TiXmlElement* first, std::list<CCategory*>& out)
{
    for (const TiXmlElement* element = first; element;
         element = element->NextSiblingElement("Category")) {
        const char* name = element->Attribute("name");
        if (!name)
            continue;
        auto category = std::make_unique<CCategory>();
        category->SetName(name);
        if (const char* icon = element->Attribute("icon"))
            category->SetCategoryIcon(icon);
        ReadApplications(element->FirstChildElement("Application"), Enabled::Written,
                         *category->GetPApplicationInfoList());
        out.push_back(category.get());
        category.release();
    }
}

} // namespace ProgramXml
} // namespace detail
} // namespace LibTAVData
