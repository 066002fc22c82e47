#include "ClassGroupData.h"

#include "DataXml.h"

namespace LibTAVData {

namespace {

// Replaces *held by list, destroying the old list and its elements.
template <class T>
void ReplaceList(std::list<T*>*& held, std::list<T*>* list)
{
    if (list == held)
        return;
    if (held) {
        for (T* element : *held)
            delete element;
        delete held;
    }
    held = list;
}

void AddStudent(TiXmlElement* parent, const CStudentInfoData& s)
{
    TiXmlElement* e = detail::DataXml::AddElement(parent, "Student");
    e->SetAttribute("id", s.GetStudentID());
    e->SetAttribute("name", s.GetStudentName());
}

// A student from a "Student" element; null when "id" or "name" is missing.
CStudentInfoData* ReadStudent(const TiXmlElement* e)
{
    const std::string* id = e->Attribute(std::string("id"));
    const std::string* name = e->Attribute(std::string("name"));
    if (!id || !name)
        return nullptr;
    CStudentInfoData* s = new CStudentInfoData;
    s->SetStudentID(*id);
    s->SetStudentName(*name);
    return s;
}

} // namespace

CClassDef::CClassDef() : m_pStudentsInfoList(new std::list<CStudentInfoData*>) {}

CClassDef::~CClassDef() { SetPStudentsInfoList(nullptr); }

std::string CClassDef::GetName() const { return m_strName; }
void CClassDef::SetName(std::string name) { m_strName = std::move(name); }

std::list<CStudentInfoData*>* CClassDef::GetPStudentsInfoList() const
{
    return m_pStudentsInfoList;
}

void CClassDef::SetPStudentsInfoList(std::list<CStudentInfoData*>* list)
{
    ReplaceList(m_pStudentsInfoList, list);
}

CClassDef* CClassDef::Clone()
{
    CClassDef* copy = new CClassDef;
    copy->m_strName = m_strName;
    if (m_pStudentsInfoList) {
        for (const CStudentInfoData* s : *m_pStudentsInfoList) {
            // A null student has nothing to copy.
            if (!s)
                continue;
            CStudentInfoData* c = new CStudentInfoData;
            c->SetStudentID(s->GetStudentID());
            c->SetStudentName(s->GetStudentName());
            copy->m_pStudentsInfoList->push_back(c);
        }
    }
    return copy;
}

CClassGroupData::CClassGroupData()
    : m_pClassInfoList(new std::list<CClassDef*>),
      m_pStudentsInfoList(new std::list<CStudentInfoData*>)
{}

CClassGroupData::~CClassGroupData()
{
    SetPClassInfoList(nullptr);
    SetPStudentsInfoList(nullptr);
}

std::list<CClassDef*>* CClassGroupData::GetPClassInfoList() const { return m_pClassInfoList; }

std::list<CStudentInfoData*>* CClassGroupData::GetPStudentsInfoList() const
{
    return m_pStudentsInfoList;
}

void CClassGroupData::SetPClassInfoList(std::list<CClassDef*>* list)
{
    ReplaceList(m_pClassInfoList, list);
}

void CClassGroupData::SetPStudentsInfoList(std::list<CStudentInfoData*>* list)
{
    ReplaceList(m_pStudentsInfoList, list);
}

int CClassGroupData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "ClassGroup");
    TiXmlElement* classes = AddElement(root, "ClassInformation");
    TiXmlElement* students = AddElement(root, "Students");
    if (m_pClassInfoList) {
        for (const CClassDef* c : *m_pClassInfoList) {
            if (!c)
                continue;
            TiXmlElement* e = AddElement(classes, "Class");
            e->SetAttribute("name", c->GetName());
            if (const std::list<CStudentInfoData*>* list = c->GetPStudentsInfoList())
                for (const CStudentInfoData* s : *list)
                    if (s)
                        AddStudent(e, *s);
        }
    }
    if (m_pStudentsInfoList)
        for (const CStudentInfoData* s : *m_pStudentsInfoList)
            if (s)
                AddStudent(students, *s);
    return 0;
}

int CClassGroupData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    TiXmlElement* root = FirstChild(m_pDocument, "ClassGroup");
    TiXmlElement* classElement = FirstChild(FirstChild(root, "ClassInformation"), "Class");
    if (!classElement)
        return -1;

    SetPClassInfoList(new std::list<CClassDef*>);
    SetPStudentsInfoList(new std::list<CStudentInfoData*>);

    for (; classElement; classElement = classElement->NextSiblingElement("Class")) {
        const std::string* name = classElement->Attribute(std::string("name"));
        // A class without a name ends the classes: it and the later ones
        // are not loaded.
        if (!name)
            break;
        CClassDef* c = new CClassDef;
        c->SetName(*name);
        for (const TiXmlElement* s = classElement->FirstChildElement("Student"); s;
             s = s->NextSiblingElement("Student"))
            if (CStudentInfoData* student = ReadStudent(s))
                c->GetPStudentsInfoList()->push_back(student);
        m_pClassInfoList->push_back(c);
    }

    const TiXmlElement* s = FirstChild(FirstChild(root, "Students"), "Student");
    if (!s)
        return -1;
    for (; s; s = s->NextSiblingElement("Student"))
        if (CStudentInfoData* student = ReadStudent(s))
            m_pStudentsInfoList->push_back(student);
    return 0;
}

} // namespace LibTAVData
