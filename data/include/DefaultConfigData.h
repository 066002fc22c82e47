// DefaultConfig.xml: the factory default of the launcher, its categories
// with their programs plus a flat list of programs outside any category.
// Lists handed to the setters become the object's property together with
// their elements.
#ifndef TAV_DATA_DEFAULTCONFIGDATA_H
#define TAV_DATA_DEFAULTCONFIGDATA_H

#include "TAVDataProvider.h"
#include "TabNavigationData.h"

#include <list>

namespace LibTAVData {

class CDefaultConfigData : public CTAVDataProvider {
public:
    CDefaultConfigData();
    ~CDefaultConfigData() override;

    // -1, both lists left as they were, when there is no DefaultConfig
    // element or its CategoryConfig holds no Category. Otherwise both lists
    // are replaced; -1 (categories kept) when Applications holds no
    // Application, else 0.
    int DOM2Member() override;
    int Member2DOM() override;

    std::list<CCategory*>* GetPCategoryInfoList() const;
    std::list<CApplicationInfo*>* GetPApplicationInfoList() const;
    // Take ownership of list (null allowed); unless it is the list already
    // held, the old list and its elements are deleted.
    void SetPCategoryInfoList(std::list<CCategory*>* list);
    void SetPApplicationInfoList(std::list<CApplicationInfo*>* list);

    // A new list, owned by the caller, of copies of the categories that have
    // a program list, every program shown (enable 1). Null when there are
    // no categories.
    std::list<CCategory*>* CloneCategoryInfoList();

private:
    std::list<CApplicationInfo*>* m_pApplicationInfoList;
    std::list<CCategory*>* m_pCategoryInfoList;
};

} // namespace LibTAVData

#endif
