// The parameter document every bus message carries: a "Parameters" root
// holding one "Parameter" element per value, each with the attributes
// "name", "type" and "value" in that order. Printed compactly on one line:
//   <?xml version="1.0" ?><Parameters><Parameter name="A" type="string" value="x" /></Parameters>
#ifndef TAV_INTFDATA_PARAXML_H
#define TAV_INTFDATA_PARAXML_H

#include <tinyxml.h>

#include <list>
#include <string>

namespace IPCAPI {

// One student machine as the teacher side sees it.
struct tagStudent_t {
    std::string studentID;
    std::string username;
    std::string hostname;
    std::string IP;
    int start_time = 0;
    int bLocked = 0; // non-zero when the machine is locked
    int status = 0;  // as the daemons set it
};

class CParaXml {
public:
    // An empty document: no declaration, no elements.
    CParaXml();
    CParaXml(const CParaXml& other);
    CParaXml& operator=(const CParaXml& other);
    virtual ~CParaXml();

    // Setters append (a parameter of the same name is not replaced) to the
    // first element of the document, creating the declaration and the
    // "Parameters" root first when there is no element. All return true
    // (false only when memory runs out; no call throws).
    bool setString(const std::string& name, const std::string& value);
    bool setInt(const std::string& name, int value);
    // One "listmember" entry per element, in list order.
    bool setListPara(std::list<std::string>& list);
    // One "list_student_info" record per element, in list order.
    bool setStudentInfoList(std::list<tagStudent_t>& list);

    // Getters read the children of the first element, whatever its name;
    // the first match wins. Absent: false, output untouched.
    // A child named name of type "string" with a "value".
    bool getString(const std::string& name, std::string& value);
    // A child named name of type "int"; its value's leading decimal number
    // (0 when there is none).
    bool getInt(const std::string& name, int& value);
    // False, list untouched, when the root has no child element; otherwise
    // the list becomes the values of the "listmember" children.
    bool getListPara(std::list<std::string>& list);
    // False, list untouched, when the root has no child element; otherwise
    // the list becomes the student records. Members a record lacks read as
    // empty strings and zeros.
    bool getStudentInfoList(std::list<tagStudent_t>& list);

    // Appends the printed document to text (nothing for an empty document);
    // false, text as it was, only when memory runs out.
    bool toString(std::string& text) const;
    // Parses text into the document, adding to what it holds. A text that
    // does not parse leaves what was read before the error; a text nested
    // implausibly deep, building too many nodes, or otherwise unsafe to hand
    // to the parser, adds nothing. True for all of these: parse errors are
    // not reported. The exception is a text longer than 4 MiB, larger than
    // any document of the system: false, nothing parsed, the document as it
    // was. Also false when memory runs out.
    bool loadString(const std::string& text);
    // Removes everything, declaration included.
    void clear();

private:
    TiXmlDocument m_xmlDocument;
};

} // namespace IPCAPI

#endif
