// The teacher application's requests (IPCTeacherAPI) and the printing of
// the teacher daemon's notifications.
#include "Commands.h"
#include "IPCTeacherAPI.h"
#include "LockScheduleData.h"
#include "Output.h"
#include "Policies.h"
#include "SearchResultData.h"
#include "Secrets.h"
#include "TAVProtocol.h"

#include <functional>
#include <list>
#include <mutex>

using namespace IPCAPI;
using namespace LibTAVData;

namespace tavctl {

namespace {

std::string yesNo(bool b) { return b ? "true" : "false"; }

// Prints every notification as it arrives and tells the waiter; merges the
// program-search answers the way the search dialog does.
class TeacherPrinter : public IIPCTeacherAPICallback {
public:
    void SetWaiter(Waiter* waiter) { m_waiter = waiter; }

    void SearchProgramCallBack(std::string studentID, std::string programsXML) override
    {
        NotificationLine(m_waiter, Msg::TEACHER_SEARCHPROGRAMCALLBACK, "SearchProgramCallBack",
                         studentID, Output::Quote(studentID) + ", " + ProgramsArgument(programsXML),
                         JsonObject().Str("studentID", studentID).Merge(ProgramsJson(programsXML)));
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_searchAnswers;
        if (!programsXML.empty())
            m_merged.AddApplications(programsXML);
    }
    void ManualLockRemotStudentCallBack(std::string studentID, int result) override
    {
        Returned(Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK, "ManualLockRemotStudentCallBack",
                 studentID, result);
    }
    void ManualUnLockRemotStudentCallBack(std::string studentID, int result) override
    {
        Returned(Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK, "ManualUnLockRemotStudentCallBack",
                 studentID, result);
    }
    void KickOffStudentCallBack(std::string studentID, int result) override
    {
        Returned(Msg::TEACHER_KICKOFFSTUDENTCALLBACK, "KickOffStudentCallBack", studentID, result);
    }
    void NotifyStudentStatusChanged(std::string studentID, int status) override
    {
        NotificationLine(m_waiter, Msg::TEACHER_NOTIFYSTUDENTSTATUSCHANGED,
                         "NotifyStudentStatusChanged", studentID,
                         Output::Quote(studentID) + ", " + std::to_string(status),
                         JsonObject().Str("studentID", studentID).Int("status", status));
    }
    void DeployTabNavPolicyCallBack(std::string studentID, bool success) override
    {
        Deployed(Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK, "DeployTabNavPolicyCallBack", studentID,
                 success);
    }
    void DeploySchedulePolicyCallBack(std::string studentID, bool success) override
    {
        Deployed(Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK, "DeploySchedulePolicyCallBack",
                 studentID, success);
    }
    void NewStudentCallBack(const tagStudent_t& student) override
    {
        NotificationLine(m_waiter, Msg::TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK,
                         "NewStudentCallBack", student.studentID, Output::Student(student),
                         JsonObject().Obj("student", Output::StudentJson(student)));
    }
    void OnMessage(int id, std::string text) override
    {
        NotificationLine(m_waiter, Msg::POSTMESSAGE, "OnMessage", "",
                         std::to_string(id) + ", " + Output::Quote(text),
                         JsonObject().Int("id", id).Str("text", text));
    }

