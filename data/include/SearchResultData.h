// SearchResult.xml and the programs documents the daemons answer a program
// search with: a flat list of programs in arrival order, plus the names
// collected so far, by which AddApplications drops duplicates. Only name,
// path and custom icon are stored.
#ifndef TAV_DATA_SEARCHRESULTDATA_H
#define TAV_DATA_SEARCHRESULTDATA_H

#include "TAVDataProvider.h"
#include "TabNavigationData.h"

#include <list>
#include <set>
#include <string>

namespace LibTAVData {

class CSearchResultData : public CTAVDataProvider {
public:
    CSearchResultData();
    ~CSearchResultData() override;

    // -1, list and collected names unchanged, when there is no SearchResult
    // element or no Application in its Applications. Otherwise the list is
    // replaced by the document's programs (duplicates in one document are
    // all kept), their names become the collected names, and the result is 0.
    int DOM2Member() override;
    int Member2DOM() override;

    // The owned list itself; callers edit it in place.
    std::list<CApplicationInfo*>* GetPApplicationInfoList() const;
    // Takes ownership of list (null allowed); unless it is the list already
    // held, the old list and its programs are deleted.
    void SetPApplicationInfoList(std::list<CApplicationInfo*>* list);

    // Deletes every program; the list stays, and so do the collected names.
    int Clear();
    // -1 for an empty name; 1 when name was collected before; otherwise
    // collects it and returns 0.
    int CheckApplicationDuplicate(const std::string& name);
    // Appends the programs of a programs document whose name and path are
    // not empty and whose name was not collected before (the first one
    // collected wins). -2 for an empty text; 0 otherwise, also when the text
    // does not load.
    int AddApplications(const std::string& programsXML);

private:
    std::list<CApplicationInfo*>* m_pApplicationInfoList;
    std::set<std::string> m_setApplicationNames;
};

} // namespace LibTAVData

#endif
