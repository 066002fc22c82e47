// The teacher application's requests (IPCTeacherAPI) and the printing of
// the teacher daemon's notifications.
#include "Commands.h"
#include "TAVProtocol.h"
#include "IPCTeacherAPI.h"
#include "LockScheduleData.h"
#include "Output.h"
#include "Policies.h"
#include "SearchResultData.h"
#include "Secrets.h"

#include <functional>
#include <list>
#include <mutex>

using namespace IPCAPI;
using namespace LibTAVData;

namespace tavctl {

namespace {

std::string yesNo(bool b) { return b ? "true" : "false"; }

std::string programsArg(const std::string& xml)
{
    if (xml.empty())
        return "\"\"";
    CSearchResultData doc;
    if (doc.LoadFromString(xml) != 0 || !doc.GetPApplicationInfoList())
        return std::to_string(xml.size()) + " bytes, no programs document";
    const std::size_t n = doc.GetPApplicationInfoList()->size();
    return std::to_string(n) + (n == 1 ? " program" : " programs");
}

// Prints every notification as it arrives and tells the waiter; merges the
// program-search answers the way the search dialog does.
class TeacherPrinter : public IIPCTeacherAPICallback {
public:
    void SetWaiter(Waiter* waiter) { m_waiter = waiter; }

    void SearchProgramCallBack(std::string studentID, std::string programsXML) override
    {
        Print("SearchProgramCallBack", studentID,
              "(" + Output::Quote(studentID) + ", " + programsArg(programsXML) + ")");
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_searchAnswers;
        if (!programsXML.empty())
            m_merged.AddApplications(programsXML);
    }
    void ManualLockRemotStudentCallBack(std::string studentID, int result) override
    {
        Print("ManualLockRemotStudentCallBack", studentID,
              "(" + Output::Quote(studentID) + ", " + std::to_string(result) + ")");
    }
    void ManualUnLockRemotStudentCallBack(std::string studentID, int result) override
    {
        Print("ManualUnLockRemotStudentCallBack", studentID,
              "(" + Output::Quote(studentID) + ", " + std::to_string(result) + ")");
    }
    void KickOffStudentCallBack(std::string studentID, int result) override
    {
        Print("KickOffStudentCallBack", studentID,
              "(" + Output::Quote(studentID) + ", " + std::to_string(result) + ")");
    }
    void NotifyStudentStatusChanged(std::string studentID, int status) override
    {
        Print("NotifyStudentStatusChanged", studentID,
              "(" + Output::Quote(studentID) + ", " + std::to_string(status) + ")");
    }
    void DeployTabNavPolicyCallBack(std::string studentID, bool success) override
    {
        Print("DeployTabNavPolicyCallBack", studentID, "(" + Output::Quote(studentID) + ", " + yesNo(success) + ")");
    }
    void DeploySchedulePolicyCallBack(std::string studentID, bool success) override
    {
        Print("DeploySchedulePolicyCallBack", studentID,
              "(" + Output::Quote(studentID) + ", " + yesNo(success) + ")");
    }
    void NewStudentCallBack(const tagStudent_t& student) override
    {
        Print("NewStudentCallBack", student.studentID, "(" + Output::Student(student) + ")");
    }
    void OnMessage(int id, std::string text) override
    {
        Print("OnMessage", "", "(" + std::to_string(id) + ", " + Output::Quote(text) + ")");
    }

    // After the session is closed: the merged search result.
    std::vector<std::string> Merged()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> lines;
        const std::list<CApplicationInfo*>* apps = m_merged.GetPApplicationInfoList();
        const std::size_t n = apps ? apps->size() : 0;
        lines.push_back("merged: " + std::to_string(n) + (n == 1 ? " program" : " programs") + " from " +
                        std::to_string(m_searchAnswers) + (m_searchAnswers == 1 ? " answer" : " answers"));
        if (apps)
            for (const CApplicationInfo* app : *apps)
                if (app)
                    lines.push_back("program: " + Output::Quote(app->GetName()) + " " + Output::Word(app->GetPath()));
        return lines;
    }

private:
    void Print(const std::string& kind, const std::string& student, const std::string& args)
    {
        Output::Line("notification: " + kind + args);
        if (m_waiter)
            m_waiter->Note(kind, student);
    }