    // After the session is closed: the merged search result.
    void PrintMerged()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> programLines;
        std::vector<JsonObject> programs;
        ListPrograms(m_merged, programLines, programs);
        const std::size_t n = programs.size();
        std::vector<std::string> lines = {
            "merged: " + std::to_string(n) + (n == 1 ? " program" : " programs") + " from " +
            std::to_string(m_searchAnswers) + (m_searchAnswers == 1 ? " answer" : " answers")};
        lines.insert(lines.end(), programLines.begin(), programLines.end());
        Output::Emit(
            lines,
            Output::Object("merged").Int("answers", m_searchAnswers).Objs("programs", programs));
    }

private:
    // An answer carrying the student's result code.
    void Returned(const char* message, const char* callback, const std::string& studentID,
                  int result)
    {
        NotificationLine(m_waiter, message, callback, studentID,
                         Output::Quote(studentID) + ", " + std::to_string(result),
                         JsonObject().Str("studentID", studentID).Int("result", result), result);
    }
    // A deployment's answer: applied or not (a failure counts as result 1).
    void Deployed(const char* message, const char* callback, const std::string& studentID,
                  bool success)
    {
        NotificationLine(m_waiter, message, callback, studentID,
                         Output::Quote(studentID) + ", " + yesNo(success),
                         JsonObject().Str("studentID", studentID).Bool("success", success),
                         success ? 0 : 1);
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
int call(Session& s, const std::string& message, const std::string& detail,
         const JsonObject& fields, const Document* document,
         const std::function<int(IPCTeacherAPI&, int&)>& request)
{
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(message, true, detail, fields, document);
    if (document)
        for (const std::string& l : document->summary)
            Output::Line(l);
    int ret = 0;
    const int rc = s.Blocking([&] { return request(t, ret); });
    ResultLine(s, message, rc, ret);
    return 0;
}

// --student (repeatable) and --all.
std::vector<OptionDef> targetOptions(bool several)
{
    if (!several)
        return {{"student", "ID", "the student", false, true}};
    return {
        {"student", "ID", "a student", true},
        {"all", "",
         "every student the daemon lists (asks it with " +
             std::string(Msg::TEACHER_GETSTUDENTLIST) + " first)"},
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

// The class as the daemon lists it, asked for another option (purpose):
// "request: TEACHER_GETSTUDENTLIST (for --PURPOSE)", its result and
// "students: ID..."; false when the daemon's result code is not 0.
bool askClass(Session& s, IPCTeacherAPI& t, const std::string& purpose,
              std::vector<std::string>& ids)
{
    RequestLine(Msg::TEACHER_GETSTUDENTLIST, true, " (for --" + purpose + ")",
                JsonObject().Str("for", purpose));
    std::list<tagStudent_t> students;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentList(students, ret); });
    std::vector<JsonObject> records;
    for (const tagStudent_t& st : students) {
        ids.push_back(st.studentID);
        records.push_back(Output::StudentJson(st));
    }
    ResultLine(s, Msg::TEACHER_GETSTUDENTLIST, rc, ret,
               ids.empty() ? std::vector<std::string>()
                           : std::vector<std::string>{"students: " + JoinIds(ids)},
               JsonObject().Objs("students", records));
    return ret == 0;
}

// The ids given, or for --all the daemon's list (the bus is checked).
std::vector<std::string> resolveTargets(Session& s, const ParsedArgs& a,
                                        std::vector<std::string> ids)
{
    if (!a.Has("all"))
        return ids;
    askClass(s, api(s), "all", ids);
    if (ids.empty())
        throw Failure("the teacher daemon lists no students: nothing sent");
    return ids;
}

std::vector<OptionDef> concat(std::vector<OptionDef> a, const std::vector<OptionDef>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---- blocking requests -------------------------------------------------

int updateTeacherInfo(Session& s, const ParsedArgs& a)
{
    const Document d = TeacherInfo(a);
    return call(s, Msg::TEACHER_UPDATETEACHERINFO, "", JsonObject(), &d,
                [&](IPCTeacherAPI& t, int& ret) { return t.UpdateTeacherInfo(d.text, ret); });
}

int startController(Session& s, const ParsedArgs&)
{
    return call(s, Msg::TEACHER_STARTCONTROLLER, "", JsonObject(), nullptr,
                [](IPCTeacherAPI& t, int& ret) { return t.StartController(ret); });
}

int stopController(Session& s, const ParsedArgs&)
{
    return call(s, Msg::TEACHER_STOPCONTROLLER, "", JsonObject(), nullptr,
                [](IPCTeacherAPI& t, int& ret) { return t.StopController(ret); });
}

int cancelOperation(Session& s, const ParsedArgs& a)
{
    const int oid = RequiredInt(a, "oid");
    return call(s, Msg::TEACHER_CANCELOPERATION, " oid=" + std::to_string(oid),
                JsonObject().Int("oid", oid), nullptr,
                [&](IPCTeacherAPI& t, int& ret) { return t.CancelOperation(oid, ret); });
}

int getStudentList(Session& s, const ParsedArgs&)
{
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTLIST, true);
    std::list<tagStudent_t> students;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentList(students, ret); });
    std::vector<std::string> lines = {"students: " + std::to_string(students.size())};
    std::vector<JsonObject> records;
    for (const tagStudent_t& st : students) {
        lines.push_back("student: " + Output::Student(st));
        records.push_back(Output::StudentJson(st));
    }
    ResultLine(s, Msg::TEACHER_GETSTUDENTLIST, rc, ret, lines,
               JsonObject().Objs("students", records));
    return 0;
}

int getStudentStatus(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTSTATUS, true, " student=" + Output::Word(id),
                JsonObject().Str("student", id));
    // An answer without a record leaves this as it is: an empty id says so.
    tagStudent_t student;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentStatus(id, student, ret); });
    if (student.studentID.empty() && student.username.empty() && student.hostname.empty() &&
        student.IP.empty())
        ResultLine(s, Msg::TEACHER_GETSTUDENTSTATUS, rc, ret, {"student: none in the answer"},
                   JsonObject().Null("student"));
    else
        ResultLine(s, Msg::TEACHER_GETSTUDENTSTATUS, rc, ret,
                   {"student: " + Output::Student(student)},
                   JsonObject().Obj("student", Output::StudentJson(student)));
    return 0;
}

