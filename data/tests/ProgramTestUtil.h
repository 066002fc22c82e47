// Helpers shared by the tests of the launcher model classes.
#ifndef TAV_DATA_TESTS_PROGRAMTESTUTIL_H
#define TAV_DATA_TESTS_PROGRAMTESTUTIL_H

#include "TabNavigationData.h"

#include <list>
#include <string>
#include <vector>

namespace programtest {

using LibTAVData::CApplicationInfo;
using LibTAVData::CCategory;

// Programs and categories that count how many of them are alive, so that
// ownership faults show as wrong counts (and double releases under ASan).
struct CountedApp : CApplicationInfo {
    static inline int alive = 0;
    CountedApp(const std::string& name = "", const std::string& path = "", int enable = 1)
    {
        ++alive;
        SetName(name);
        SetPath(path);
        SetEnable(enable);
    }
    ~CountedApp() override { --alive; }
};

struct CountedCategory : CCategory {
    static inline int alive = 0;
    explicit CountedCategory(const std::string& name = "")
    {
        ++alive;
        SetName(name);
    }
    ~CountedCategory() override { --alive; }
};

inline CApplicationInfo* App(const std::string& name, const std::string& path,
                             const std::string& icon = "", int enable = 1)
{
    auto* app = new CApplicationInfo;
    app->SetName(name);
    app->SetPath(path);
    app->SetCustomIcon(icon);
    app->SetEnable(enable);
    return app;
}

inline CCategory* Category(const std::string& name, const std::string& icon,
                           std::initializer_list<CApplicationInfo*> apps)
{
    auto* category = new CCategory;
    category->SetName(name);
    category->SetCategoryIcon(icon);
    for (CApplicationInfo* app : apps)
        category->GetPApplicationInfoList()->push_back(app);
    return category;
}

// "name|path|icon|enable" of every program, for compact comparisons.
inline std::vector<std::string> Describe(const std::list<CApplicationInfo*>* apps)
{
    std::vector<std::string> out;
    if (!apps)
        return out;
    for (const CApplicationInfo* app : *apps)
        out.push_back(!app ? std::string("null")
                           : app->GetName() + "|" + app->GetPath() + "|" + app->GetCustomIcon() +
                                 "|" + std::to_string(app->GetEnable()));
    return out;
}

// "name|icon" and the programs of every category.
inline std::vector<std::string> Describe(const std::list<CCategory*>* categories)
{
    std::vector<std::string> out;
    if (!categories)
        return out;
    for (const CCategory* category : *categories) {
        if (!category) {
            out.push_back("null");
            continue;
        }
        out.push_back("[" + category->GetName() + "|" + category->GetCategoryIcon() + "]");
        for (const std::string& app : Describe(category->GetPApplicationInfoList()))
            out.push_back(app);
    }
    return out;
}

} // namespace programtest

#endif