    Waiter* m_waiter = nullptr;
    std::mutex m_mutex;
    CSearchResultData m_merged;
    int m_searchAnswers = 0;
};

// Outlives the session (and so the last notification).
TeacherPrinter& printer()
{
    static TeacherPrinter p;
    return p;
}

IPCTeacherAPI& api(Session& s)
{
    printer().SetWaiter(&s.GetWaiter());
    return s.Teacher(&printer());
}

// A blocking request with no output parameter.
int call(Session& s, const std::string& message, const std::string& detail, const std::vector<std::string>& lines,
         const std::function<int(IPCTeacherAPI&, int&)>& request)
{
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(message, detail);
    for (const std::string& l : lines)
        Output::Line(l);
    int ret = 0;
    const int rc = s.Blocking([&] { return request(t, ret); });
    ResultLine(s, message, rc, ret);
    return 0;
}

// --student (repeatable) and --all.
std::vector<OptionSpec> targetOptions(bool several)
{
    if (!several)
        return {{"student", "ID", "the student", false, true}};
    return {
        {"student", "ID", "a student", true},
        {"all", "", "every student the daemon lists (asks it with TEACHER_GETSTUDENTLIST first)"},
    };
}

std::vector<std::string> checkedTargets(const ParsedArgs& a)
{
    const std::vector<std::string> ids = a.All("student");
    if (a.Has("all") && !ids.empty())
        throw UsageError("give --student or --all, not both");
    if (!a.Has("all") && ids.empty())
        throw UsageError("name the students: --student ID (repeatable) or --all");
    std::set<std::string> seen;
    for (const std::string& id : ids) {
        CheckStudentID(id, "--student");
        if (!seen.insert(id).second)
            throw UsageError("--student " + id + " given twice");
    }
    return ids;
}

// The ids given, or for --all the daemon's list (the bus is checked).
std::vector<std::string> resolveTargets(Session& s, const ParsedArgs& a, std::vector<std::string> ids)
{
    if (!a.Has("all"))
        return ids;
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTLIST, " (for --all)");
    std::list<tagStudent_t> students;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentList(students, ret); });
    ResultLine(s, Msg::TEACHER_GETSTUDENTLIST, rc, ret);
    std::string line;
    for (const tagStudent_t& st : students) {
        ids.push_back(st.studentID);
        line += " " + Output::Word(st.studentID);
    }
    if (ids.empty())
        throw Failure("the teacher daemon lists no students: nothing sent");
    Output::Line("students:" + line);
    return ids;
}

std::string joinIds(const std::vector<std::string>& ids)
{
    std::string text;
    for (const std::string& id : ids)
        text += (text.empty() ? "" : " ") + Output::Word(id);
    return text;
}

std::vector<OptionSpec> concat(std::vector<OptionSpec> a, const std::vector<OptionSpec>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- blocking requests -------------------------------------------------

int updateTeacherInfo(Session& s, const ParsedArgs& a)
{
    const Document d = TeacherInfo(a);
    return call(s, Msg::TEACHER_UPDATETEACHERINFO, "", d.summary,
                [&](IPCTeacherAPI& t, int& ret) { return t.UpdateTeacherInfo(d.text, ret); });
}

int startController(Session& s, const ParsedArgs&)
{
    return call(s, Msg::TEACHER_STARTCONTROLLER, "", {}, [](IPCTeacherAPI& t, int& ret) { return t.StartController(ret); });
}

int stopController(Session& s, const ParsedArgs&)
{
    return call(s, Msg::TEACHER_STOPCONTROLLER, "", {}, [](IPCTeacherAPI& t, int& ret) { return t.StopController(ret); });
}

int cancelOperation(Session& s, const ParsedArgs& a)
{
    const int oid = RequiredInt(a, "oid");
    return call(s, Msg::TEACHER_CANCELOPERATION, " oid=" + std::to_string(oid), {},
                [&](IPCTeacherAPI& t, int& ret) { return t.CancelOperation(oid, ret); });
}

int getStudentList(Session& s, const ParsedArgs&)
{
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTLIST);
    std::list<tagStudent_t> students;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentList(students, ret); });
    ResultLine(s, Msg::TEACHER_GETSTUDENTLIST, rc, ret);
    Output::Line("students: " + std::to_string(students.size()));
    for (const tagStudent_t& st : students)
        Output::Line("student: " + Output::Student(st));
    return 0;
}