int getStudentLockPolicy(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    RequestLine(Msg::TEACHER_GETSTUDENTLOCKPOLICY, true, " student=" + Output::Word(id),
                JsonObject().Str("student", id));
    CLockScheduleData policy;
    int ret = 0;
    const int rc = s.Blocking([&] { return t.GetStudentLockPolicy(id, policy, ret); });
    JsonObject described;
    std::vector<std::string> lines = DescribeLockSchedule(policy, &described);
    JsonObject fields;
    fields.Obj("policy", described);
    const std::string path = a.Get("save");
    const bool saved = rc == 0 && a.Has("save") && policy.Save2File(path) == 0;
    if (saved) {
        lines.push_back("saved: " + path);
        fields.Str("saved", path);
    }
    ResultLine(s, Msg::TEACHER_GETSTUDENTLOCKPOLICY, rc, ret, lines, fields);
    if (a.Has("save") && !saved)
        throw Failure("the policy was received but could not be saved to " + path);
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
    return call(s, Msg::TEACHER_CHANGEPASSWORD, "", JsonObject(), nullptr,
                [&](IPCTeacherAPI& t, int& ret) {
                    return t.ChangePassword(oldPassword, newPassword, ret);
                });
}

int importCertificate(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    return call(s, Msg::TEACHER_IMPORTCERTIFICATE, " path=" + Output::Word(path),
                JsonObject().Str("path", path), nullptr,
                [&](IPCTeacherAPI& t, int& ret) { return t.ImportCertificate(path, ret); });
}

// " path=PATH" and {"path"} when --path is given.
std::string pathDetail(const ParsedArgs& a, JsonObject& fields)
{
    if (!a.Has("path"))
        return "";
    fields.Str("path", a.Get("path"));
    return " path=" + Output::Word(a.Get("path"));
}

int verifyPassword(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    const std::string password = ReadSecret("Password: ");
    CheckText(password, "the password");
    JsonObject fields;
    const std::string detail = pathDetail(a, fields);
    return call(s, Msg::TEACHER_VERIFYPASSWORD, detail, fields, nullptr,
                [&](IPCTeacherAPI& t, int& ret) {
                    return a.Has("path") ? t.VerifyPassword(path, password, ret)
                                         : t.VerifyPassword(password, ret);
                });
}

int verifyCertificate(Session& s, const ParsedArgs& a)
{
    const std::string path = a.Get("path");
    CheckText(path, "--path");
    JsonObject fields;
    const std::string detail = pathDetail(a, fields);
    return call(s, Msg::TEACHER_VERIFYCERTIFICATE, detail, fields, nullptr,
                [&](IPCTeacherAPI& t, int& ret) {
                    return a.Has("path") ? t.VerifyCertificate(path, ret)
                                         : t.VerifyCertificate(ret);
                });
}

// ---- signal requests ---------------------------------------------------

int postMessage(Session& s, const ParsedArgs& a)
{
    const int id = RequiredInt(a, "id");
    const std::string text = a.Get("text");
    CheckText(text, "--text");
    s.CheckBus(false); // for the teacher applications: no daemon needed
    IPCTeacherAPI& t = api(s);
    const WaitPlan plan = PlanWait(s, a, {"OnMessage"}, nullptr, 1);
    RequestLine(Msg::POSTMESSAGE, false,
                " id=" + std::to_string(id) + " text=" + Output::Quote(text),
                JsonObject().Int("id", id).Str("text", text));
    SentLine(Msg::POSTMESSAGE, t.PostMessage(id, text));
    FinishWait(s, plan);
    return 0;
}

