// Favorite.xml: the user's favourite programs, a flat list without
// categories. Only name, path and custom icon are stored.
#ifndef TAV_DATA_FAVORITEDATA_H
#define TAV_DATA_FAVORITEDATA_H

#include "TAVDataProvider.h"
#include "TabNavigationData.h"

#include <list>

namespace LibTAVData {

class CFavoriteData : public CTAVDataProvider {
public:
    CFavoriteData();
    ~CFavoriteData() override;

    // -1, list unchanged, when there is no Favorite element. Otherwise the
    // list is replaced; -1 (list now empty) when Applications holds no
    // Application, else 0. Incomplete programs are dropped.
    int DOM2Member() override;
    int Member2DOM() override;

    // The owned list itself; callers edit it in place.
    std::list<CApplicationInfo*>* GetPApplicationInfoList() const;
    // Takes ownership of list (null allowed); unless it is the list already
    // held, the old list and its programs are deleted.
    void SetPApplicationInfoList(std::list<CApplicationInfo*>* list);

private:
    std::list<CApplicationInfo*>* m_pApplicationInfoList;
};

} // namespace LibTAVData

#endif
