#include "TeacherInfoData.h"

#include "DataXml.h"

namespace LibTAVData {

CTeacherInfoData::CTeacherInfoData() {}
CTeacherInfoData::~CTeacherInfoData() {}

std::string CTeacherInfoData::GetTeacherName() const { return m_strTeacherName; }
std::string CTeacherInfoData::GetCourse() const { return m_strCourse; }
void CTeacherInfoData::SetTeacherName(std::string name) { m_strTeacherName = std::move(name); }
void CTeacherInfoData::SetCourse(std::string course) { m_strCourse = std::move(course); }

int CTeacherInfoData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "TeacherInfo");
    AddTextElement(root, "TeacherName", m_strTeacherName, true);
    AddTextElement(root, "Course", m_strCourse, true);
    return 0;
}

int CTeacherInfoData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    TiXmlElement* name = FirstChild(FirstChild(m_pDocument, "TeacherInfo"), "TeacherName");
    if (!name)
        return -1;
    if (const char* text = name->GetText())
        m_strTeacherName = text;
    TiXmlElement* course = NextSibling(name, "Course");
    if (!course)
        return -1;
    if (const char* text = course->GetText())
        m_strCourse = text;
    return 0;
}

} // namespace LibTAVData