int searchProgram(Session& s, const ParsedArgs& a)
{
    const std::string folder = a.Get("folder");
    CheckText(folder, "--folder");
    a.Seconds("wait", 0, 3600); // checked before anything is sent
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    // One answer comes from each student of the class: known, the wait ends
    // with the last of them.
    std::vector<std::string> ids;
    const bool known = (a.Has("wait") && !a.Has("expect")) && askClass(s, t, "wait", ids);
    const WaitPlan plan = PlanWait(s, a, {"SearchProgramCallBack"}, known ? &ids : nullptr, 0);
    RequestLine(Msg::TEACHER_SEARCHPROGRAM, false, " folder=" + Output::Word(folder),
                JsonObject().Str("folder", folder));
    int opid = 0;
    const int rc = t.SearchProgram(folder, opid);
    Output::Line("opid: " + std::to_string(opid));
    SentLine(Msg::TEACHER_SEARCHPROGRAM, rc, JsonObject().Int("opid", opid));
    if (!plan.wait)
        return 0;
    try {
        FinishWait(s, plan);
    } catch (const Failure&) {
        printer().PrintMerged();
        throw;
    }
    printer().PrintMerged();
    return 0;
}

// Deployments: one id the single form, several or --all (or --list) the
// list form.
int deploy(Session& s, const ParsedArgs& a, const Document& d, const std::string& single,
           const std::string& list, const std::string& answer,
           const std::function<int(IPCTeacherAPI&, const std::string&)>& one,
           const std::function<int(IPCTeacherAPI&, const std::list<std::string>&)>& many)
{
    std::vector<std::string> ids = checkedTargets(a);
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    ids = resolveTargets(s, a, ids);
    const bool asList = ids.size() > 1 || a.Has("all") || a.Has("list");
    const WaitPlan plan = PlanWait(s, a, {answer}, &ids, 0);
    const std::string message = asList ? list : single;
    JsonObject fields;
    if (asList)
        fields.Strs("students", ids);
    else
        fields.Str("student", ids.front());
    RequestLine(message, false, (asList ? " students=" : " student=") + JoinIds(ids), fields, &d);
    for (const std::string& l : d.summary)
        Output::Line(l);
    const int rc =
        asList ? many(t, std::list<std::string>(ids.begin(), ids.end())) : one(t, ids.front());
    SentLine(message, rc);
    FinishWait(s, plan);
    return 0;
}

int deployTabNavPolicy(Session& s, const ParsedArgs& a)
{
    const Document d = TabNavPolicy(a);
    return deploy(
        s, a, d, Msg::TEACHER_DEPLOYTABNAVPOLICY, Msg::TEACHER_DEPLOYTABNAVPOLICYLIST,
        "DeployTabNavPolicyCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) { return t.DeployTabNavPolicy(id, d.text); },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) {
            return t.DeployTabNavPolicy(ids, d.text);
        });
}

int deploySchedulePolicy(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, false);
    return deploy(
        s, a, d, Msg::TEACHER_DEPLOYSCHEDULEPOLICY, Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST,
        "DeploySchedulePolicyCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) { return t.DeploySchedulePolicy(id, d.text); },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) {
            return t.DeploySchedulePolicy(ids, d.text);
        });
}

// Kick-off, lock and unlock: one signal per student (the list forms of lock
// and unlock are retired; --list calls them to show it).
int perStudent(Session& s, const ParsedArgs& a, const Document* d, const std::string& message,
               const std::string& answer,
               const std::function<int(IPCTeacherAPI&, const std::string&)>& one,
               const std::function<int(IPCTeacherAPI&, const std::list<std::string>&)>& retired)
{
    std::vector<std::string> ids = checkedTargets(a);
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    ids = resolveTargets(s, a, ids);
    if (a.Has("list")) {
        Output::Emit({"request: (retired list form of " + message + ") students=" + JoinIds(ids)},
                     Output::Object("request")
                         .Str("message", message)
                         .Bool("blocking", false)
                         .Bool("retired", true)
                         .Strs("students", ids));
        if (retired(t, std::list<std::string>(ids.begin(), ids.end())) != 0)
            throw Failure("the list form of " + message + " is retired: nothing was sent");
        SentLine(message, 0);
        return 0;
    }
    const WaitPlan plan = PlanWait(s, a, {answer}, &ids, 0);
    if (d)
        for (const std::string& l : d->summary)
            Output::Line(l);
    for (const std::string& id : ids) {
        RequestLine(message, false, " student=" + Output::Word(id), JsonObject().Str("student", id),
                    d);
        SentLine(message, one(t, id));
    }
    FinishWait(s, plan);
    return 0;
}

