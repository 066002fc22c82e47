// The nesting and the nodes TinyXML actually built, to hold the XML gate's
// measures against (shared by the tests and the fuzz targets; header only).
#ifndef TAV_TESTS_XMLTREEDEPTH_H
#define TAV_TESTS_XMLTREEDEPTH_H

#include <tinyxml.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace tavtest {

// Deepest nesting of elements that have children, walked without recursion.
inline int XmlTreeDepth(const TiXmlNode* top)
{
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> todo{{top, 0}};
    while (!todo.empty()) {
        auto [node, depth] = todo.back();
        todo.pop_back();
        for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
            const int d = c->ToElement() && c->FirstChild() ? depth + 1 : depth;
            deepest = std::max(deepest, d);
            todo.push_back({c, d});
        }
    }
    return deepest;
}

// Every node below top, attributes included, walked without recursion.
inline std::size_t XmlTreeNodes(const TiXmlNode* top)
{
    std::size_t nodes = 0;
    std::vector<const TiXmlNode*> todo{top};
    while (!todo.empty()) {
        const TiXmlNode* node = todo.back();
        todo.pop_back();
        for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
            ++nodes;
            if (const TiXmlElement* e = c->ToElement())
                for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next())
                    ++nodes;
            todo.push_back(c);
        }
    }
    return nodes;
}

} // namespace tavtest

#endif