int getStudentStatus(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTSTATUS, " student=" + Output::Word(id));
    // An answer without a record leaves this as it is: an empty id says so.
    tagStudent_t student;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentStatus(id, student, ret); });
    ResultLine(s, Msg::TEACHER_GETSTUDENTSTATUS, rc, ret);
    if (student.studentID.empty() && student.username.empty() && student.hostname.empty() && student.IP.empty())
        Output::Line("student: none in the answer");
    else
        Output::Line("student: " + Output::Student(student));
    return 0;
}

int getStudentLockPolicy(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTLOCKPOLICY, " student=" + Output::Word(id));
    CLockScheduleData policy;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentLockPolicy(id, policy, ret); });
    ResultLine(s, Msg::TEACHER_GETSTUDENTLOCKPOLICY, rc, ret);
    for (const std::string& l : DescribeLockSchedule(policy))
        Output::Line(l);
    if (a.Has("save")) {
        if (policy.Save2File(a.Get("save")) != 0)
            throw Failure("the policy was received but could not be saved to " + a.Get("save"));
        Output::Line("saved: " + a.Get("save"));
    }
    return 0;
}

int changePassword(Session& s, const ParsedArgs&)
{
    const std::string oldPassword = ReadSecret("Old password: ");
    const std::string newPassword = ReadSecret("New password: ");
    if (SecretsFromTerminal() && ReadSecret("Repeat the new password: ") != newPassword)
        throw UsageError("the new passwords differ: nothing sent");
    CheckText(oldPassword, "the old password");
    CheckText(newPassword, "the new password");
    return call(s, Msg::TEACHER_CHANGEPASSWORD, "", {},
                [&](IPCTeacherAPI& t, int& ret) { return t.ChangePassword(oldPassword, newPassword, ret); });
}

int importCertificate(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    return call(s, Msg::TEACHER_IMPORTCERTIFICATE, " path=" + Output::Word(path), {},
                [&](IPCTeacherAPI& t, int& ret) { return t.ImportCertificate(path, ret); });
}

int verifyPassword(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    const std::string password = ReadSecret("Password: ");
    CheckText(password, "the password");
    return call(s, Msg::TEACHER_VERIFYPASSWORD, a.Has("path") ? " path=" + Output::Word(path) : "", {},
                [&](IPCTeacherAPI& t, int& ret) {
                    return a.Has("path") ? t.VerifyPassword(path, password, ret) : t.VerifyPassword(password, ret);
                });
}

int verifyCertificate(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    return call(s, Msg::TEACHER_VERIFYCERTIFICATE, a.Has("path") ? " path=" + Output::Word(path) : "", {},
                [&](IPCTeacherAPI& t, int& ret) {
                    return a.Has("path") ? t.VerifyCertificate(path, ret) : t.VerifyCertificate(ret);
                });
}

// ---- signal requests ---------------------------------------------------

int postMessage(Session& s, const ParsedArgs& a)
{
    const int id = RequiredInt(a, "id");
    const std::string text = a.Get("text");
    CheckText(text, "--text");
    s.CheckBus(false);  // for the teacher applications: no daemon needed
    IPCTeacherAPI& t = api(s);
    const WaitPlan plan = PlanWait(s, a, {"OnMessage"}, {}, 1);
    RequestLine(Msg::POSTMESSAGE, " id=" + std::to_string(id) + " text=" + Output::Quote(text));
    SentLine(Msg::POSTMESSAGE, t.PostMessage(id, text));
    FinishWait(s, plan);
    return 0;
}

