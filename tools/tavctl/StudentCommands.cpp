// The student application's requests (IPCStudentAPI) and the printing of
// the student daemon's notifications.
#include "Commands.h"
#include "IPCStudentAPI.h"
#include "Output.h"
#include "Policies.h"
#include "Secrets.h"
#include "TAVProtocol.h"

#include <functional>
#include <list>
#include <mutex>

using namespace IPCAPI;

namespace tavctl {

namespace {

class StudentPrinter : public IIPCStudentAPICallback {
public:
    void SetWaiter(Waiter* waiter) { m_waiter = waiter; }

    void ConnectTeacherCallBack(std::string teacherID, int result) override
    {
        Print(Msg::CONNECTTEACHERCALLBACK, "ConnectTeacherCallBack",
              Output::Quote(teacherID) + ", " + std::to_string(result),
              JsonObject().Str("teacherID", teacherID).Int("result", result), result);
    }
    void SearchTeacherCallBack(const std::list<std::string>& teachers) override
    {
        std::string list;
        for (const std::string& t : teachers)
            list += (list.empty() ? "" : ", ") + Output::Quote(t);
        Print(Msg::SEARCHTEACHERCALLBACK, "SearchTeacherCallBack", "[" + list + "]",
              JsonObject().Strs("teachers",
                                std::vector<std::string>(teachers.begin(), teachers.end())));
    }
    void NotifyLockStatusChanged(bool locked) override
    {
        Print(Msg::NOTIFYLOCKSTATUSCHANGED, "NotifyLockStatusChanged", locked ? "true" : "false",
              JsonObject().Bool("locked", locked));
    }
    void NotifyTabNavPolicyChanged() override
    {
        Print(Msg::NOTIFYTABNAVPOLICYCHANGED, "NotifyTabNavPolicyChanged", "", JsonObject());
    }
    void NotifySchedulePolicyChanged() override
    {
        Print(Msg::NOTIFYSCHEDULEPOLICYCHANGED, "NotifySchedulePolicyChanged", "", JsonObject());
    }
    void NotifyTeacherStatusChanged(std::string teacherID, int state) override
    {
        Print(Msg::NOTIFYTEACHERSTATUSCHANGED, "NotifyTeacherStatusChanged",
              Output::Quote(teacherID) + ", " + std::to_string(state),
              JsonObject().Str("teacherID", teacherID).Int("state", state));
    }
    void SearchLocalProgramCallBack(std::string programsXML) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_programs = programsXML;
        }
        Print(Msg::SEARCHLOCALPROGRAMCALLBACK, "SearchLocalProgramCallBack",
              ProgramsArgument(programsXML), ProgramsJson(programsXML));
    }
    void OnMessage(int id, std::string text) override
    {
        Print(Msg::POSTMESSAGE, "OnMessage", std::to_string(id) + ", " + Output::Quote(text),
              JsonObject().Int("id", id).Str("text", text));
    }

    std::string LastPrograms()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_programs;
    }

private:
    void Print(const char* message, const char* callback, const std::string& text,
               const JsonObject& arguments, int verdict = 0)
    {
        NotificationLine(m_waiter, message, callback, "", text, arguments, verdict);
    }

    Waiter* m_waiter = nullptr;
    std::mutex m_mutex;
    std::string m_programs;
};

StudentPrinter& printer()
{
    static StudentPrinter p;
    return p;
}

IPCStudentAPI& api(Session& s)
{
    printer().SetWaiter(&s.GetWaiter());
    return s.Student(&printer());
}

int call(Session& s, const std::string& message, const std::string& detail,
         const JsonObject& fields, const Document* document,
         const std::function<int(IPCStudentAPI&, int&)>& request)
{
    s.CheckBus(true);
    IPCStudentAPI& st = api(s);
    RequestLine(message, true, detail, fields, document);
    if (document)
        for (const std::string& l : document->summary)
            Output::Line(l);
    int ret = 0;
    const int rc = s.Blocking([&] { return request(st, ret); });
    ResultLine(s, message, rc, ret);
    return 0;
}

// A signal request answered by one notification of kind.
int signal(Session& s, const ParsedArgs& a, const std::string& message, const std::string& detail,
           const JsonObject& fields, const std::string& kind, bool needDaemon,
           const std::function<int(IPCStudentAPI&)>& request)
{
    s.CheckBus(needDaemon);
    IPCStudentAPI& st = api(s);
    const WaitPlan plan = PlanWait(s, a, {kind}, nullptr, 1);
    RequestLine(message, false, detail, fields);
    SentLine(message, request(st));
    FinishWait(s, plan);
    return 0;
}

