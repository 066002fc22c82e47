// The documents requests carry: read from a file (checked by loading it into
// its data class, sent as the file holds it) or built from options with the
// data classes. Every problem is a UsageError, found before anything is
// sent.
#ifndef TAVCTL_POLICIES_H
#define TAVCTL_POLICIES_H

#include "CommandLine.h"
#include "Json.h"

#include <string>
#include <vector>

namespace LibTAVData {
class CLockScheduleData;
}

namespace tavctl {

// A document, the lines that describe it to the user and the same as a
// JSON object.
struct Document {
    std::string text;
    std::vector<std::string> summary;
    tavtools::JsonObject json;
};

// Lock schedule (LockScheduleData.h). With manual set, a policy built from
// options has manual locking on unless --manual-lock says otherwise.
std::vector<OptionDef> LockPolicyOptions();
Document LockPolicy(const ParsedArgs& args, bool manual);
// "lock-schedule: ...", "lock-sections: ...", "manual-lock: ..." lines.
// With json, the same as an object (kind "lock-schedule").
std::vector<std::string> DescribeLockSchedule(LibTAVData::CLockScheduleData& policy,
                                              tavtools::JsonObject* json = nullptr);

// Tab navigation (TabNavigationData.h).
std::vector<OptionDef> TabNavOptions();
Document TabNavPolicy(const ParsedArgs& args);

// System settings (TAVSystemSettingData.h).
std::vector<OptionDef> SystemSettingOptions();
Document SystemSettings(const ParsedArgs& args);

// Student and teacher information (StudentInfoData.h, TeacherInfoData.h).
std::vector<OptionDef> StudentInfoOptions();
Document StudentInfo(const ParsedArgs& args);
std::vector<OptionDef> TeacherInfoOptions();
Document TeacherInfo(const ParsedArgs& args);

// Every text that crosses the bus must be UTF-8 without NUL bytes; what
// names the text in the message.
void CheckText(const std::string& text, const std::string& what);

// The whole file, or UsageError naming it and the reason. Only a regular
// file of at most 4 MiB named without a symbolic link is read.
std::string ReadTextFile(const std::string& path);

} // namespace tavctl

#endif
