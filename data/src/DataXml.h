// Small document-building helpers shared by the data classes' Member2DOM
// and DOM2Member. Internal, not installed.
#ifndef TAV_DATA_SRC_DATAXML_H
#define TAV_DATA_SRC_DATAXML_H

#include <tinyxml.h>

#include <string>

namespace LibTAVData {
namespace detail {
namespace DataXml {

// Every file starts with <?xml version="1.0" encoding="UTF-8" ?>.
inline void AddDeclaration(TiXmlDocument* doc)
{
    doc->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
}

inline TiXmlElement* AddElement(TiXmlNode* parent, const char* name)
{
    return parent->LinkEndChild(new TiXmlElement(name))->ToElement();
}

// An element holding text. An empty text gives an element without text
// unless keepEmpty asks for an (empty) text node, printed as <a></a>.
inline TiXmlElement* AddTextElement(TiXmlNode* parent, const char* name, const std::string& text,
                                    bool keepEmpty = false)
{
    TiXmlElement* e = AddElement(parent, name);
    if (!text.empty() || keepEmpty)
        e->LinkEndChild(new TiXmlText(text));
    return e;
}

inline TiXmlElement* AddTextElement(TiXmlNode* parent, const char* name, int value)
{
    return AddTextElement(parent, name, std::to_string(value));
}

inline TiXmlElement* FirstChild(TiXmlNode* parent, const char* name)
{
    return parent ? parent->FirstChildElement(name) : nullptr;
}

inline TiXmlElement* NextSibling(TiXmlElement* element, const char* name)
{
    return element ? element->NextSiblingElement(name) : nullptr;
}

} // namespace DataXml
} // namespace detail
} // namespace LibTAVData

#endif
