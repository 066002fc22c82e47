// Feeds arbitrary text to every configuration class: LoadFromString, then
// Save2String, then the saved text is loaded back into the same object.
// Whatever the text, nothing may crash, leak or misbehave, and saving must
// succeed.
#include "ClassGroupData.h"
#include "DefaultConfigData.h"
#include "FavoriteData.h"
#include "LockScheduleData.h"
#include "SearchResultData.h"
#include "StudentInfoData.h"
#include "TAVSystemSettingData.h"
#include "TAVThemeData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <class T>
void Exercise(const std::string& text)
{
    T data;
    data.LoadFromString(text);
    std::string saved;
    if (data.Save2String(saved) != 0)
        std::abort();
    data.LoadFromString(saved);
}

// One line per configuration class.
void (*const kClasses[])(const std::string&) = {
    &Exercise<LibTAVData::CLockScheduleData>,  &Exercise<LibTAVData::CTAVSystemSettingData>,
    &Exercise<LibTAVData::CTAVThemeData>,      &Exercise<LibTAVData::CClassGroupData>,
    &Exercise<LibTAVData::CStudentInfoData>,   &Exercise<LibTAVData::CTeacherInfoData>,
    &Exercise<LibTAVData::CTabNavigationData>, &Exercise<LibTAVData::CDefaultConfigData>,
    &Exercise<LibTAVData::CFavoriteData>,      &Exercise<LibTAVData::CSearchResultData>,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (auto exercise : kClasses)
        exercise(text);
    return 0;
}