std::vector<OptionDef> concat(std::vector<OptionDef> a, const std::vector<OptionDef>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int postMessage(Session& s, const ParsedArgs& a)
{
    const int id = RequiredInt(a, "id");
    const std::string text = a.Get("text");
    CheckText(text, "--text");
    return signal(s, a, Msg::POSTMESSAGE,
                  " id=" + std::to_string(id) + " text=" + Output::Quote(text),
                  JsonObject().Int("id", id).Str("text", text), "OnMessage", false,
                  [&](IPCStudentAPI& st) { return st.PostMessage(id, text); });
}

int searchLocalProgram(Session& s, const ParsedArgs& a)
{
    const std::string folder = a.Get("folder");
    CheckText(folder, "--folder");
    s.CheckBus(true);
    IPCStudentAPI& st = api(s);
    const WaitPlan plan = PlanWait(s, a, {"SearchLocalProgramCallBack"}, nullptr, 1);
    RequestLine(Msg::SEARCHLOCALPROGRAM, false, " folder=" + Output::Word(folder),
                JsonObject().Str("folder", folder));
    int opid = 0;
    const int rc = st.SearchLocalProgram(folder, opid);
    Output::Line("opid: " + std::to_string(opid));
    SentLine(Msg::SEARCHLOCALPROGRAM, rc, JsonObject().Int("opid", opid));
    FinishWait(s, plan);
    // The notification object carries them already.
    std::vector<std::string> lines;
    std::vector<JsonObject> programs;
    if (plan.wait && ReadPrograms(printer().LastPrograms(), lines, programs))
        for (const std::string& l : lines)
            Output::Line(l);
    return 0;
}

int searchTeacher(Session& s, const ParsedArgs& a)
{
    return signal(s, a, Msg::SEARCHTEACHER, "", JsonObject(), "SearchTeacherCallBack", true,
                  [](IPCStudentAPI& st) { return st.SearchTeacher(); });
}

int connectTeacher(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("teacher");
    CheckText(id, "--teacher");
    return signal(s, a, Msg::CONNECTTEACHER, " teacher=" + Output::Word(id),
                  JsonObject().Str("teacher", id), "ConnectTeacherCallBack", true,
                  [&](IPCStudentAPI& st) { return st.ConnectTeacher(id); });
}

int switchToNormalOS(Session& s, const ParsedArgs&)
{
    return call(s, Msg::STUDENT_SWITCHTONORMALOS, "", JsonObject(), nullptr,
                [](IPCStudentAPI& st, int& ret) { return st.SwitchToNormalOS(ret); });
}

int cancelOperation(Session& s, const ParsedArgs& a)
{
    const int oid = RequiredInt(a, "oid");
    return call(s, Msg::STUDENT_CANCELOPERATION, " oid=" + std::to_string(oid),
                JsonObject().Int("oid", oid), nullptr,
                [&](IPCStudentAPI& st, int& ret) { return st.CancelOperation(oid, ret); });
}

int verifyUserPassword(Session& s, const ParsedArgs& a)
{
    const std::string user = a.Get("user");
    CheckText(user, "--user");
    const std::string password = ReadSecret("Password for " + user + ": ");
    CheckText(password, "the password");
    return call(s, Msg::VERIFYUSERPASSWORD, " user=" + Output::Word(user),
                JsonObject().Str("user", user), nullptr, [&](IPCStudentAPI& st, int& ret) {
                    return st.VerifyUserPassword(user, password, ret);
                });
}

int getConnectedTeacher(Session& s, const ParsedArgs&)
{
    s.CheckBus(true);
    IPCStudentAPI& st = api(s);
    RequestLine(Msg::GETCONNECTEDTEACHER, true);
    std::string teacher;
    int ret = 0;
    const int rc = s.Blocking([&] { return st.GetConnectedTeacher(teacher, ret); });
    ResultLine(s, Msg::GETCONNECTEDTEACHER, rc, ret, {"teacher: " + Output::Word(teacher)},
               JsonObject().Str("teacherID", teacher));
    return 0;
}

int hardWareControl(Session& s, const ParsedArgs& a)
{
    const Document d = SystemSettings(a);
    return call(s, Msg::HARDWARECONTROL, "", JsonObject(), &d,
                [&](IPCStudentAPI& st, int& ret) { return st.HardWareControl(d.text, ret); });
}

int saveStudentInfo(Session& s, const ParsedArgs& a)
{
    const Document d = StudentInfo(a);
    return call(s, Msg::SAVESTUDENTINFO, "", JsonObject(), &d,
                [&](IPCStudentAPI& st, int& ret) { return st.SaveStudentInfo(d.text, ret); });
}

int saveLocalSchedulePolicy(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, false);
    return call(
        s, Msg::SAVELOCALSCHEDULEPOLICY, "", JsonObject(), &d,
        [&](IPCStudentAPI& st, int& ret) { return st.SaveLocalSchedulePolicy(d.text, ret); });
}

int saveLocalTabNavPolicy(Session& s, const ParsedArgs& a)
{
    const Document d = TabNavPolicy(a);
    return call(s, Msg::SAVELOCALTABNAVPOLICY, "", JsonObject(), &d,
                [&](IPCStudentAPI& st, int& ret) { return st.SaveLocalTabNavPolicy(d.text, ret); });
}

int disconnectStudent(Session& s, const ParsedArgs&)
{
    return call(s, Msg::DISCONNECTSTUDENT, "", JsonObject(), nullptr,
                [](IPCStudentAPI& st, int& ret) { return st.DisconnectStudent(ret); });
}

