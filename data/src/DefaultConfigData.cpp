#include "DefaultConfigData.h"

#include "ProgramXml.h"
#include "TAVLog.h"

#include <memory>

namespace LibTAVData {

CDefaultConfigData::CDefaultConfigData()
    : m_pApplicationInfoList(new std::list<CApplicationInfo*>),
      m_pCategoryInfoList(new std::list<CCategory*>)
{}

CDefaultConfigData::~CDefaultConfigData()
{
    SetPApplicationInfoList(nullptr);
    SetPCategoryInfoList(nullptr);
}

std::list<CCategory*>* CDefaultConfigData::GetPCategoryInfoList() const
{
    return m_pCategoryInfoList;
}

std::list<CApplicationInfo*>* CDefaultConfigData::GetPApplicationInfoList() const
{
    return m_pApplicationInfoList;
}

void CDefaultConfigData::SetPCategoryInfoList(std::list<CCategory*>* list)
{
    if (list == m_pCategoryInfoList)
        return;
    std::list<CCategory*>* old = m_pCategoryInfoList;
    m_pCategoryInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

void CDefaultConfigData::SetPApplicationInfoList(std::list<CApplicationInfo*>* list)
{
    if (list == m_pApplicationInfoList)
        return;
    std::list<CApplicationInfo*>* old = m_pApplicationInfoList;
    m_pApplicationInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

std::list<CCategory*>* CDefaultConfigData::CloneCategoryInfoList()
{
    if (!m_pCategoryInfoList || m_pCategoryInfoList->empty())
        return nullptr;
    detail::ProgramXml::PendingList<CCategory> clone;
    for (const CCategory* source : *m_pCategoryInfoList) {
        if (!source || !source->GetPApplicationInfoList())
            continue;
        auto category = std::make_unique<CCategory>();
        category->SetName(source->GetName());
        category->SetCategoryIcon(source->GetCategoryIcon());
        std::list<CApplicationInfo*>* apps = category->GetPApplicationInfoList();
        for (const CApplicationInfo* program : *source->GetPApplicationInfoList()) {
            if (!program)
                continue;
            auto copy = std::make_unique<CApplicationInfo>();
            copy->SetName(program->GetName());
            copy->SetPath(program->GetPath());
            copy->SetCustomIcon(program->GetCustomIcon());
            copy->SetEnable(1);
            apps->push_back(copy.get());
            copy.release();
        }
        clone->push_back(category.get());
        category.release();
    }
    return clone.Release();
}

int CDefaultConfigData::Member2DOM()
{
    if (!m_pDocument)
        return -1;
    m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement* root = new TiXmlElement("DefaultConfig");
    m_pDocument->LinkEndChild(root);
    TiXmlElement* config = new TiXmlElement("CategoryConfig");
    root->LinkEndChild(config);
    detail::ProgramXml::AppendCategories(config, m_pCategoryInfoList);
    TiXmlElement* apps = new TiXmlElement("Applications");
    root->LinkEndChild(apps);
    detail::ProgramXml::AppendApplications(apps, m_pApplicationInfoList,
                                           detail::ProgramXml::Enabled::Written);
    return 0;
}

int CDefaultConfigData::DOM2Member()
{
    if (!m_pDocument)
        return -1;
    const TiXmlElement* root = m_pDocument->FirstChildElement("DefaultConfig");
    const TiXmlElement* config = root ? root->FirstChildElement("CategoryConfig") : nullptr;
    const TiXmlElement* firstCategory = config ? config->FirstChildElement("Category") : nullptr;
    if (!firstCategory) {
        CTAVLog::WriteLine(root ? "CDefaultConfigData::DOM2Member() --no Category element"
                                : "CDefaultConfigData::DOM2Member() --no DefaultConfig element",
                           CTAVLog::LOG_ERROR, "", false);
        return -1;
    }
    auto* apps = new std::list<CApplicationInfo*>;
    SetPApplicationInfoList(apps);
    auto* categories = new std::list<CCategory*>;
    SetPCategoryInfoList(categories);
    detail::ProgramXml::ReadCategories(firstCategory, *categories);

    const TiXmlElement* section = root->FirstChildElement("Applications");
    const TiXmlElement* firstApp = section ? section->FirstChildElement("Application") : nullptr;
    if (!firstApp) {
        CTAVLog::WriteLine(
            "CDefaultConfigData::DOM2Member() --no Application element in Applications",
            CTAVLog::LOG_ERROR, "", false);
        return -1;
    }
    detail::ProgramXml::ReadApplications(firstApp, detail::ProgramXml::Enabled::Written, *apps);
    return 0;
}

} // namespace LibTAVData