int kickOffStudent(Session& s, const ParsedArgs& a)
{
    return perStudent(
        s, a, nullptr, Msg::TEACHER_KICKOFFSTUDENT, "KickOffStudentCallBack",
        [](IPCTeacherAPI& t, const std::string& id) { return t.KickOffStudent(id); }, nullptr);
}

int manualLockRemoteStudent(Session& s, const ParsedArgs& a)
{
    const Document d = LockPolicy(a, true);
    return perStudent(
        s, a, &d, Msg::TEACHER_MANUALLOCKREMOTESTUDENT, "ManualLockRemotStudentCallBack",
        [&](IPCTeacherAPI& t, const std::string& id) {
            return t.ManualLockRemotStudent(id, d.text);
        },
        [&](IPCTeacherAPI& t, const std::list<std::string>& ids) {
            return t.ManualLockRemotStudent(ids, d.text);
        });
}

int manualUnlockRemoteStudent(Session& s, const ParsedArgs& a)
{
    return perStudent(
        s, a, nullptr, Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN, "ManualUnLockRemotStudentCallBack",
        [](IPCTeacherAPI& t, const std::string& id) { return t.ManualUnlockRemoteStudent(id); },
        [](IPCTeacherAPI& t, const std::list<std::string>& ids) {
            return t.ManualUnlockRemoteStudent(ids);
        });
}

int controlNewStudentConnect(Session& s, const ParsedArgs& a)
{
    const std::string id = a.Get("student");
    CheckStudentID(id, "--student");
    const bool allow = a.Switch("allow", 0) == 1;
    s.CheckBus(true);
    IPCTeacherAPI& t = api(s);
    // A student let in answers with its status change; one turned away
    // gives no answer.
    const std::vector<std::string> joining = {id};
    const WaitPlan plan = allow ? PlanWait(s, a, {"NotifyStudentStatusChanged"}, &joining, 0)
                                : PlanWait(s, a, {}, nullptr, 0);
    RequestLine(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, false,
                " student=" + Output::Word(id) + " allow=" + (allow ? kTrue : kFalse),
                JsonObject().Str("student", id).Bool("allow", allow));
    SentLine(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, t.ControlNewStudentConnect(id, allow));
    FinishWait(s, plan);
    return 0;
}

int listen(Session& s, const ParsedArgs& a)
{
    return Listen(s, a, kTeacherDaemonIface, [&] {
        s.CheckBus(false); // the daemon may come later
        api(s);
    });
}

const OptionDef kList = {"list", "", "send the list form even for one student"};

} // namespace

