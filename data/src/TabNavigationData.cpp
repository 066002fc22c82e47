#include "TabNavigationData.h"

#include "ProgramXml.h"
#include "TAVLog.h"

#include <algorithm>
#include <utility>

namespace LibTAVData {

// ---------------------------------------------------------------- program

CApplicationInfo::CApplicationInfo() : m_iEnable(0) {}
CApplicationInfo::CApplicationInfo(const CApplicationInfo& other) = default;
CApplicationInfo::CApplicationInfo(CApplicationInfo&& other) noexcept = default;
CApplicationInfo& CApplicationInfo::operator=(const CApplicationInfo& other) = default;
CApplicationInfo& CApplicationInfo::operator=(CApplicationInfo&& other) noexcept = default;
CApplicationInfo::~CApplicationInfo() = default;

int CApplicationInfo::GetEnable() const { return m_iEnable; }
void CApplicationInfo::SetEnable(int enable) { m_iEnable = enable; }
std::string CApplicationInfo::GetName() const { return m_strName; }
void CApplicationInfo::SetName(std::string name) { m_strName = std::move(name); }
std::string CApplicationInfo::GetPath() const { return m_strPath; }
void CApplicationInfo::SetPath(std::string path) { m_strPath = std::move(path); }
std::string CApplicationInfo::GetCustomIcon() const { return m_strCustomIcon; }
void CApplicationInfo::SetCustomIcon(std::string icon) { m_strCustomIcon = std::move(icon); }

int CApplicationInfo::IsEqual(const CApplicationInfo& other)
{
    return m_iEnable == other.m_iEnable && m_strName == other.m_strName &&
                   m_strPath == other.m_strPath && m_strCustomIcon == other.m_strCustomIcon
               ? 1
               : 0;
}

// --------------------------------------------------------------- category

CCategory::CCategory() : m_pApplicationInfoList(new std::list<CApplicationInfo*>) {}

CCategory::~CCategory() { SetPApplicationInfoList(nullptr); }

std::string CCategory::GetName() const { return m_strName; }
void CCategory::SetName(std::string name) { m_strName = std::move(name); }
std::string CCategory::GetCategoryIcon() const { return m_strCategoryIcon; }
void CCategory::SetCategoryIcon(std::string icon) { m_strCategoryIcon = std::move(icon); }

std::list<CApplicationInfo*>* CCategory::GetPApplicationInfoList() const
{
    return m_pApplicationInfoList;
}

void CCategory::SetPApplicationInfoList(std::list<CApplicationInfo*>* list)
{
    if (list == m_pApplicationInfoList)
        return;
    std::list<CApplicationInfo*>* old = m_pApplicationInfoList;
    m_pApplicationInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

int CCategory::IsEqual(const CCategory& other)
{
    if (m_strName != other.m_strName || m_strCategoryIcon != other.m_strCategoryIcon)
        return 0;
    const std::list<CApplicationInfo*>* mine = m_pApplicationInfoList;
    const std::list<CApplicationInfo*>* theirs = other.m_pApplicationInfoList;
    if (!mine || !theirs || mine->size() != theirs->size())
        return 0;
    // Null entries never come from this library; should a caller insert
    // one, it only equals another null entry.
    return std::equal(mine->begin(), mine->end(), theirs->begin(),
                      [](CApplicationInfo* a, CApplicationInfo* b) {
                          return a && b ? a->IsEqual(*b) == 1 : a == b;
                      })
               ? 1
               : 0;
}

int CCategory::IsApplicationExist(std::string name, std::string path)
{
    if (name.empty() || path.empty() || !m_pApplicationInfoList)
        return -1;
    for (const CApplicationInfo* app : *m_pApplicationInfoList) {
        if (app && (app->GetName() == name || app->GetPath() == path))
            return 1;
    }
    return 0;
}

// ------------------------------------------------------------------ model

CTabNavigationData::CTabNavigationData() : m_pCategoryInfoList(new std::list<CCategory*>) {}

CTabNavigationData::~CTabNavigationData() { SetPCategoryInfoList(nullptr); }

std::list<CCategory*>* CTabNavigationData::GetPCategoryInfoList() const
{
    return m_pCategoryInfoList;
}

void CTabNavigationData::SetPCategoryInfoList(std::list<CCategory*>* list)
{
    if (list == m_pCategoryInfoList)
        return;
    std::list<CCategory*>* old = m_pCategoryInfoList;
    m_pCategoryInfoList = list;
    detail::ProgramXml::ReleaseList(old, list);
}

int CTabNavigationData::RemoveProgram(CCategory* category, CApplicationInfo* app)
{
    if (!category || !app)
        return -2;
    if (!m_pCategoryInfoList || m_pCategoryInfoList->empty())
        return -1;
    if (std::find(m_pCategoryInfoList->begin(), m_pCategoryInfoList->end(), category) ==
        m_pCategoryInfoList->end())
        return -1;
    std::list<CApplicationInfo*>* apps = category->GetPApplicationInfoList();
    if (!apps || std::find(apps->begin(), apps->end(), app) == apps->end())
        return -1;
    // Every node of the pointer goes, so none is left dangling.
    apps->remove(app);
    delete app;
    return 1;
}

int CTabNavigationData::RemoveCategory(CCategory* category)
{
    if (!category)
        return -2;
    if (!m_pCategoryInfoList || std::find(m_pCategoryInfoList->begin(), m_pCategoryInfoList->end(),
                                          category) == m_pCategoryInfoList->end())
        return -1;
    m_pCategoryInfoList->remove(category);
    delete category;
    return 1;
}

int CTabNavigationData::IsEqual(const CTabNavigationData& other)
{
    const std::list<CCategory*>* mine = m_pCategoryInfoList;
    const std::list<CCategory*>* theirs = other.m_pCategoryInfoList;
    if (!mine || !theirs || mine->size() != theirs->size())
        return 0;
    return std::equal(
               mine->begin(), mine->end(), theirs->begin(),
               [](CCategory* a, CCategory* b) { return a && b ? a->IsEqual(*b) == 1 : a == b; })
               ? 1
               : 0;
}

int CTabNavigationData::IsCategoryExist(std::string name)
{
    if (name.empty() || !m_pCategoryInfoList)
        return -1;
    for (const CCategory* category : *m_pCategoryInfoList) {
        if (category && category->GetName() == name)
            return 1;
    }
    return 0;
}

int CTabNavigationData::Member2DOM()
{
    if (!m_pDocument)
        return -1;
    m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement* root = new TiXmlElement("TabNavigation");
    m_pDocument->LinkEndChild(root);
    TiXmlElement* config = new TiXmlElement("CategoryConfig");
    root->LinkEndChild(config);
    detail::ProgramXml::AppendCategories(config, m_pCategoryInfoList);
    return 0;
}

int CTabNavigationData::DOM2Member()
{
    if (!m_pDocument)
        return -1;
    const TiXmlElement* root = m_pDocument->FirstChildElement("TabNavigation");
    if (!root) {
        CTAVLog::WriteLine("CTabNavigationData::DOM2Member() --no TabNavigation element",
                           CTAVLog::LOG_ERROR, "", false);
        return -1;
    }
    auto* categories = new std::list<CCategory*>;
    SetPCategoryInfoList(categories);
    if (const TiXmlElement* config = root->FirstChildElement("CategoryConfig"))
        detail::ProgramXml::ReadCategories(config->FirstChildElement("Category"), *categories);
    return 0;
}

} // namespace LibTAVData