int searchProgram(Session& s, const ParsedArgs& a)
{
    const std::string folder = a.Get("folder");
    CheckText(folder, "--folder");
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    const WaitPlan plan = PlanWait(s, a, {"SearchProgramCallBack"}, {}, 0);
    RequestLine(Msg::TEACHER_SEARCHPROGRAM, " folder=" + Output::Word(folder));
    int opid = 0;
    const int rc = t.SearchProgram(folder, opid);
    Output::Line("opid: " + std::to_string(opid));
    SentLine(Msg::TEACHER_SEARCHPROGRAM, rc);
    if (!plan.wait)
        return 0;
    try {
        FinishWait(s, plan);
    } catch (const Failure&) {
        for (const std::string& l : printer().Merged())
            Output::Line(l);
        throw;
    }
    for (const std::string& l : printer().Merged())
        Output::Line(l);
    return 0;
}

// Deployments: one id the single form, several or --all (or --list) the
// list form.
int deploy(Session& s, const ParsedArgs& a, const Document& d, const std::string& single, const std::string& list,
           const std::string& answer,
           const std::function<int(IPCTeacherAPI&, const std::string&)>& one,
           const std::function<int(IPCTeacherAPI&, const std::list<std::string>&)>& many)
{
    std::vector<std::string> ids = checkedTargets(a);
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    ids = resolveTargets(s, a, ids);
    const bool asList = ids.size() > 1 || a.Has("all") || a.Has("list");
    const WaitPlan plan = PlanWait(s, a, {answer}, std::set<std::string>(ids.begin(), ids.end()), 0);
    const std::string message = asList ? list : single;
    RequestLine(message, (asList ? " students=" : " student=") + joinIds(ids));
    for (const std::string& l : d.summary)
        Output::Line(l);
    const int rc = asList ? many(t, std::list<std::string>(ids.begin(), ids.end())) : one(t, ids.front());
    SentLine(message, rc);
    FinishWait(s, plan);
    return 0;
}

