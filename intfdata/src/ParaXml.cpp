#include "ParaXml.h"

#include "DecimalText.h"
#include "InputLimits.h"
#include "XmlGuard.h"

#include <cstring>
#include <exception>
#include <memory>
#include <utility>

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

// No exception leaves the library: running out of memory fails the call.
template <typename Fn>
bool guarded(Fn&& fn) noexcept
{
    try {
        return fn();
    } catch (const std::exception&) {
        return false;
    }
}

using ElementPtr = std::unique_ptr<TiXmlElement>;

template <typename Value>
ElementPtr newItem(const char* element, const std::string& name, const char* type,
                   const Value& value)
{
    ElementPtr e(new TiXmlElement(element));
    e->SetAttribute(kName, name);
    e->SetAttribute(kType, type);
    e->SetAttribute(kValue, value);
    return e;
}

// The element parameters go under, made on first use.
TiXmlElement* rootForWriting(TiXmlDocument& doc)
{
    TiXmlElement* root = doc.FirstChildElement();
    if (!root) {
        std::unique_ptr<TiXmlDeclaration> declaration(
            new TiXmlDeclaration(kDeclarationVersion, "", ""));
        ElementPtr fresh(new TiXmlElement(kRoot));
        doc.LinkEndChild(declaration.release());
        root = fresh.get();
        doc.LinkEndChild(fresh.release());
    }
    return root;
}

// The children of the document's first element, in order.
const TiXmlElement* firstParameter(const TiXmlDocument& doc)
{
    const TiXmlElement* root = doc.FirstChildElement();
    return root ? root->FirstChildElement() : nullptr;
}

// Bytes each character takes once encoded for an attribute value.
struct EncodedWidth {
    unsigned char of[256] = {};
    constexpr EncodedWidth()
    {
        for (int c = 0; c < 256; ++c)
            of[c] = c < 0x20 ? 6 : 1;
        of[static_cast<unsigned char>('&')] = 5;
        of[static_cast<unsigned char>('<')] = of[static_cast<unsigned char>('>')] = 4;
        of[static_cast<unsigned char>('"')] = of[static_cast<unsigned char>('\'')] = 6;
    }
};
constexpr EncodedWidth kEncodedWidth;

// Appends s with TinyXML's attribute encoding: the five markup characters
// as entities, bytes below 0x20 as "&#xHH;", everything else as it is. The
// room is made once: a policy text holds a markup character every few bytes.
void appendEncoded(std::string& out, const std::string& s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::size_t size = 0;
    for (const char ch : s)
        size += kEncodedWidth.of[static_cast<unsigned char>(ch)];
    const std::size_t at = out.size();
    out.resize(at + size);
    char* p = &out[at];
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (kEncodedWidth.of[c] == 1) {
            *p++ = ch;
            continue;
        }
        const char* entity;
        switch (c) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\'':
            entity = "&apos;";
            break;
        default: {
            const char ref[] = {'&', '#', 'x', hex[c >> 4], hex[c & 0xf], ';'};
            std::memcpy(p, ref, sizeof ref);
            p += sizeof ref;
            continue;
        }
        }
        std::memcpy(p, entity, kEncodedWidth.of[c]);
        p += kEncodedWidth.of[c];
    }
}

// Prints what a parameter document holds, a declaration and elements with
// attributes, straight into out, byte for byte as TiXmlPrinter prints it in
// stream mode, without its buffer and per-attribute copies. False, out
// partly written, at any other kind of node (text, comment, ...), which
// only a document read from elsewhere holds.
bool printDirect(const TiXmlNode& node, std::string& out)
{
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
        if (const TiXmlElement* e = child->ToElement()) {
            out += '<';
            out += e->Value(); // as TinyXML: up to a NUL
            for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
                // A value holding a double quote is put in single quotes.
                const char quote = a->ValueStr().find('"') == std::string::npos ? '"' : '\'';
                out += ' ';
                appendEncoded(out, a->NameTStr());
                out += '=';
                out += quote;
                appendEncoded(out, a->ValueStr());
                out += quote;
            }
            if (!e->FirstChild()) {
                out += " />";
                continue;
            }
            out += '>';
            if (!printDirect(*e, out))
                return false;
            out += "</";
            out += e->Value();
            out += '>';
        } else if (const TiXmlDeclaration* d = child->ToDeclaration(); d && node.ToDocument()) {
            out += "<?xml ";
            const std::pair<const char*, const char*> fields[] = {{"version", d->Version()},
                                                                  {"encoding", d->Encoding()},
                                                                  {"standalone", d->Standalone()}};
            for (const auto& [key, value] : fields) {
                if (!*value)
                    continue;
                out += key;
                out += "=\"";
                out += value;
                out += "\" ";
            }
            out += "?>";
        } else {
            return false;
        }
    }
    return true;
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
    return guarded([&] {
        ElementPtr e = newItem(kParameter, name, kString, value);
        rootForWriting(m_xmlDocument)->LinkEndChild(e.release());
        return true;
    });
}

