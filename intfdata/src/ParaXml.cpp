#include "ParaXml.h"

#include "DecimalText.h"
#include "XmlGuard.h"

#include <cstring>

namespace IPCAPI {

namespace {

const char kDeclarationVersion[] = "1.0";
const char kRoot[] = "Parameters";
const char kParameter[] = "Parameter";
const char kMember[] = "Member";
const char kName[] = "name";
const char kType[] = "type";
const char kValue[] = "value";
const char kString[] = "string";
const char kInt[] = "int";
const char kListMember[] = "listmember";
const char kStudentInfo[] = "list_student_info";
const char kStudentInfoType[] = "struct_StudentInfo";

template <std::size_t N>
bool equals(const std::string& s, const char (&literal)[N])
{
    return s.size() == N - 1 && std::memcmp(s.data(), literal, N - 1) == 0;
}

// The "name", "type" and "value" attributes of an element, found in one pass
// (null when absent). Values are taken whole, embedded NULs included.
struct Fields {
    const std::string* name = nullptr;
    const std::string* type = nullptr;
    const std::string* value = nullptr;

    explicit Fields(const TiXmlElement* e)
    {
        for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
            const std::string& n = a->NameTStr();
            if (equals(n, kName))
                name = &a->ValueStr();
            else if (equals(n, kType))
                type = &a->ValueStr();
            else if (equals(n, kValue))
                value = &a->ValueStr();
        }
    }
};

int intOf(const std::string* value)
{
    int v = 0;
    if (value)
        detail::LeadingDecimal(value->data(), value->data() + value->size(), v);
    return v;
}

// The element parameters go under, made on first use.
TiXmlElement* rootForWriting(TiXmlDocument& doc)
{
    TiXmlElement* root = doc.FirstChildElement();
    if (!root) {
        doc.LinkEndChild(new TiXmlDeclaration(kDeclarationVersion, "", ""));
        root = new TiXmlElement(kRoot);
        doc.LinkEndChild(root);
    }
    return root;
}

void appendItem(TiXmlElement* parent, const char* element, const char* name, const char* type,
                const std::string& value)
{
    TiXmlElement* e = new TiXmlElement(element);
    e->SetAttribute(kName, name);
    e->SetAttribute(kType, type);
    e->SetAttribute(kValue, value);
    parent->LinkEndChild(e);
}

void appendItem(TiXmlElement* parent, const char* element, const char* name, const char* type,
                int value)
{
    TiXmlElement* e = new TiXmlElement(element);
    e->SetAttribute(kName, name);
    e->SetAttribute(kType, type);
    e->SetAttribute(kValue, value);
    parent->LinkEndChild(e);
}

} // namespace

CParaXml::CParaXml() = default;
CParaXml::CParaXml(const CParaXml& other) = default;

CParaXml& CParaXml::operator=(const CParaXml& other)
{
    // TinyXML empties the target before copying, so a self-assignment would
    // lose the document.
    if (this != &other)
        m_xmlDocument = other.m_xmlDocument;
    return *this;
}

CParaXml::~CParaXml() = default;

bool CParaXml::setString(const std::string& name, const std::string& value)
{
    TiXmlElement* root = rootForWriting(m_xmlDocument);
    TiXmlElement* e = new TiXmlElement(kParameter);
    e->SetAttribute(kName, name);
    e->SetAttribute(kType, kString);
    e->SetAttribute(kValue, value);
    root->LinkEndChild(e);
    return true;
}

bool CParaXml::setInt(const std::string& name, int value)
{
    TiXmlElement* root = rootForWriting(m_xmlDocument);
    TiXmlElement* e = new TiXmlElement(kParameter);
    e->SetAttribute(kName, name);
    e->SetAttribute(kType, kInt);
    e->SetAttribute(kValue, value);
    root->LinkEndChild(e);
    return true;
}

bool CParaXml::setListPara(std::list<std::string>& list)
{
    TiXmlElement* root = rootForWriting(m_xmlDocument);
    for (const std::string& entry : list)
        appendItem(root, kParameter, kListMember, kString, entry);
    return true;
}