const std::vector<CommandDef>& TeacherCommands()
{
    static const std::vector<CommandDef> commands = {
        {"get-student-list",
         Sends(Msg::TEACHER_GETSTUDENTLIST, "blocking"),
         "list the students of the class",
         "",
         {},
         getStudentList},
        {"get-student-status", Sends(Msg::TEACHER_GETSTUDENTSTATUS, "blocking"),
         "show one student's record", "", targetOptions(false), getStudentStatus},
        {"get-student-lock-policy", Sends(Msg::TEACHER_GETSTUDENTLOCKPOLICY, "blocking"),
         "show one student's lock policy", "",
         concat(targetOptions(false),
                {{"save", "PATH", "also save the policy to PATH (LockSchedule.xml layout)"}}),
         getStudentLockPolicy},
        {"update-teacher-info", Sends(Msg::TEACHER_UPDATETEACHERINFO, "blocking"),
         "send the teacher's information",
         "The document is built from --name and --course, or read from --file.",
         TeacherInfoOptions(), updateTeacherInfo},
        {"start-controller",
         Sends(Msg::TEACHER_STARTCONTROLLER, "blocking"),
         "start the controller",
         "",
         {},
         startController},
        {"stop-controller",
         Sends(Msg::TEACHER_STOPCONTROLLER, "blocking"),
         "stop the controller",
         "",
         {},
         stopController},
        {"cancel-operation",
         Sends(Msg::TEACHER_CANCELOPERATION, "blocking"),
         "cancel a running operation (a program search)",
         "The operation id is the opid search-program printed.",
         {{"oid", "N", "the operation id", false, true}},
         cancelOperation},
        {"change-password",
         Sends(Msg::TEACHER_CHANGEPASSWORD, "blocking"),
         "change the teacher password",
         "The old and the new password are typed without echo (the new one twice),\n"
         "or read as two lines of standard input. Never give them on the command line.",
         {},
         changePassword},
        {"import-certificate",
         Sends(Msg::TEACHER_IMPORTCERTIFICATE, "blocking"),
         "import a certificate",
         "",
         {{"path", "PATH", "the certificate file, as the daemon sees it", false, true}},
         importCertificate},
        {"verify-password",
         Sends(Msg::TEACHER_VERIFYPASSWORD, "blocking"),
         "check the teacher password",
         "The password is typed without echo, or read as one line of standard input.",
         {{"path", "PATH", "the certificate to check against (default: none, sent empty)"}},
         verifyPassword},
        {"verify-certificate",
         Sends(Msg::TEACHER_VERIFYCERTIFICATE, "blocking"),
         "check a certificate",
         "",
         {{"path", "PATH", "the certificate (default: none, sent empty)"}},
         verifyCertificate},
        {"post-message", Sends(Msg::POSTMESSAGE, "signal to every teacher application"),
         "post a message to the teacher applications", "",
         concat({{"id", "N", "the message id", false, true},
                 {"text", "TEXT", "the message", false, true}},
                WaitOptions("the message to come back")),
         postMessage},
        {"search-program", Sends(Msg::TEACHER_SEARCHPROGRAM, "signal"),
         "search programs on every student",
         "Each student answers with SearchProgramCallBack. With --wait the class is\n"
         "asked for first (" +
             std::string(Msg::TEACHER_GETSTUDENTLIST) +
             ") and the wait ends with the last\n"
             "student's answer (--expect N: with the Nth answer instead); the answers are\n"
             "printed as they arrive and merged (a name found twice is kept once); the\n"
             "merged list is printed at the end. The opid printed can be cancelled with\n"
             "cancel-operation.",
         concat({{"folder", "PATH", "the folder searched on the students", false, true}},
                WaitOptions("the students' answers")),
         searchProgram},
        {"deploy-tab-nav-policy",
         std::string(Msg::TEACHER_DEPLOYTABNAVPOLICY) + " or " +
             Sends(Msg::TEACHER_DEPLOYTABNAVPOLICYLIST, "signal"),
         "deploy a tab-navigation policy",
         "One --student sends the single form; several, --all or --list the list form.\n"
         "The policy is built from --tab and --program, or read from --file.",
         concat(concat(concat(targetOptions(true), {kList}), TabNavOptions()),
                WaitOptions("one DeployTabNavPolicyCallBack per student")),
         deployTabNavPolicy},
        {"deploy-schedule-policy",
         std::string(Msg::TEACHER_DEPLOYSCHEDULEPOLICY) + " or " +
             Sends(Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST, "signal"),
         "deploy a lock schedule",
         "One --student sends the single form; several, --all or --list the list form.\n"
         "The schedule is built from the options below, or read from --file.",
         concat(concat(concat(targetOptions(true), {kList}), LockPolicyOptions()),
                WaitOptions("one DeploySchedulePolicyCallBack per student")),
         deploySchedulePolicy},
        {"kick-off-student", Sends(Msg::TEACHER_KICKOFFSTUDENT, "signal, one per student"),
         "remove students from the class", "",
         concat(targetOptions(true), WaitOptions("one KickOffStudentCallBack per student")),
         kickOffStudent},
        {"manual-lock-remote-student",
         Sends(Msg::TEACHER_MANUALLOCKREMOTESTUDENT, "signal, one per student"),
         "lock students now",
         "The lock policy is built from the options below (manual locking on unless\n"
         "--manual-lock off), or read from --file. --list calls the retired list form,\n"
         "which sends nothing.",
         concat(concat(concat(targetOptions(true),
                              {{"list", "", "call the retired list form (sends nothing)"}}),
                       LockPolicyOptions()),
                WaitOptions("one ManualLockRemotStudentCallBack per student")),
         manualLockRemoteStudent},
        {"manual-unlock-remote-student",
         Sends(Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN, "signal, one per student"),
         "unlock students now", "--list calls the retired list form, which sends nothing.",
         concat(concat(targetOptions(true),
                       {{"list", "", "call the retired list form (sends nothing)"}}),
                WaitOptions("one ManualUnLockRemotStudentCallBack per student")),
         manualUnlockRemoteStudent},
        {"control-new-student-connect", Sends(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, "signal"),
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
