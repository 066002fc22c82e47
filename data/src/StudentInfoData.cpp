#include "StudentInfoData.h"

#include "DataXml.h"

namespace LibTAVData {

CStudentInfoData::CStudentInfoData() {}
CStudentInfoData::~CStudentInfoData() {}

std::string CStudentInfoData::GetStudentID() const { return m_strStudentID; }
std::string CStudentInfoData::GetStudentName() const { return m_strStudentName; }
void CStudentInfoData::SetStudentID(std::string id) { m_strStudentID = std::move(id); }
void CStudentInfoData::SetStudentName(std::string name) { m_strStudentName = std::move(name); }

int CStudentInfoData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "StudentInfo");
    AddTextElement(root, "StudentID", m_strStudentID, true);
    AddTextElement(root, "StudentName", m_strStudentName, true);
    return 0;
}

int CStudentInfoData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    TiXmlElement* id = FirstChild(FirstChild(m_pDocument, "StudentInfo"), "StudentID");
    if (!id)
        return -1;
    if (const char* text = id->GetText())
        m_strStudentID = text;
    TiXmlElement* name = NextSibling(id, "StudentName");
    if (!name)
        return -1;
    if (const char* text = name->GetText())
        m_strStudentName = text;
    return 0;
}

} // namespace LibTAVData