bool CParaXml::setInt(const std::string& name, int value)
{
    return guarded([&] {
        ElementPtr e = newItem(kParameter, name, kInt, value);
        rootForWriting(m_xmlDocument)->LinkEndChild(e.release());
        return true;
    });
}

bool CParaXml::setListPara(std::list<std::string>& list)
{
    return guarded([&] {
        TiXmlElement* root = rootForWriting(m_xmlDocument);
        for (const std::string& entry : list)
            root->LinkEndChild(newItem(kParameter, kListMember, kString, entry).release());
        return true;
    });
}

bool CParaXml::setStudentInfoList(std::list<tagStudent_t>& list)
{
    return guarded([&] {
        TiXmlElement* root = rootForWriting(m_xmlDocument);
        for (const tagStudent_t& student : list) {
            ElementPtr record = newItem(kParameter, kStudentInfo, kStudentInfoType, "");
            // Member order differs from the field order; peers read by name.
            record->LinkEndChild(
                newItem(kMember, "studentID", kString, student.studentID).release());
            record->LinkEndChild(newItem(kMember, "username", kString, student.username).release());
            record->LinkEndChild(newItem(kMember, "hostname", kString, student.hostname).release());
            record->LinkEndChild(newItem(kMember, "IP", kString, student.IP).release());
            record->LinkEndChild(newItem(kMember, "bLocked", kInt, student.bLocked).release());
            record->LinkEndChild(
                newItem(kMember, "start_time", kInt, student.start_time).release());
            record->LinkEndChild(newItem(kMember, "status", kInt, student.status).release());
            root->LinkEndChild(record.release());
        }
        return true;
    });
}

bool CParaXml::getString(const std::string& name, std::string& value)
{
    return guarded([&] {
        for (const TiXmlElement* e = firstParameter(m_xmlDocument); e;
             e = e->NextSiblingElement()) {
            const Fields f(e);
            if (f.name && *f.name == name && f.type && equals(*f.type, kString) && f.value) {
                value = *f.value;
                return true;
            }
        }
        return false;
    });
}

bool CParaXml::getInt(const std::string& name, int& value)
{
    for (const TiXmlElement* e = firstParameter(m_xmlDocument); e; e = e->NextSiblingElement()) {
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
    const TiXmlElement* first = firstParameter(m_xmlDocument);
    if (!first)
        return false;
    return guarded([&] {
        list.clear();
        for (const TiXmlElement* e = first; e; e = e->NextSiblingElement()) {
            const Fields f(e);
            if (f.name && equals(*f.name, kListMember) && f.value)
                list.push_back(*f.value);
        }
        return true;
    });
}

bool CParaXml::getStudentInfoList(std::list<tagStudent_t>& list)
{
    const TiXmlElement* first = firstParameter(m_xmlDocument);
    if (!first)
        return false;
    return guarded([&] {
        list.clear();
        for (const TiXmlElement* e = first; e; e = e->NextSiblingElement()) {
            const Fields f(e);
            if (!f.name || !equals(*f.name, kStudentInfo) || !f.type ||
                !equals(*f.type, kStudentInfoType))
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
            list.push_back(std::move(student));
        }
        return true;
    });
}

bool CParaXml::toString(std::string& text) const
{
    const std::size_t before = text.size();
    const bool printed = guarded([&] {
        if (printDirect(m_xmlDocument, text))
            return true;
        text.resize(before);
        TiXmlPrinter printer;
        printer.SetStreamPrinting(); // no indentation, no line breaks
        m_xmlDocument.Accept(&printer);
        text.append(printer.Str());
        return true;
    });
    if (!printed)
        text.resize(before);
    return printed;
}

bool CParaXml::loadString(const std::string& text)
{
    // A text that does not parse is no failure here; one too long to be any
    // document of ours is, so that the caller can tell and log it.
    if (text.size() > tav_common::kMaxDocumentBytes)
        return false;
    return guarded([&] {
        if (tav_common::XmlTextIsSafe(text))
            m_xmlDocument.Parse(text.c_str());
        return true;
    });
}

void CParaXml::clear() { m_xmlDocument.Clear(); }

} // namespace IPCAPI