int manualUnLockLocalStudent(Session& s, const ParsedArgs&)
{
    return call(s, Msg::MANUALUNLOCKLOCALSTUDENT, "", JsonObject(), nullptr,
                [](IPCStudentAPI& st, int& ret) { return st.ManualUnLockLocalStudent(ret); });
}

int manualLockLocalStudent(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, true);
    return call(
        s, Msg::MANUALLOCKLOCALSTUDENT, "", JsonObject(), &d,
        [&](IPCStudentAPI& st, int& ret) { return st.ManualLockLocalStudent(d.text, ret); });
}

int listen(Session& s, const ParsedArgs& a)
{
    return Listen(s, a, kStudentDaemonIface, [&] {
        s.CheckBus(false);
        api(s);
    });
}

} // namespace

const std::vector<CommandDef>& StudentCommands()
{
    static const std::vector<CommandDef> commands = {
        {"get-connected-teacher",
         Sends(Msg::GETCONNECTEDTEACHER, "blocking"),
         "show the teacher this machine is connected to",
         "",
         {},
         getConnectedTeacher},
        {"verify-user-password",
         Sends(Msg::VERIFYUSERPASSWORD, "blocking"),
         "check a user's password",
         "The password is typed without echo, or read as one line of standard input.\n"
         "Never give it on the command line.",
         {{"user", "NAME", "the user", false, true}},
         verifyUserPassword},
        {"switch-to-normal-os",
         Sends(Msg::STUDENT_SWITCHTONORMALOS, "blocking"),
         "leave the locked-down shell",
         "",
         {},
         switchToNormalOS},
        {"cancel-operation",
         Sends(Msg::STUDENT_CANCELOPERATION, "blocking"),
         "cancel a running operation (a program search)",
         "The operation id is the opid search-local-program printed.",
         {{"oid", "N", "the operation id", false, true}},
         cancelOperation},
        {"hardware-control", Sends(Msg::HARDWARECONTROL, "blocking"),
         "send the system settings (USB storage)",
         "The settings are built from the options below (unset switches keep the\n"
         "defaults of a machine without a settings file), or read from --file.",
         SystemSettingOptions(), hardWareControl},
        {"save-student-info", Sends(Msg::SAVESTUDENTINFO, "blocking"),
         "send the student's information",
         "The document is built from --id and --name, or read from --file.", StudentInfoOptions(),
         saveStudentInfo},
        {"save-local-schedule-policy", Sends(Msg::SAVELOCALSCHEDULEPOLICY, "blocking"),
         "store a lock schedule on this machine",
         "The schedule is built from the options below, or read from --file.", LockPolicyOptions(),
         saveLocalSchedulePolicy},
        {"save-local-tab-nav-policy", Sends(Msg::SAVELOCALTABNAVPOLICY, "blocking"),
         "store a tab-navigation policy on this machine",
         "The policy is built from --tab and --program, or read from --file.", TabNavOptions(),
         saveLocalTabNavPolicy},
        {"disconnect-student",
         Sends(Msg::DISCONNECTSTUDENT, "blocking"),
         "leave the teacher's class",
         "",
         {},
         disconnectStudent},
        {"manual-lock-local-student", Sends(Msg::MANUALLOCKLOCALSTUDENT, "blocking"),
         "lock this machine now",
         "The lock policy is built from the options below (manual locking on unless\n"
         "--manual-lock off), or read from --file.",
         LockPolicyOptions(), manualLockLocalStudent},
        {"manual-unlock-local-student",
         Sends(Msg::MANUALUNLOCKLOCALSTUDENT, "blocking"),
         "unlock this machine now",
         "",
         {},
         manualUnLockLocalStudent},
        {"search-local-program", Sends(Msg::SEARCHLOCALPROGRAM, "signal"),
         "search programs on this machine",
         "The daemon answers with SearchLocalProgramCallBack; with --wait its programs\n"
         "are printed. The opid printed can be cancelled with cancel-operation.",
         concat({{"folder", "PATH", "the folder searched", false, true}},
                WaitOptions("the answer")),
         searchLocalProgram},
        {"search-teacher", Sends(Msg::SEARCHTEACHER, "signal"), "look for teachers", "",
         WaitOptions("the SearchTeacherCallBack answer"), searchTeacher},
        {"connect-teacher", Sends(Msg::CONNECTTEACHER, "signal"), "join a teacher's class", "",
         concat({{"teacher", "ID", "the teacher", false, true}},
                WaitOptions("the ConnectTeacherCallBack answer")),
         connectTeacher},
        {"post-message", Sends(Msg::POSTMESSAGE, "signal to every student application"),
         "post a message to the student applications", "",
         concat({{"id", "N", "the message id", false, true},
                 {"text", "TEXT", "the message", false, true}},
                WaitOptions("the message to come back")),
         postMessage},
        {"listen", "", "print every notification of the student daemon as it arrives",
         "Runs until interrupted (Ctrl-C), --count notifications arrived or --timeout\n"
         "passed. \"listening: ...\" is printed once notifications can arrive.",
         ListenOptions(), listen},
    };
    return commands;
}

} // namespace tavctl
