#include "FavoriteData.h"

#include "ProgramXml.h"
#include "TAVLog.h"

namespace LibTAVData {

CFavoriteData::CFavoriteData() : m_pApplicationInfoList(new std::list<CApplicationInfo*>) {}

CFavoriteData::~CFavoriteData() { SetPApplicationInfoList(nullptr); }

std::list<CApplicationInfo*>* CFavoriteData::GetPApplicationInfoList() const
{
    return m_pApplicationInfoList;
}

void CFavoriteData::SetPApplicationInfoList(std::list<CApplicationInfo*>* list)
{
    if (list == m_pApplicationInfoList)
        return;
    std::list<CApplicationInfo*>* old = m_pApplicationInfoList;
    m_pApplicationInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

int CFavoriteData::Member2DOM()
{
    if (!m_pDocument)
        return -1;
    m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement* root = new TiXmlElement("Favorite");
    m_pDocument->LinkEndChild(root);
    TiXmlElement* apps = new TiXmlElement("Applications");
    root->LinkEndChild(apps);
    detail::ProgramXml::AppendApplications(apps, m_pApplicationInfoList,
                                           detail::ProgramXml::Enabled::Absent);
    return 0;
}

int CFavoriteData::DOM2Member()
{
    if (!m_pDocument)
        return -1;
    const TiXmlElement* root = m_pDocument->FirstChildElement("Favorite");
    if (!root) {
        CTAVLog::WriteLine("CFavoriteData::DOM2Member() --no Favorite element", CTAVLog::LOG_ERROR,
                           "", false);
        return -1;
    }
    auto* apps = new std::list<CApplicationInfo*>;
    SetPApplicationInfoList(apps);
    const TiXmlElement* section = root->FirstChildElement("Applications");
    const TiXmlElement* first = section ? section->FirstChildElement("Application") : nullptr;
    if (!first) {
        CTAVLog::WriteLine("CFavoriteData::DOM2Member() --no Application element",
                           CTAVLog::LOG_ERROR, "", false);
        return -1;
    }
    detail::ProgramXml::ReadApplications(first, detail::ProgramXml::Enabled::Absent, *apps);
    return 0;
}

} // namespace LibTAVData