int deployTabNavPolicy(Session& s, const ParsedArgs& a)
{
    const Document d = TabNavPolicy(a);
    return deploy(
        s, a, d, Msg::TEACHER_DEPLOYTABNAVPOLICY, Msg::TEACHER_DEPLOYTABNAVPOLICYLIST, "DeployTabNavPolicyCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) { return t.DeployTabNavPolicy(id, d.text); },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) { return t.DeployTabNavPolicy(ids, d.text); });
}

int deploySchedulePolicy(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, false);
    return deploy(
        s, a, d, Msg::TEACHER_DEPLOYSCHEDULEPOLICY, Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST, "DeploySchedulePolicyCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) { return t.DeploySchedulePolicy(id, d.text); },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) { return t.DeploySchedulePolicy(ids, d.text); });
}

// Kick-off, lock and unlock: one signal per student (the list forms of lock
// and unlock are retired; --list calls them to show it).
int perStudent(Session& s, const ParsedArgs& a, const Document* d, const std::string& message,
               const std::string& answer, const std::function<int(IPCTeacherAPI&, const std::string&)>& one,
               const std::function<int(IPCTeacherAPI&, const std::list<std::string>&)>& retired)
{
    std::vector<std::string> ids = checkedTargets(a);
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    ids = resolveTargets(s, a, ids);
    if (a.Has("list")) {
        RequestLine("(retired list form of " + message + ")", " students=" + joinIds(ids));
        if (retired(t, std::list<std::string>(ids.begin(), ids.end())) != 0)
            throw Failure("the list form of " + message + " is retired: nothing was sent");
        Output::Line("sent");
        return 0;
    }
    const WaitPlan plan = PlanWait(s, a, {answer}, std::set<std::string>(ids.begin(), ids.end()), 0);
    if (d)
        for (const std::string& l : d->summary)
            Output::Line(l);
    for (const std::string& id : ids) {
        RequestLine(message, " student=" + Output::Word(id));
        SentLine(message, one(t, id));
    }
    FinishWait(s, plan);
    return 0;
}

int kickOffStudent(Session& s, const ParsedArgs& a)
{
    return perStudent(s, a, nullptr, Msg::TEACHER_KICKOFFSTUDENT, "KickOffStudentCallBack",
                      [](IPCTeacherAPI& t, const std::string& id) { return t.KickOffStudent(id); }, nullptr);
}

int manualLockRemoteStudent(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, true);
    return perStudent(
        s, a, &d, Msg::TEACHER_MANUALLOCKREMOTESTUDENT, "ManualLockRemotStudentCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) { return t.ManualLockRemotStudent(id, d.text); },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) { return t.ManualLockRemotStudent(ids, d.text); });
}

int manualUnlockRemoteStudent(Session& s, const ParsedArgs& a)
{
    return perStudent(
        s, a, nullptr, Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN, "ManualUnLockRemotStudentCallBack",
        [](IPCTeacherAPI& t, const std::string& id) { return t.ManualUnlockRemoteStudent(id); },
        [](IPCTeacherAPI& t, const std::list<std::string>& ids) { return t.ManualUnlockRemoteStudent(ids); });
}

int controlNewStudentConnect(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    const bool allow = a.Switch("allow", 0) == 1;
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    const WaitPlan plan = PlanWait(s, a, {}, {}, 0);
    RequestLine(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, " student=" + Output::Word(id) + " allow=" + (allow ? kTrue : kFalse));
    SentLine(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, t.ControlNewStudentConnect(id, allow));
    FinishWait(s, plan);
    return 0;
}

int listen(Session& s, const ParsedArgs& a)
{
    return Listen(s, a, kTeacherDaemonIface, [&] {
        s.CheckBus(false);  // the daemon may come later
        api(s);
    });
}

const OptionSpec kList = {"list", "", "send the list form even for one student"};

} // namespace

