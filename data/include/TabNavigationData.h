// The launcher model of TabNavigation.xml: programs (CApplicationInfo)
// grouped into tabs (CCategory). CApplicationInfo and CCategory are also the
// building blocks of the default configuration, the favourites and the
// search results.
//
// Ownership: a list handed to a list setter becomes the object's property
// together with every element in it; replacing a list, removing through
// RemoveProgram/RemoveCategory, reloading or destroying the owner deletes
// the elements, and pointers held elsewhere become invalid at that moment.
#ifndef TAV_DATA_TABNAVIGATIONDATA_H
#define TAV_DATA_TABNAVIGATIONDATA_H

#include "TAVDataProvider.h"

#include <list>
#include <string>

namespace LibTAVData {

// One launcher program. A plain copyable value.
class CApplicationInfo {
public:
    CApplicationInfo();
    CApplicationInfo(const CApplicationInfo& other);
    CApplicationInfo(CApplicationInfo&& other) noexcept;
    CApplicationInfo& operator=(const CApplicationInfo& other);
    CApplicationInfo& operator=(CApplicationInfo&& other) noexcept;
    virtual ~CApplicationInfo();

    // 1 shown in the launcher, 0 hidden; a non-numeric stored value reads -1.
    int GetEnable() const;
    void SetEnable(int enable);
    std::string GetName() const;
    void SetName(std::string name);
    std::string GetPath() const;
    void SetPath(std::string path);
    std::string GetCustomIcon() const;
    void SetCustomIcon(std::string icon);

    // 1 when enable, name, path and custom icon are all equal, else 0.
    int IsEqual(const CApplicationInfo& other);

private:
    int m_iEnable;
    std::string m_strName;
    std::string m_strPath;
    std::string m_strCustomIcon;
};

// One launcher tab with its programs in display order.
class CCategory {
public:
    CCategory();
    // Deletes the programs together with their list.
    virtual ~CCategory();

    std::string GetName() const;
    void SetName(std::string name);
    std::string GetCategoryIcon() const;
    void SetCategoryIcon(std::string icon);

    // The owned list itself; callers append to and remove from it in place.
    std::list<CApplicationInfo*>* GetPApplicationInfoList() const;
    // Takes ownership of list (null allowed). Unless it is the list already
    // held, the old list and its programs are deleted.
    void SetPApplicationInfoList(std::list<CApplicationInfo*>* list);

    // 1 when names, icons and both program lists (pairwise, in order) are
    // equal; a missing list on either side makes them unequal.
    int IsEqual(const CCategory& other);
    // -1 for an empty name or path or no list; 1 when a program has exactly
    // this name or exactly this path; 0 otherwise.
    int IsApplicationExist(std::string name, std::string path);

private:
    CCategory(const CCategory&) = delete;
    CCategory& operator=(const CCategory&) = delete;

    std::string m_strName;
    std::string m_strCategoryIcon;
    std::list<CApplicationInfo*>* m_pApplicationInfoList;
};

// TabNavigation.xml: the tabs of the launcher in display order.
class CTabNavigationData : public CTAVDataProvider {
public:
    CTabNavigationData();
    ~CTabNavigationData() override;

    // -1 when the document has no TabNavigation element (the model is left
    // as it was); otherwise the model is replaced and the result is 0.
    // Categories without a name and programs without "enabled" or without
    // Name, Path, CustomIcon in this order are dropped.
    int DOM2Member() override;
    int Member2DOM() override;

    std::list<CCategory*>* GetPCategoryInfoList() const;
    // Takes ownership of list (null allowed). Unless it is the list already
    // held, the old list, its categories and their programs are deleted.
    void SetPCategoryInfoList(std::list<CCategory*>* list);

    // -2 for a null argument; -1 when category is not in the model or app
    // not in category (by pointer); 1 once app is deleted and removed.
    int RemoveProgram(CCategory* category, CApplicationInfo* app);
    // -2 for null; -1 when not in the model; 1 once category and its
    // programs are deleted and removed.
    int RemoveCategory(CCategory* category);
    // 1 when both models hold pairwise equal categories in the same order.
    int IsEqual(const CTabNavigationData& other);
    // -1 for an empty name or no list; 1 when a category has exactly this
    // name (case-sensitive); 0 otherwise.
    int IsCategoryExist(std::string name);

private:
    std::list<CCategory*>* m_pCategoryInfoList;
};

} // namespace LibTAVData

#endif
