// The nesting TinyXML actually built, to hold the XML gate's measure
// against (shared by the tests and the fuzz targets; header only).
#ifndef TAV_TESTS_XMLTREEDEPTH_H
#define TAV_TESTS_XMLTREEDEPTH_H

#include <tinyxml.h>

#include <algorithm>
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

} // namespace tavtest

#endif