const std::vector<CommandSpec>& TeacherCommands()
{
    static const std::vector<CommandSpec> commands = {
        {"get-student-list", "TEACHER_GETSTUDENTLIST (blocking)", "list the students of the class", "", {},
         getStudentList},
        {"get-student-status", "TEACHER_GETSTUDENTSTATUS (blocking)", "show one student's record", "",
         targetOptions(false), getStudentStatus},
        {"get-student-lock-policy", "TEACHER_GETSTUDENTLOCKPOLICY (blocking)", "show one student's lock policy", "",
         concat(targetOptions(false), {{"save", "PATH", "also save the policy to PATH (LockSchedule.xml layout)"}}),
         getStudentLockPolicy},
        {"update-teacher-info", "TEACHER_UPDATETEACHERINFO (blocking)", "send the teacher's information",
         "The document is built from --name and --course, or read from --file.", TeacherInfoOptions(),
         updateTeacherInfo},
        {"start-controller", "TEACHER_STARTCONTROLLER (blocking)", "start the controller", "", {}, startController},
        {"stop-controller", "TEACHER_STOPCONTROLLER (blocking)", "stop the controller", "", {}, stopController},
        {"cancel-operation", "TEACHER_CANCELOPERATION (blocking)", "cancel a running operation (a program search)",
         "The operation id is the opid search-program printed.",
         {{"oid", "N", "the operation id", false, true}}, cancelOperation},
        {"change-password", "TEACHER_CHANGEPASSWORD (blocking)", "change the teacher password",
         "The old and the new password are typed without echo (the new one twice),\n"
         "or read as two lines of standard input. Never give them on the command line.",
         {}, changePassword},
        {"import-certificate", "TEACHER_IMPORTCERTIFICATE (blocking)", "import a certificate", "",
         {{"path", "PATH", "the certificate file, as the daemon sees it", false, true}}, importCertificate},
        {"verify-password", "TEACHER_VERIFYPASSWORD (blocking)", "check the teacher password",
         "The password is typed without echo, or read as one line of standard input.",
         {{"path", "PATH", "the certificate to check against (default: none, sent empty)"}}, verifyPassword},
        {"verify-certificate", "TEACHER_VERIFYCERTIFICATE (blocking)", "check a certificate", "",
         {{"path", "PATH", "the certificate (default: none, sent empty)"}}, verifyCertificate},
        {"post-message", "POSTMESSAGE (signal to every teacher application)", "post a message to the teacher applications",
         "", concat({{"id", "N", "the message id", false, true}, {"text", "TEXT", "the message", false, true}},
                    WaitOptions("the message to come back")),
         postMessage},
        {"search-program", "TEACHER_SEARCHPROGRAM (signal)", "search programs on every student",
         "Each student answers with SearchProgramCallBack. With --wait the answers are\n"
         "printed as they arrive and merged (a name found twice is kept once); the\n"
         "merged list is printed at the end. The opid printed can be cancelled with\n"
         "cancel-operation.",
         concat({{"folder", "PATH", "the folder searched on the students", false, true}},
                WaitOptions("the students' answers")),
         searchProgram},
        {"deploy-tab-nav-policy", "TEACHER_DEPLOYTABNAVPOLICY or TEACHER_DEPLOYTABNAVPOLICYLIST (signal)",
         "deploy a tab-navigation policy",
         "One --student sends the single form; several, --all or --list the list form.\n"
         "The policy is built from --tab and --program, or read from --file.",
         concat(concat(concat(targetOptions(true), {kList}), TabNavOptions()),
                WaitOptions("one DeployTabNavPolicyCallBack per student")),
         deployTabNavPolicy},
        {"deploy-schedule-policy", "TEACHER_DEPLOYSCHEDULEPOLICY or TEACHER_DEPLOYSCHEDULEPOLICYLIST (signal)",
         "deploy a lock schedule",
         "One --student sends the single form; several, --all or --list the list form.\n"
         "The schedule is built from the options below, or read from --file.",
         concat(concat(concat(targetOptions(true), {kList}), LockPolicyOptions()),
                WaitOptions("one DeploySchedulePolicyCallBack per student")),
         deploySchedulePolicy},
        {"kick-off-student", "TEACHER_KICKOFFSTUDENT (signal, one per student)", "remove students from the class", "",
         concat(targetOptions(true), WaitOptions("one KickOffStudentCallBack per student")), kickOffStudent},
        {"manual-lock-remote-student", "TEACHER_MANUALLOCKREMOTESTUDENT (signal, one per student)",
         "lock students now",
         "The lock policy is built from the options below (manual locking on unless\n"
         "--manual-lock off), or read from --file. --list calls the retired list form,\n"
         "which sends nothing.",
         concat(concat(concat(targetOptions(true), {{"list", "", "call the retired list form (sends nothing)"}}),
                       LockPolicyOptions()),
                WaitOptions("one ManualLockRemotStudentCallBack per student")),
         manualLockRemoteStudent},
        {"manual-unlock-remote-student", "TEACHER_MANUALUNLOCKREMOTESTUDEN (signal, one per student)",
         "unlock students now", "--list calls the retired list form, which sends nothing.",
         concat(concat(targetOptions(true), {{"list", "", "call the retired list form (sends nothing)"}}),
                WaitOptions("one ManualUnLockRemotStudentCallBack per student")),
         manualUnlockRemoteStudent},
        {"control-new-student-connect", "TEACHER_CONTROLNEWSTUDENTCONNECT (signal)",
         "answer a student asking to join (NewStudentCallBack)", "",
         concat({{"student", "ID", "the student asking", false, true},
                 {"allow", "yes|no", "let the student join", false, true}},
                WaitOptions("notifications")),
         controlNewStudentConnect},
        {"listen", "", "print every notification of the teacher daemon as it arrives",
         "Runs until interrupted (Ctrl-C), --count notifications arrived or --timeout\n"
         "passed. \"listening: ...\" is printed once notifications can arrive.",
         ListenOptions(), listen},
    };
    return commands;
}

} // namespace tavctl
