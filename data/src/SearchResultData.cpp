#include "SearchResultData.h"

#include "ProgramXml.h"
#include "TAVLog.h"

#include <iterator>

namespace LibTAVData {

CSearchResultData::CSearchResultData() : m_pApplicationInfoList(new std::list<CApplicationInfo*>) {}

CSearchResultData::~CSearchResultData()
{
    SetPApplicationInfoList(nullptr);
    m_setApplicationNames.clear();
}

std::list<CApplicationInfo*>* CSearchResultData::GetPApplicationInfoList() const
{
    return m_pApplicationInfoList;
}

void CSearchResultData::SetPApplicationInfoList(std::list<CApplicationInfo*>* list)
{
    if (list == m_pApplicationInfoList)
        return;
    std::list<CApplicationInfo*>* old = m_pApplicationInfoList;
    m_pApplicationInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

int CSearchResultData::Clear()
{
    if (!m_pApplicationInfoList)
        return 0;
    auto* emptied = new std::list<CApplicationInfo*>;
    emptied->swap(*m_pApplicationInfoList);
    detail::ProgramXml::ReleaseList<CApplicationInfo>(emptied, nullptr);
    return 0;
}

int CSearchResultData::CheckApplicationDuplicate(const std::string& name)
{
    if (name.empty())
        return -1;
    return m_setApplicationNames.insert(name).second ? 0 : 1;
}

int CSearchResultData::AddApplications(const std::string& programsXML)
{
    if (programsXML.empty())
        return -2;
    CSearchResultData answer;
    if (answer.LoadFromString(programsXML) < 0 || !answer.m_pApplicationInfoList ||
        answer.m_pApplicationInfoList->empty()) {
        CTAVLog::WriteLine("CSearchResultData::AddApplications() --no programs in the document",
                           CTAVLog::LOG_WARNING, "", false);
        return 0;
    }
    if (!m_pApplicationInfoList)
        m_pApplicationInfoList = new std::list<CApplicationInfo*>;
    // The answer's programs are moved over rather than copied; what is
    // skipped dies with the answer.
    std::list<CApplicationInfo*>& from = *answer.m_pApplicationInfoList;
    for (auto it = from.begin(); it != from.end();) {
        const auto next = std::next(it);
        const CApplicationInfo* app = *it;
        if (app && !app->GetName().empty() && !app->GetPath().empty() &&
            CheckApplicationDuplicate(app->GetName()) == 0)
            m_pApplicationInfoList->splice(m_pApplicationInfoList->end(), from, it);
        it = next;
    }
    return 0;
}

int CSearchResultData::Member2DOM()
{
    if (!m_pDocument)
        return -1;
    m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement* root = new TiXmlElement("SearchResult");
    m_pDocument->LinkEndChild(root);
    TiXmlElement* apps = new TiXmlElement("Applications");
    root->LinkEndChild(apps);
    detail::ProgramXml::AppendApplications(apps, m_pApplicationInfoList,
                                           detail::ProgramXml::Enabled::Absent);
    return 0;
}

int CSearchResultData::DOM2Member()
{
    if (!m_pDocument)
        return -1;
    const TiXmlElement* root = m_pDocument->FirstChildElement("SearchResult");
    const TiXmlElement* section = root ? root->FirstChildElement("Applications") : nullptr;
    const TiXmlElement* first = section ? section->FirstChildElement("Application") : nullptr;
    if (!first) {
        // The names stay with the programs that stay: forgetting them here
        // would let AddApplications append a second program of a name the
        // list already holds.
        CTAVLog::WriteLine(root ? "CSearchResultData::DOM2Member() --no Application element"
                                : "CSearchResultData::DOM2Member() --no SearchResult element",
                           CTAVLog::LOG_ERROR, "", false);
        return -1;
    }
    m_setApplicationNames.clear();
    auto* apps = new std::list<CApplicationInfo*>;
    SetPApplicationInfoList(apps);
    detail::ProgramXml::ReadApplications(first, detail::ProgramXml::Enabled::Absent, *apps);
    for (const CApplicationInfo* app : *apps)
        CheckApplicationDuplicate(app->GetName());
    return 0;
}

} // namespace LibTAVData
