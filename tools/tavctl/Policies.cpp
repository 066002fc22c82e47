#include "Policies.h"

#include "LockScheduleData.h"
#include "Output.h"
#include "SafeFile.h"
#include "Session.h"
#include "StudentInfoData.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"

#include <dbus/dbus.h>
#include <sstream>

using namespace LibTAVData;

namespace tavctl {

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// --file excludes the options that build the document.
void checkFileAlone(const ParsedArgs& args, const std::vector<OptionDef>& documentOptions)
{
    if (!args.Has("file"))
        return;
    for (const OptionDef& o : documentOptions)
        if (o.name != "file" && args.Has(o.name))
            throw UsageError("--file cannot be combined with --" + o.name);
}

// A file's text, checked by loading it into its data class.
std::string loadChecked(const std::string& path, CTAVDataProvider& data, const std::string& kind)
{
    const std::string text = ReadTextFile(path);
    CheckText(text, path);
    if (data.LoadFromString(text) != 0)
        throw UsageError(path + " is not a " + kind + " document");
    return text;
}

std::string saved(CTAVDataProvider& data)
{
    std::string text;
    data.Save2String(text);
    return text;
}

// "MONDAY:8-12" -> one section per hour, as the settings dialog makes them;
// "MONDAY:8" is the hour from 8 to 9. Days by name (any case) or 0 to 6.
void addSections(const std::string& sectionText, std::list<CLockTimeSection*>& sections)
{
    const std::string bad =
        "--section needs DAY:START-END with a day name (or 0-6) and hours 0-24, not '" +
        sectionText + "'";
    const std::size_t colon = sectionText.find(':');
    if (colon == std::string::npos)
        throw UsageError(bad);
    const std::string dayText = sectionText.substr(0, colon);
    int day = CLockScheduleData::WeekDayString2Int(upper(dayText));
    long number = 0;
    if (day < 0) {
        if (!ParseInt(dayText, 0, 6, number))
            throw UsageError(bad);
        day = static_cast<int>(number);
    }
    const std::string hours = sectionText.substr(colon + 1);
    const std::size_t dash = hours.find('-');
    long start = 0, end = 0;
    if (dash == std::string::npos) {
        if (!ParseInt(hours, 0, 23, start))
            throw UsageError(bad);
        end = start + 1;
    } else if (!ParseInt(hours.substr(0, dash), 0, 23, start) ||
               !ParseInt(hours.substr(dash + 1), 1, 24, end) || end <= start) {
        throw UsageError(bad);
    }
    for (long h = start; h < end; ++h)
        sections.push_back(new CLockTimeSection(day, static_cast<int>(h), static_cast<int>(h + 1)));
}

std::string plural(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string ReadTextFile(const std::string& path)
{
    // The data classes load no document larger than this.
    constexpr std::size_t kMaxDocumentFileBytes = 4u * 1024 * 1024;
    std::string text, error;
    // Nothing here should block, but Ctrl-C must end tavctl if it does.
    const int read = WithTerminalSignals([&] {
        return tavtools::ReadRegularFile(path, kMaxDocumentFileBytes, text, error) ? 1 : 0;
    });
    if (!read)
        throw UsageError("cannot read " + path + ": " + error);
    return text;
}

void CheckText(const std::string& text, const std::string& what)
{
    if (text.find('\0') != std::string::npos || !dbus_validate_utf8(text.c_str(), nullptr))
        throw UsageError(what + " is not UTF-8 text");
}

std::vector<OptionDef> LockPolicyOptions()
{
    return {
        {"file", "PATH",
         "send this lock-schedule document (LockSchedule.xml layout) instead of building one"},
        {"auto-lock", "on|off",
         "automatic locking by the weekly sections (default: on when sections are given)"},
        {"section", "DAY:START-END",
         "lock the hours START to END on DAY (MONDAY..SUNDAY or 0-6), one section per hour", true},
        {"manual-lock", "on|off", "manual locking"},
        {"lock-status", "N", "the lock status to store (2 and 4 mean locked)"},
        {"option", "N", "manual-lock option"},
        {"locked-time", "N", "manual-lock locked time"},
        {"disconnect-time", "N", "manual-lock disconnect time"},
        {"unlock-after-disconnect", "N", "manual-lock unlock-after-disconnect value"},
        {"unlock-after-connect", "N", "manual-lock unlock-after-connect value"},
    };
}

Document LockPolicy(const ParsedArgs& args, bool manual)
{
    checkFileAlone(args, LockPolicyOptions());
    CLockScheduleData policy;
    Document doc;
    if (args.Has("file")) {
        doc.text = loadChecked(args.Get("file"), policy, "lock-schedule");
    } else {
        std::list<CLockTimeSection*>* sections = policy.GetPAutomaticLockTimeList();
        for (const std::string& s : args.All("section"))
            addSections(s, *sections);
        policy.SetAutoLock(args.Switch("auto-lock", sections->empty() ? 0 : 1));
        policy.SetManualLock(args.Switch("manual-lock", manual ? 1 : 0));
        policy.SetLockStatus(args.Int("lock-status", 0, -1000000, 1000000));
        CManualLock options;
        options.SetOption(args.Int("option", 0, -1000000, 1000000));
        options.SetLockedTime(args.Int("locked-time", 0, -1000000, 1000000));
        options.SetDisconnectTime(args.Int("disconnect-time", 0, -1000000, 1000000));
        options.SetUnlockAfterDisconnect(args.Int("unlock-after-disconnect", 0, -1000000, 1000000));
        options.SetUnlockAfterConnect(args.Int("unlock-after-connect", 0, -1000000, 1000000));
        policy.SetManualLockInfo(&options);
        doc.text = saved(policy);
    }
    doc.summary = DescribeLockSchedule(policy, &doc.json);
    return doc;
}

std::vector<std::string> DescribeLockSchedule(CLockScheduleData& policy, tavtools::JsonObject* json)
{
    std::vector<std::string> lines;
    std::ostringstream head;
    head << "lock-schedule: auto-lock=" << (policy.IsAutoLockEnable() ? 1 : 0)
         << " manual-lock=" << (policy.IsManualLockEnable() ? 1 : 0)
         << " lock-status=" << policy.GetLockStatus() << (policy.Islocked() ? " (locked)" : "");
    lines.push_back(head.str());

    // Consecutive hours of one day read as one range: MONDAY 8-12.
    std::string ranges;
    std::vector<tavtools::JsonObject> rangeObjects;
    const std::list<CLockTimeSection*>* list = policy.GetPAutomaticLockTimeList();
    std::size_t count = 0;
    if (list) {
        const CLockTimeSection* open = nullptr;
        int end = 0;
        auto flush = [&] {
            if (!open)
                return;
            const std::string day = CLockScheduleData::WeekDayInt2String(open->m_iDayOfWeek);
            if (!ranges.empty())
                ranges += ", ";
            ranges += day + " " + std::to_string(open->m_iStartTime) + "-" + std::to_string(end);
            rangeObjects.push_back(tavtools::JsonObject()
                                       .Str("day", day)
                                       .Int("start", open->m_iStartTime)
                                       .Int("end", end));
        };
        for (const CLockTimeSection* s : *list) {
            if (!s)
                continue;
            ++count;
            if (open && s->m_iDayOfWeek == open->m_iDayOfWeek && s->m_iStartTime == end) {
                end = s->m_iEndTime;
                continue;
            }
            flush();
            open = s;
            end = s->m_iEndTime;
        }
        flush();
    }
    lines.push_back("lock-sections: " + plural(count, "hour", "hours") +
                    (ranges.empty() ? "" : ": " + ranges));

    tavtools::JsonObject manual;
    CManualLock* m = policy.GetPManualLockInfo();
    if (m) {
        int locked = 0;
        m->GetLockedTime(locked);
        std::ostringstream os;
        os << "manual-lock: option=" << m->GetOption() << " locked-time=" << locked
           << " disconnect-time=" << m->GetDisconnectTime()
           << " unlock-after-disconnect=" << m->GetUnlockAfterDisconnect()
           << " unlock-after-connect=" << m->GetUnlockAfterConnect();
        lines.push_back(os.str());
        manual.Int("option", m->GetOption())
            .Int("lockedTime", locked)
            .Int("disconnectTime", m->GetDisconnectTime());
        manual.Int("unlockAfterDisconnect", m->GetUnlockAfterDisconnect())
            .Int("unlockAfterConnect", m->GetUnlockAfterConnect());
    }
    if (json) {
        json->Str("kind", "lock-schedule").Int("autoLock", policy.IsAutoLockEnable() ? 1 : 0);
        json->Int("manualLock", policy.IsManualLockEnable() ? 1 : 0)
            .Int("lockStatus", policy.GetLockStatus());
        json->Bool("locked", policy.Islocked())
            .Int("hours", static_cast<long long>(count))
            .Objs("sections", rangeObjects);
        if (m)
            json->Obj("manualLockInfo", manual);
        else
            json->Null("manualLockInfo");
    }
    return lines;
}

std::vector<OptionDef> TabNavOptions()
{
    return {
        {"file", "PATH",
         "send this tab-navigation document (TabNavigation.xml layout) instead of building one"},
        {"tab", "NAME", "start a launcher tab", true},
        {"program", "NAME=PATH", "add a program to the tab named last", true},
    };
}

Document TabNavPolicy(const ParsedArgs& args)
{
    checkFileAlone(args, TabNavOptions());
    CTabNavigationData model;
    Document doc;
    if (args.Has("file")) {
        doc.text = loadChecked(args.Get("file"), model, "tab-navigation");
    } else {
        std::list<CCategory*>* tabs = model.GetPCategoryInfoList();
        for (const auto& option : args.Sequence()) {
            if (option.first == "tab") {
                if (option.second.empty())
                    throw UsageError("--tab needs a name");
                CheckText(option.second, "--tab");
                auto* tab = new CCategory;
                tab->SetName(option.second);
                tabs->push_back(tab);
            } else if (option.first == "program") {
                const std::size_t eq = option.second.find('=');
                if (eq == std::string::npos || eq == 0 || eq + 1 == option.second.size())
                    throw UsageError("--program needs NAME=PATH, not '" + option.second + "'");
                if (tabs->empty())
                    throw UsageError("--program " + option.second + " comes before any --tab");
                CheckText(option.second, "--program");
                auto* app = new CApplicationInfo;
                app->SetEnable(1);
                app->SetName(option.second.substr(0, eq));
                app->SetPath(option.second.substr(eq + 1));
                tabs->back()->GetPApplicationInfoList()->push_back(app);
            }
        }
        doc.text = saved(model);
    }
    std::string tabs;
    std::size_t count = 0;
    std::vector<tavtools::JsonObject> tabObjects;
    if (model.GetPCategoryInfoList()) {
        for (const CCategory* tab : *model.GetPCategoryInfoList()) {
            if (!tab)
                continue;
            ++count;
            std::vector<tavtools::JsonObject> programs;
            if (tab->GetPApplicationInfoList())
                for (const CApplicationInfo* app : *tab->GetPApplicationInfoList())
                    if (app)
                        programs.push_back(tavtools::JsonObject()
                                               .Str("name", app->GetName())
                                               .Str("path", app->GetPath()));
            tabs += (tabs.empty() ? ": " : ", ") + tab->GetName() + " (" +
                    plural(programs.size(), "program", "programs") + ")";
            tabObjects.push_back(
                tavtools::JsonObject().Str("name", tab->GetName()).Objs("programs", programs));
        }
    }
    doc.summary.push_back("tab-navigation: " + plural(count, "tab", "tabs") + tabs);
    doc.json.Str("kind", "tab-navigation").Objs("tabs", tabObjects);
    return doc;
}

std::vector<OptionDef> SystemSettingOptions()
{
    return {
        {"file", "PATH",
         "send this system-settings document (TAVSystemSetting.xml layout) instead of building "
         "one"},
        {"usb-storage", "on|off", "USB storage (default off)"},
        {"new-student-dialog", "on|off",
         "the dialog shown when a new student connects (default on)"},
        {"connect-allow", "on|off", "new students may connect (default on)"},
        {"add-to-class", "on|off", "new students join the current class (default on)"},
        {"auto-deploy", "on|off", "automatic deployment (default off)"},
    };
}

Document SystemSettings(const ParsedArgs& args)
{
    checkFileAlone(args, SystemSettingOptions());
    CTAVSystemSettingData settings;
    Document doc;
    if (args.Has("file")) {
        doc.text = loadChecked(args.Get("file"), settings, "system-settings");
    } else {
        settings.SetUSBStorageenabled(args.Switch("usb-storage", settings.GetUSBStorageenabled()));
        settings.SetNewStudentConnectDialogEnable(
            args.Switch("new-student-dialog", settings.GetNewStudentConnectDialogEnable()));
        settings.SetConnectPolicyAllow(
            args.Switch("connect-allow", settings.GetConnectPolicyAllow()));
        settings.SetAddToCurrentClassAllow(
            args.Switch("add-to-class", settings.GetAddToCurrentClassAllow()));
        settings.SetAutoDeployEnabled(args.Switch("auto-deploy", settings.GetAutoDeployEnabled()));
        doc.text = saved(settings);
    }
    std::ostringstream os;
    os << "system-settings: usb-storage=" << settings.GetUSBStorageenabled()
       << " new-student-dialog=" << settings.GetNewStudentConnectDialogEnable()
       << " connect-allow=" << settings.GetConnectPolicyAllow()
       << " add-to-class=" << settings.GetAddToCurrentClassAllow()
       << " auto-deploy=" << settings.GetAutoDeployEnabled();
    doc.summary.push_back(os.str());
    doc.json.Str("kind", "system-settings").Int("usbStorage", settings.GetUSBStorageenabled());
    doc.json.Int("newStudentDialog", settings.GetNewStudentConnectDialogEnable())
        .Int("connectAllow", settings.GetConnectPolicyAllow());
    doc.json.Int("addToClass", settings.GetAddToCurrentClassAllow())
        .Int("autoDeploy", settings.GetAutoDeployEnabled());
    return doc;
}

std::vector<OptionDef> StudentInfoOptions()
{
    return {
        {"file", "PATH", "send this student-information document (StudentInfo.xml layout)"},
        {"id", "ID", "the student's id (with --name, instead of --file)"},
        {"name", "NAME", "the student's name"},
    };
}

Document StudentInfo(const ParsedArgs& args)
{
    checkFileAlone(args, StudentInfoOptions());
    CStudentInfoData info;
    Document doc;
    if (args.Has("file")) {
        doc.text = loadChecked(args.Get("file"), info, "student-information");
    } else {
        if (!args.Has("id") || !args.Has("name"))
            throw UsageError("give --file, or both --id and --name");
        CheckText(args.Get("id"), "--id");
        CheckText(args.Get("name"), "--name");
        info.SetStudentID(args.Get("id"));
        info.SetStudentName(args.Get("name"));
        doc.text = saved(info);
    }
    doc.summary.push_back("student-info: id=" + Output::Word(info.GetStudentID()) +
                          " name=" + Output::Word(info.GetStudentName()));
    doc.json.Str("kind", "student-info")
        .Str("studentID", info.GetStudentID())
        .Str("studentName", info.GetStudentName());
    return doc;
}

std::vector<OptionDef> TeacherInfoOptions()
{
    return {
        {"file", "PATH", "send this teacher-information document (TeacherInfo.xml layout)"},
        {"name", "NAME", "the teacher's name (with --course, instead of --file)"},
        {"course", "COURSE", "the course taught"},
    };
}

Document TeacherInfo(const ParsedArgs& args)
{
    checkFileAlone(args, TeacherInfoOptions());
    CTeacherInfoData info;
    Document doc;
    if (args.Has("file")) {
        doc.text = loadChecked(args.Get("file"), info, "teacher-information");
    } else {
        if (!args.Has("name") || !args.Has("course"))
            throw UsageError("give --file, or both --name and --course");
        CheckText(args.Get("name"), "--name");
        CheckText(args.Get("course"), "--course");
        info.SetTeacherName(args.Get("name"));
        info.SetCourse(args.Get("course"));
        doc.text = saved(info);
    }
    doc.summary.push_back("teacher-info: name=" + Output::Word(info.GetTeacherName()) +
                          " course=" + Output::Word(info.GetCourse()));
    doc.json.Str("kind", "teacher-info")
        .Str("teacherName", info.GetTeacherName())
        .Str("course", info.GetCourse());
    return doc;
}

} // namespace tavctl