bool CParaXml::setStudentInfoList(std::list<tagStudent_t>& list)
{
    TiXmlElement* root = rootForWriting(m_xmlDocument);
    for (const tagStudent_t& student : list) {
        TiXmlElement* record = new TiXmlElement(kParameter);
        record->SetAttribute(kName, kStudentInfo);
        record->SetAttribute(kType, kStudentInfoType);
        record->SetAttribute(kValue, "");
        // Member order differs from the field order; peers read by name.
        appendItem(record, kMember, "studentID", kString, student.studentID);
        appendItem(record, kMember, "username", kString, student.username);
        appendItem(record, kMember, "hostname", kString, student.hostname);
        appendItem(record, kMember, "IP", kString, student.IP);
        appendItem(record, kMember, "bLocked", kInt, student.bLocked);
        appendItem(record, kMember, "start_time", kInt, student.start_time);
        appendItem(record, kMember, "status", kInt, student.status);
        root->LinkEndChild(record);
    }
    return true;
}

bool CParaXml::getString(const std::string& name, std::string& value)
{
    const TiXmlElement* root = m_xmlDocument.FirstChildElement();
    if (!root)
        return false;
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const Fields f(e);
        if (f.name && *f.name == name && f.type && equals(*f.type, kString) && f.value) {
            value = *f.value;
            return true;
        }
    }
    return false;
}

bool CParaXml::getInt(const std::string& name, int& value)
{
    const TiXmlElement* root = m_xmlDocument.FirstChildElement();
    if (!root)
        return false;
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const Fields f(e);
        if (f.name && *f.name == name && f.type && equals(*f.type, kInt)) {
            value = intOf(f.value);
            return true;
        }
    }
    return false;
}

bool CParaXml::getListPara(std::list<std::string>& list)
{
    const TiXmlElement* root = m_xmlDocument.FirstChildElement();
    if (!root || !root->FirstChildElement())
        return false;
    list.clear();
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const Fields f(e);
        if (f.name && equals(*f.name, kListMember) && f.value)
            list.push_back(*f.value);
    }
    return true;
}

bool CParaXml::getStudentInfoList(std::list<tagStudent_t>& list)
{
    const TiXmlElement* root = m_xmlDocument.FirstChildElement();
    if (!root || !root->FirstChildElement())
        return false;
    list.clear();
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const Fields f(e);
        if (!f.name || !equals(*f.name, kStudentInfo) || !f.type || !equals(*f.type, kStudentInfoType))
            continue;
        // Every record starts empty: a member one record lacks must not
        // carry over another student's value.
        tagStudent_t student;
        for (const TiXmlElement* m = e->FirstChildElement(); m; m = m->NextSiblingElement()) {
            const Fields mf(m);
            if (!mf.name)
                continue;
            const std::string& n = *mf.name;
            if (equals(n, "studentID")) {
                if (mf.value)
                    student.studentID = *mf.value;
            } else if (equals(n, "username")) {
                if (mf.value)
                    student.username = *mf.value;
            } else if (equals(n, "hostname")) {
                if (mf.value)
                    student.hostname = *mf.value;
            } else if (equals(n, "IP")) {
                if (mf.value)
                    student.IP = *mf.value;
            } else if (equals(n, "start_time")) {
                student.start_time = intOf(mf.value);
            } else if (equals(n, "bLocked")) {
                student.bLocked = intOf(mf.value);
            } else if (equals(n, "status")) {
                student.status = intOf(mf.value);
            }
        }
        list.push_back(student);
    }
    return true;
}

bool CParaXml::toString(std::string& text) const
{
    TiXmlPrinter printer;
    printer.SetStreamPrinting(); // no indentation, no line breaks
    m_xmlDocument.Accept(&printer);
    text.append(printer.Str());
    return true;
}

bool CParaXml::loadString(const std::string& text)
{
    if (TavInternal::XmlTextIsSafe(text))
        m_xmlDocument.Parse(text.c_str());
    return true;
}

void CParaXml::clear()
{
    m_xmlDocument.Clear();
}

} // namespace IPCAPI
