// Internal to the data library: the "Category" and "Application" elements
// shared by TabNavigation.xml, DefaultConfig.xml, Favorite.xml and
// SearchResult.xml, and the release rule of the owned pointer lists.
#ifndef TAV_DATA_PROGRAMXML_H
#define TAV_DATA_PROGRAMXML_H

#include "TabNavigationData.h"

#include <tinyxml.h>

#include <list>
#include <string>
#include <unordered_set>

#pragma GCC visibility push(hidden)

namespace LibTAVData {
namespace detail {
namespace ProgramXml {

// Whether the "enabled" attribute is part of an "Application" element.
enum class Enabled { Written, Absent };

// <tag>text</tag> appended to parent (an empty text still gets a text node,
// so the element prints as <tag></tag>).
void AppendTextElement(TiXmlElement* parent, const char* tag, const std::string& text);

// An "Application" element: [enabled], Name, Path, CustomIcon.
TiXmlElement* NewApplicationElement(const CApplicationInfo& app, Enabled enabled);

// One "Category" element per non-null category (attributes name, icon),
// each with one "Application" per non-null program.
void AppendCategories(TiXmlElement* parent, const std::list<CCategory*>* categories);

// One "Application" element per non-null program.
void AppendApplications(TiXmlElement* parent, const std::list<CApplicationInfo*>* apps,
                        Enabled enabled);

// Reads first and its following "Application" siblings into out. With
// Enabled::Written an element without "enabled" is dropped and a value that
// is not a decimal int reads -1; an element without Name, Path, CustomIcon
// in this order is dropped.
void ReadApplications(const TiXmlElement* first, Enabled enabled,
                      std::list<CApplicationInfo*>& out);

// Reads first and its following "Category" siblings into out; a category
// without "name" is dropped, its programs are read with Enabled::Written.
void ReadCategories(const TiXmlElement* first, std::list<CCategory*>& out);

// Deletes an owned list and its elements. Elements that the replacement list
// also holds now belong to it and are kept; an element listed twice is
// deleted once.
template <class T>
void ReleaseList(std::list<T*>* old, const std::list<T*>* replacement)
{
    if (!old)
        return;
    std::unordered_set<T*> kept;
    if (replacement)
        kept.insert(replacement->begin(), replacement->end());
    std::unordered_set<T*> deleted;
    for (T* item : *old) {
        if (item && !kept.count(item) && deleted.insert(item).second)
            delete item;
    }
    delete old;
}

// An owned list under construction: released with its elements unless it
// is handed out with Release().
template <class T>
class PendingList {
public:
    PendingList() : m_list(new std::list<T*>) {}
    ~PendingList() { ReleaseList<T>(m_list, nullptr); }
    PendingList(const PendingList&) = delete;
    PendingList& operator=(const PendingList&) = delete;

    std::list<T*>& operator*() const { return *m_list; }
    std::list<T*>* operator->() const { return m_list; }
    std::list<T*>* Release()
    {
        std::list<T*>* list = m_list;
        m_list = nullptr;
        return list;
    }

private:
    std::list<T*>* m_list;
};

} // namespace ProgramXml
} // namespace detail
} // namespace LibTAVData

#pragma GCC visibility pop

#endif
