#include "TeacherDaemon.h"

#include "CallerAccess.h"
#include "ClassMessages.h"
#include "FileStore.h"
#include "IPCTeacherDaemonAPI.h"
#include "SafeFile.h"
#include "TAVLayout.h"
#include "TAVProtocol.h"
#include "TeacherCredentials.h"
#include "TeacherLog.h"

#include "LockScheduleData.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <list>

using IPCAPI::CIntfData;
using IPCAPI::tagStudent_t;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

namespace teacherd {

namespace {

// Requests taken per round of the main loop, so that the broker's news
// is not held up by a flood of requests.
constexpr int kRequestsPerRound = 64;
// Students one request may name; more are answered as unknown.
constexpr std::size_t kMaxTargets = 1000;
constexpr std::size_t kMaxCancelled = 256;
constexpr std::size_t kMaxSearches = 64;
// A field of a student's record, as far as it is kept.
constexpr std::size_t kMaxRecordText = 255;
constexpr std::size_t kMaxEnvelopeBytes = 4u * 1024 * 1024 + 65536;
constexpr const char* kEveryone = "all";

// What a deployment of one kind is made of.
struct DeployKind {
    const char* request;  // the envelope's name on the policy topic
    const char* listForm; // the application's list request
    const char* param;
    const char* callback;
    tavd::PolicyKind kind;
};
const DeployKind kDeployKinds[] = {
    {Msg::TEACHER_DEPLOYSCHEDULEPOLICY, Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST,
     Param::schedulePolicyXML, Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK,
     tavd::PolicyKind::Schedule},
    {Msg::TEACHER_DEPLOYTABNAVPOLICY, Msg::TEACHER_DEPLOYTABNAVPOLICYLIST, Param::tabNavPolicyXML,
     Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK, tavd::PolicyKind::TabNav},
};

// A command to single students and the answer it gets.
struct CommandKind {
    const char* request;
    const char* callback;
    const char* param; // carried over from the request, or null
};
const CommandKind kCommands[] = {
    {Msg::TEACHER_KICKOFFSTUDENT, Msg::TEACHER_KICKOFFSTUDENTCALLBACK, nullptr},
    {Msg::TEACHER_MANUALLOCKREMOTESTUDENT, Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK,
     Param::lockPolicy},
    {Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN, Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK,
     nullptr},
};

// The students' answers passed on to the applications.
const char* const kAnswers[] = {
    Msg::TEACHER_SEARCHPROGRAMCALLBACK,
    Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK,
    Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK,
    Msg::TEACHER_KICKOFFSTUDENTCALLBACK,
    Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK,
    Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK,
};

bool IsBooleanCallback(const std::string& name)
{
    return name == Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK ||
           name == Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK;
}

// Text from the network or a caller, as far as a log line shows it.
std::string Shown(const std::string& text)
{
    return text.size() > 80 ? text.substr(0, 80) + "..." : text;
}

bool LoadsAsSchedule(const std::string& xml)
{
    LibTAVData::CLockScheduleData policy;
    return !xml.empty() && policy.LoadFromString(xml) == 0;
}

bool LoadsAsTabNav(const std::string& xml)
{
    LibTAVData::CTabNavigationData policy;
    return !xml.empty() && policy.LoadFromString(xml) == 0;
}

// The system settings of this machine; a file that does not load gives
// the settings of a machine without one.
std::unique_ptr<LibTAVData::CTAVSystemSettingData> SystemSettings()
{
    const std::string path = LibTAVData::CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML;
    auto settings = std::make_unique<LibTAVData::CTAVSystemSettingData>();
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && settings->LoadFromFile(path) != 0) {
        LogError(path + " does not load; the default system settings apply");
        settings = std::make_unique<LibTAVData::CTAVSystemSettingData>();
    }
    return settings;
}

// A student's record as it came in, cut to size and named after the
// student whose topic it came on (the broker vouches for that one).
tagStudent_t Record(IPCAPI::CIntfData& env, const std::string& id)
{
    std::list<tagStudent_t> records;
    tagStudent_t record;
    if (env.m_ParaXml.getStudentInfoList(records) && !records.empty())
        record = records.front();
    record.studentID = id;
    for (std::string* text : {&record.username, &record.hostname, &record.IP})
        if (text->size() > kMaxRecordText)
            text->resize(kMaxRecordText);
    return record;
}

std::string MessageOf(const std::string& payload, CIntfData& env)
{
    std::string name;
    if (env.load(payload))
        env.GetMessage(name);
    return name;
}

bool LoadEnvelope(const std::string& payload, const char* expected, const std::string& what,
                  CIntfData& env)
{
    if (MessageOf(payload, env) == expected)
        return true;
    LogError("dropped a " + what + " that is not a " + expected + " envelope");
    return false;
}

int64_t DeployTimeOf(const std::string& envelopeText, std::string& xml)
{
    CIntfData env;
    std::string time;
    if (!env.load(envelopeText) || !env.m_ParaXml.getString(tavd::kDeployTimeParam, time) ||
        !env.m_ParaXml.getString(Param::schedulePolicyXML, xml) || time.empty() ||
        time.size() > 18 || time.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(time);
}

} // namespace

TeacherDaemon::TeacherDaemon(const tavd::DaemonConfig& config, const tavd::ClassTopics& topics,
                             IPCAPI::IPCTeacherDaemonAPI& api)
    : m_config(config), m_topics(topics), m_api(api), m_roster(config.stateDir + "/roster"),
      m_password(config.teacherPasswordFile)
{}

TeacherDaemon::~TeacherDaemon() { Stop(); }

bool TeacherDaemon::Start(std::string& error)
{
    if (!tavd::EnsureDirectory(m_config.stateDir, 0700, error) ||
        !tavd::EnsureDirectory(m_config.stateDir + "/deployed", 0700, error) ||
        !m_roster.Load(error))
        return false;
    if (!m_config.autoConnect) {
        Log("not connecting to class " + m_topics.ClassName() + " until an application asks");
        return true;
    }
    std::string why;
    // Unusable credentials are logged; an application can import new ones.
    if (!Connect(why))
        LogError("cannot connect to class " + m_topics.ClassName() + ": " + why);
    return true;
}

void TeacherDaemon::Stop() { Disconnect(); }

// ---------------------------------------------------------------------------
// Requests

const std::map<std::string, TeacherDaemon::Handler>& TeacherDaemon::Handlers()
{
    static const std::map<std::string, Handler> handlers = {
        {Msg::TEACHER_UPDATETEACHERINFO, &TeacherDaemon::UpdateTeacherInfo},
        {Msg::TEACHER_STARTCONTROLLER, &TeacherDaemon::StartController},
        {Msg::TEACHER_STOPCONTROLLER, &TeacherDaemon::StopController},
        {Msg::TEACHER_CANCELOPERATION, &TeacherDaemon::CancelOperation},
        {Msg::TEACHER_GETSTUDENTLIST, &TeacherDaemon::GetStudentList},
        {Msg::TEACHER_GETSTUDENTSTATUS, &TeacherDaemon::GetStudentStatus},
        {Msg::TEACHER_GETSTUDENTLOCKPOLICY, &TeacherDaemon::GetStudentLockPolicy},
        {Msg::TEACHER_CHANGEPASSWORD, &TeacherDaemon::ChangePassword},
        {Msg::TEACHER_VERIFYPASSWORD, &TeacherDaemon::VerifyPassword},
        {Msg::TEACHER_IMPORTCERTIFICATE, &TeacherDaemon::ImportCertificate},
        {Msg::TEACHER_VERIFYCERTIFICATE, &TeacherDaemon::VerifyCertificate},
        {Msg::TEACHER_SEARCHPROGRAM, &TeacherDaemon::SearchProgram},
        {Msg::TEACHER_DEPLOYSCHEDULEPOLICY, &TeacherDaemon::Deploy},
        {Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST, &TeacherDaemon::Deploy},
        {Msg::TEACHER_DEPLOYTABNAVPOLICY, &TeacherDaemon::Deploy},
        {Msg::TEACHER_DEPLOYTABNAVPOLICYLIST, &TeacherDaemon::Deploy},
        {Msg::TEACHER_KICKOFFSTUDENT, &TeacherDaemon::StudentCommand},
        {Msg::TEACHER_MANUALLOCKREMOTESTUDENT, &TeacherDaemon::StudentCommand},
        {Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN, &TeacherDaemon::StudentCommand},
        {Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, &TeacherDaemon::JoinVerdict},
    };
    return handlers;
}

bool TeacherDaemon::ServeRequests()
{
    for (int i = 0; i < kRequestsPerRound; ++i) {
        std::string name, payload;
        int unused = 0;
        if (m_api.ReceiveMsg(unused, name, payload) != 0)
            return false;
        Serve(name, payload);
    }
    return true;
}

void TeacherDaemon::Serve(const std::string& name, const std::string& payload)
{
    Request r;
    r.name = name;
    const bool loaded = r.env.load(payload);
    r.env.GetOperationID(r.opid);
    r.env.GetStudentID(r.studentId);
    const bool block = m_api.IsBlock();
    CIntfData reply(name.substr(0, 64), r.opid,
                    r.studentId.empty() ? IPCAPI::kNoStudent : r.studentId);

    int code = kFailed;
    unsigned long uid = 0, pid = 0;
    const auto handler = Handlers().find(name);
    if (m_api.GetRequestSender(uid, pid) != 0) {
        LogError("request " + Shown(name) + " refused: the bus cannot tell who sent it");
        code = kNotAllowed;
    } else if (!IsTeacherUser(static_cast<uid_t>(uid), m_config.teacherGroup)) {
        LogError("request " + Shown(name) + " refused to uid " + std::to_string(uid) + " (pid " +
                 std::to_string(pid) + "): neither root nor in group " + m_config.teacherGroup);
        code = kNotAllowed;
    } else if (!loaded) {
        LogError("request " + Shown(name) + " from uid " + std::to_string(uid) +
                 " is not an envelope");
        code = kBadInput;
    } else if (handler == Handlers().end()) {
        LogError("request " + Shown(name) + " is not one of the teacher application's");
        code = kFailed;
    } else {
        r.uid = static_cast<uid_t>(uid);
        Log("request " + name + " op " + std::to_string(r.opid) + " student '" +
            Shown(r.studentId) + "' from uid " + std::to_string(uid));
        code = (this->*handler->second)(r, reply);
    }
    reply.SetResult(code);
    if (block && m_api.ReplyMsg(&reply) != 0)
        LogError("the answer to " + Shown(name) + " could not be sent");
}

int TeacherDaemon::UpdateTeacherInfo(Request& r, CIntfData&)
{
    std::string xml;
    LibTAVData::CTeacherInfoData info;
    if (!r.env.m_ParaXml.getString(Param::teacherInfoXML, xml) || xml.empty() ||
        info.LoadFromString(xml) != 0) {
        LogError("teacher information refused: not a teacher-information document");
        return kBadInput;
    }
    const std::string path = LibTAVData::CONFIG_DIR + LibTAVData::TEACHER_INFO_XML;
    if (info.Save2File(path) != 0) {
        LogError("teacher information could not be saved to " + path);
        return kFailed;
    }
    return kDone;
}

int TeacherDaemon::StartController(Request&, CIntfData&)
{
    if (m_class)
        return kDone;
    std::string why;
    if (Connect(why))
        return kDone;
    LogError("cannot connect to class " + m_topics.ClassName() + ": " + why);
    return kFailed;
}

int TeacherDaemon::StopController(Request&, CIntfData&)
{
    Disconnect();
    return kDone;
}

int TeacherDaemon::CancelOperation(Request& r, CIntfData&)
{
    int oid = 0;
    if (!r.env.m_ParaXml.getInt(Param::OID, oid) || oid <= 0) {
        LogError("cancel without an operation id");
        return kBadInput;
    }
    if (!IsCancelled(oid)) {
        m_cancelled.push_back(oid);
        if (m_cancelled.size() > kMaxCancelled)
            m_cancelled.pop_front();
    }
    // The students still searching stop.
    const auto search = m_searches.find(oid);
    if (search != m_searches.end()) {
        for (const std::string& id : search->second) {
            CIntfData cancel(Msg::STUDENT_CANCELOPERATION, r.opid, id);
            cancel.m_ParaXml.setInt(Param::OID, oid);
            PublishCommand(id, cancel);
        }
        ForgetSearch(oid);
    }
    Log("operation " + std::to_string(oid) + " cancelled: its answers are no longer passed on");
    return kDone;
}

int TeacherDaemon::GetStudentList(Request&, CIntfData& reply)
{
    const std::vector<tagStudent_t> students = m_roster.Students();
    std::list<tagStudent_t> list(students.begin(), students.end());
    reply.m_ParaXml.setStudentInfoList(list);
    return kDone;
}

int TeacherDaemon::GetStudentStatus(Request& r, CIntfData& reply)
{
    const auto student = m_roster.Student(r.studentId);
    if (!student)
        return kNoStudent;
    std::list<tagStudent_t> list{*student};
    reply.m_ParaXml.setStudentInfoList(list);
    return kDone;
}

int TeacherDaemon::GetStudentLockPolicy(Request& r, CIntfData& reply)
{
    if (!m_roster.IsAccepted(r.studentId))
        return kNoStudent;
    // The newer of the student's own deployment and the class-wide one, as
    // the student applies them.
    int64_t newest = -1;
    std::string policy;
    for (const std::string& target : {r.studentId, std::string(kEveryone)}) {
        std::string text, why, xml;
        if (!tavtools::ReadRegularFile(m_config.stateDir + "/deployed/schedule-" + target,
                                       kMaxEnvelopeBytes, text, why))
            continue;
        const int64_t time = DeployTimeOf(text, xml);
        if (time > newest) {
            newest = time;
            policy = xml;
        }
    }
    if (newest < 0) {
        Log("no lock schedule has been deployed to " + r.studentId);
        return kFailed;
    }
    reply.m_ParaXml.setString(Param::lockPolicy, policy);
    return kDone;
}

int TeacherDaemon::ChangePassword(Request& r, CIntfData&)
{
    std::string oldPassword, newPassword;
    if (!r.env.m_ParaXml.getString(Param::OldPassword, oldPassword) ||
        !r.env.m_ParaXml.getString(Param::NewPassword, newPassword))
        return kBadInput;
    return m_password.Change(r.uid, oldPassword, newPassword);
}

int TeacherDaemon::VerifyPassword(Request& r, CIntfData&)
{
    std::string password, path;
    if (!r.env.m_ParaXml.getString(Param::Password, password))
        return kBadInput;
    r.env.m_ParaXml.getString(Param::path, path);
    if (path.empty())
        return m_password.Verify(r.uid, password);
    std::string pem, why;
    if (!ReadFileAsCaller(r.uid, path, kMaxPemBytes, pem, why)) {
        LogError("cannot read the key " + Shown(path) + ": " + why);
        return kBadInput;
    }
    const int rc = m_password.Guarded(r.uid, [&] { return CheckKeyPassword(pem, password); });
    if (rc == kBadInput)
        LogError(Shown(path) + " holds no private key");
    return rc;
}

int TeacherDaemon::ImportCertificate(Request& r, CIntfData&)
{
    std::string path, pem, why;
    r.env.m_ParaXml.getString(Param::Path, path);
    if (path.empty() || !ReadFileAsCaller(r.uid, path, kMaxPemBytes, pem, why)) {
        LogError("certificate not imported: cannot read '" + Shown(path) +
                 "': " + (path.empty() ? "no path" : why));
        return kFailed;
    }
    if (!InstallTeacherCredentials(pem, m_config.caFile, m_config.certFile, m_config.keyFile,
                                   why)) {
        LogError("certificate " + Shown(path) + " not imported: " + why);
        return kFailed;
    }
    Log("certificate " + path + " imported as " + m_config.certFile);
    if (!m_class)
        return kDone;
    // The connection is made again with the new certificate.
    Disconnect();
    if (!Connect(why)) {
        LogError("the class connection could not be made with the imported certificate: " + why);
        return kFailed;
    }
    return kDone;
}

int TeacherDaemon::VerifyCertificate(Request& r, CIntfData&)
{
    std::string path, pem, why;
    r.env.m_ParaXml.getString(Param::path, path);
    const bool own = path.empty();
    const bool read = own ? tavtools::ReadRegularFile(m_config.certFile, kMaxPemBytes, pem, why)
                          : ReadFileAsCaller(r.uid, path, kMaxPemBytes, pem, why);
    const std::string shown = own ? m_config.certFile : Shown(path);
    if (!read || !teacherd::VerifyCertificate(pem, m_config.caFile, why)) {
        LogError("certificate " + shown + ": " + why);
        return kFailed;
    }
    Log("certificate " + shown + " is valid for class " + m_topics.ClassName());
    return kDone;
}

std::vector<std::string> TeacherDaemon::Targets(Request& r, bool listForm, bool& classWide) const
{
    std::vector<std::string> ids;
    classWide = !listForm && (r.studentId.empty() || r.studentId == IPCAPI::kNoStudent ||
                              r.studentId == kEveryone);
    if (classWide) {
        for (const tagStudent_t& s : m_roster.Students())
            ids.push_back(s.studentID);
        return ids;
    }
    if (listForm) {
        std::list<std::string> listed;
        r.env.m_ParaXml.getListPara(listed);
        ids.assign(listed.begin(), listed.end());
    } else {
        ids.push_back(r.studentId);
    }
    if (ids.size() > kMaxTargets) {
        LogError("request " + r.name + " names " + std::to_string(ids.size()) +
                 " students; only the first " + std::to_string(kMaxTargets) + " are served");
        ids.resize(kMaxTargets);
    }
    return ids;
}

std::vector<std::string> TeacherDaemon::CommandTargets(Request& r)
{
    bool classWide = false;
    std::vector<std::string> ids = Targets(r, false, classWide);
    // The class as a whole is the part of it that is here.
    if (classWide)
        ids = m_roster.OnlineStudents();
    Uncancel(r.opid);
    return ids;
}

int TeacherDaemon::SearchProgram(Request& r, CIntfData&)
{
    std::string folder;
    r.env.m_ParaXml.getString(Param::targetFolder, folder);
    std::set<std::string> asked;
    for (const std::string& id : CommandTargets(r)) {
        CIntfData command(Msg::TEACHER_SEARCHPROGRAM, r.opid, id);
        command.m_ParaXml.setString(Param::targetFolder, folder);
        if (m_roster.IsOnline(id) && m_roster.IsAccepted(id) && PublishCommand(id, command))
            asked.insert(id);
        else
            AnswerFor(Msg::TEACHER_SEARCHPROGRAMCALLBACK, r.opid, id, kNoStudent);
    }
    if (!asked.empty()) {
        ForgetSearch(r.opid);
        m_searches[r.opid] = asked;
        m_searchOrder.push_back(r.opid);
        if (m_searchOrder.size() > kMaxSearches)
            ForgetSearch(m_searchOrder.front());
    }
    Log("search op " + std::to_string(r.opid) + " of '" + Shown(folder) + "' sent to " +
        std::to_string(asked.size()) + " students");
    return kDone;
}

int TeacherDaemon::Deploy(Request& r, CIntfData&)
{
    const DeployKind* kind = nullptr;
    for (const DeployKind& k : kDeployKinds)
        if (r.name == k.request || r.name == k.listForm)
            kind = &k;
    std::string xml;
    r.env.m_ParaXml.getString(kind->param, xml);
    const bool loads =
        kind->kind == tavd::PolicyKind::Schedule ? LoadsAsSchedule(xml) : LoadsAsTabNav(xml);
    bool classWide = false;
    const std::vector<std::string> targets = Targets(r, r.name == kind->listForm, classWide);
    Uncancel(r.opid);
    if (!loads) {
        LogError("deployment " + r.name + " refused: the policy does not load");
        for (const std::string& id : targets)
            AnswerFor(kind->callback, r.opid, id, kBadInput);
        return kBadInput;
    }
    if (!m_class) {
        for (const std::string& id : targets)
            AnswerFor(kind->callback, r.opid, id, kNoStudent);
        return kNoStudent;
    }
    const std::string deployTime = std::to_string(NextDeployTime());
    // Published retained, and a lock schedule kept for the question which
    // one a student has.
    auto publish = [&](const std::string& target) {
        CIntfData env(kind->request, r.opid, target);
        env.m_ParaXml.setString(kind->param, xml);
        env.m_ParaXml.setString(tavd::kDeployTimeParam, deployTime);
        const std::string topic = target == kEveryone ? m_topics.PolicyForAll(kind->kind)
                                                      : *m_topics.Policy(target, kind->kind);
        if (!Publish(topic, env, true))
            return false;
        if (kind->kind == tavd::PolicyKind::Schedule)
            KeepDeployedSchedule(target, env);
        return true;
    };
    if (classWide && !publish(kEveryone)) {
        for (const std::string& id : targets)
            AnswerFor(kind->callback, r.opid, id, kFailed);
        return kFailed;
    }
    for (const std::string& id : targets) {
        if (!m_roster.IsAccepted(id)) {
            AnswerFor(kind->callback, r.opid, id, kNoStudent);
            continue;
        }
        if (!classWide && !publish(id)) {
            AnswerFor(kind->callback, r.opid, id, kFailed);
            continue;
        }
        // Retained: an offline student applies it when it connects, and its
        // answer is passed on then.
        if (!m_roster.IsOnline(id))
            AnswerFor(kind->callback, r.opid, id, kNoStudent);
    }
    Log("deployment op " + std::to_string(r.opid) + " (" + tavd::PolicyKindName(kind->kind) + ", " +
        deployTime + ") to " +
        (classWide ? std::string("the class") : std::to_string(targets.size()) + " students"));
    return kDone;
}

int TeacherDaemon::StudentCommand(Request& r, CIntfData&)
{
    const CommandKind* kind = nullptr;
    for (const CommandKind& k : kCommands)
        if (r.name == k.request)
            kind = &k;
    std::string value;
    const std::vector<std::string> targets = CommandTargets(r);
    if (kind->param) {
        r.env.m_ParaXml.getString(kind->param, value);
        if (!LoadsAsSchedule(value)) {
            LogError("request " + r.name + " refused: the lock policy does not load");
            for (const std::string& id : targets)
                AnswerFor(kind->callback, r.opid, id, kBadInput);
            return kBadInput;
        }
    }
    for (const std::string& id : targets) {
        CIntfData command(kind->request, r.opid, id);
        if (kind->param)
            command.m_ParaXml.setString(kind->param, value);
        if (!m_roster.IsAccepted(id) || !m_roster.IsOnline(id) || !PublishCommand(id, command))
            AnswerFor(kind->callback, r.opid, id, kNoStudent);
    }
    return kDone;
}

int TeacherDaemon::JoinVerdict(Request& r, CIntfData&)
{
    std::string allow;
    r.env.m_ParaXml.getString(Param::allow, allow);
    if (!m_roster.EndWait(r.studentId)) {
        LogError("verdict for '" + Shown(r.studentId) +
                 "' dropped: that student is not waiting to join");
        return kNoStudent;
    }
    if (allow == IPCAPI::kTrue) {
        Admit(r.studentId);
    } else {
        Log("student " + r.studentId + " turned away by the teacher");
        SendVerdict(r.studentId, false, r.opid);
    }
    return kDone;
}

// ---------------------------------------------------------------------------
// The class broker

bool TeacherDaemon::Connect(std::string& error)
{
    tavd::MqttOptions options = tavd::MqttOptionsFrom(m_config, tavd::DaemonRole::Teacher);
    CIntfData will(tavd::kPresenceMessage, 0, tavd::kTeacherSender);
    will.m_ParaXml.setString(tavd::kStateParam, tavd::kOffline);
    options.willTopic = m_topics.TeacherPresence();
    will.toString(options.willPayload);
    tavd::MqttHandlers handlers;
    handlers.onConnected = [this] { OnConnected(); };
    handlers.onConnectionLost = [this](const std::string& reason) { OnConnectionLost(reason); };
    handlers.onMessage = [this](const tavd::MqttMessage& m) { OnMessage(m); };
    auto client = std::make_unique<tavd::MqttClient>(options, handlers);
    if (!client->Subscribe(m_topics.EveryStudentFilter()) || !client->Start(error))
        return false;
    m_class = std::move(client);
    Log("connecting to class " + m_topics.ClassName() + " at " + m_config.brokerHost + ":" +
        std::to_string(m_config.brokerPort));
    return true;
}

void TeacherDaemon::Disconnect()
{
    if (!m_class)
        return;
    // Only from a request or at the end, never from the client's own
    // handlers: the client is gone when this returns.
    m_class->Stop();
    m_class.reset();
    OnConnectionLost("disconnected on request");
}

int TeacherDaemon::ClassWakeFd() const { return m_class ? m_class->WakeFd() : -1; }

void TeacherDaemon::DispatchClass()
{
    if (m_class)
        m_class->Dispatch();
}

void TeacherDaemon::OnConnected()
{
    CIntfData presence(tavd::kPresenceMessage, 0, tavd::kTeacherSender);
    presence.m_ParaXml.setString(tavd::kStateParam, tavd::kOnline);
    Publish(m_topics.TeacherPresence(), presence, true);
    Log("connected to class " + m_topics.ClassName());
    if (m_config.discovery && !m_announcer) {
        auto announcer = std::make_unique<tavd::ClassAnnouncer>(tavd::AnnouncementFrom(m_config));
        std::string why;
        if (announcer->Start(why))
            m_announcer = std::move(announcer);
        else
            LogError("class " + m_topics.ClassName() + " is not announced: " + why);
    }
}

void TeacherDaemon::OnConnectionLost(const std::string& reason)
{
    Log("class " + m_topics.ClassName() + " unreachable (" + reason +
        "): every student counts as offline");
    m_announcer.reset(); // students would find a broker the teacher is not on
    for (const std::string& id : m_roster.AllOffline())
        NotifyStatus(id, kOffline);
    // Still waiting when the connection comes back: they ask again.
    m_roster.ClearWaiting();
    m_searches.clear();
    m_searchOrder.clear();
}

void TeacherDaemon::OnMessage(const tavd::MqttMessage& message)
{
    const auto topic = m_topics.Parse(message.topic);
    if (!topic || topic->kind != tavd::TopicInfo::Kind::Student) {
        LogError("dropped a message on " + Shown(message.topic));
        return;
    }
    switch (topic->channel) {
    case tavd::StudentChannel::Presence:
        OnPresence(topic->studentId, message.payload);
        break;
    case tavd::StudentChannel::Join:
        OnJoin(topic->studentId, message.payload);
        break;
    case tavd::StudentChannel::Answer:
        OnAnswer(topic->studentId, message.payload);
        break;
    }
}

void TeacherDaemon::OnPresence(const std::string& id, const std::string& payload)
{
    CIntfData env;
    bool online = false;
    tagStudent_t record;
    // An emptied presence counts as gone.
    if (!payload.empty()) {
        if (!LoadEnvelope(payload, tavd::kPresenceMessage, "presence of " + id, env))
            return;
        std::string state;
        env.m_ParaXml.getString(tavd::kStateParam, state);
        if (state != tavd::kOnline && state != tavd::kOffline) {
            LogError("dropped a presence of " + id + " with the state '" + Shown(state) + "'");
            return;
        }
        online = state == tavd::kOnline;
        record = Record(env, id);
    }
    const auto status = m_roster.SetPresence(id, record, online);
    if (status) {
        const char* now = *status == kOffline  ? "offline"
                          : *status == kLocked ? "locked"
                                               : "online";
        Log("student " + id + " is now " + now);
        NotifyStatus(id, *status);
    }
    if (!online) {
        if (m_roster.EndWait(id))
            Log("student " + id + " left before the teacher decided on its joining");
        return;
    }
    // A student the class does not know that did not ask (it may hold an
    // acceptance the teacher has forgotten) is handled as if it asked.
    if (!m_roster.IsAccepted(id) && !m_roster.IsWaiting(id))
        Decide(id, record);
}

void TeacherDaemon::OnJoin(const std::string& id, const std::string& payload)
{
    CIntfData env;
    if (!LoadEnvelope(payload, tavd::kJoinMessage, "join request of " + id, env))
        return;
    Decide(id, Record(env, id));
}

void TeacherDaemon::OnAnswer(const std::string& id, const std::string& payload)
{
    if (!m_roster.IsAccepted(id)) {
        LogError("dropped an answer of " + id + ", who is not in the class");
        return;
    }
    CIntfData env;
    const std::string name = MessageOf(payload, env);
    if (std::find(std::begin(kAnswers), std::end(kAnswers), name) == std::end(kAnswers)) {
        LogError("dropped an answer of " + id + " that is no student answer ('" + Shown(name) +
                 "')");
        return;
    }
    int opid = 0, result = 0;
    env.GetOperationID(opid);
    env.GetResult(result);
    if (name == Msg::TEACHER_SEARCHPROGRAMCALLBACK) {
        auto search = m_searches.find(opid);
        if (search != m_searches.end() && search->second.erase(id) && search->second.empty())
            ForgetSearch(opid);
    }
    if (IsCancelled(opid)) {
        Log("answer " + name + " of " + id + " to cancelled op " + std::to_string(opid) +
            " dropped");
        return;
    }
    // Built anew: only what the application reads goes through, under the
    // id the broker vouches for.
    CIntfData note(name, opid, id);
    note.SetResult(result);
    std::string text;
    int number = 0;
    if (IsBooleanCallback(name)) {
        env.m_ParaXml.getString(Param::bSuccess, text);
        note.m_ParaXml.setString(Param::bSuccess,
                                 text == IPCAPI::kTrue ? IPCAPI::kTrue : IPCAPI::kFalse);
    } else if (name == Msg::TEACHER_SEARCHPROGRAMCALLBACK) {
        if (env.m_ParaXml.getString(Param::programsXML, text))
            note.m_ParaXml.setString(Param::programsXML, text);
    } else {
        env.m_ParaXml.getInt(Param::iReturn, number);
        note.m_ParaXml.setInt(Param::iReturn, number);
    }
    Notify(note);
}

bool TeacherDaemon::Publish(const std::string& topic, const CIntfData& env, bool retain)
{
    std::string text;
    if (!m_class || !env.toString(text))
        return false;
    return m_class->Publish(topic, text, retain);
}

bool TeacherDaemon::PublishCommand(const std::string& id, const CIntfData& env)
{
    const auto topic = m_topics.Command(id);
    return topic && Publish(*topic, env, false);
}

// ---------------------------------------------------------------------------
// Joining

void TeacherDaemon::Decide(const std::string& id, const tagStudent_t& record)
{
    if (m_roster.IsAccepted(id)) {
        SendVerdict(id, true, 0);
        return;
    }
    if (m_roster.IsWaiting(id))
        return;
    const auto settings = SystemSettings();
    if (settings->GetNewStudentConnectDialogEnable() == 1) {
        m_roster.Wait(id);
        CIntfData ask(Msg::TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK, 0, id);
        std::list<tagStudent_t> one{record};
        ask.m_ParaXml.setStudentInfoList(one);
        Log("student " + id + " asks to join; the teacher decides");
        Notify(ask);
    } else if (settings->GetConnectPolicyAllow() == 1) {
        Admit(id);
    } else {
        Log("student " + id + " turned away: new students may not connect");
        SendVerdict(id, false, 0);
    }
}

void TeacherDaemon::Admit(const std::string& id)
{
    const bool keep = SystemSettings()->GetAddToCurrentClassAllow() == 1;
    m_roster.Accept(id, keep);
    Log("student " + id + " joins the class" + (keep ? "" : " for this run"));
    SendVerdict(id, true, 0);
    if (m_roster.IsOnline(id))
        NotifyStatus(id, m_roster.Student(id)->status);
}

void TeacherDaemon::SendVerdict(const std::string& id, bool allow, int opid)
{
    CIntfData verdict(Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, opid, id);
    verdict.m_ParaXml.setString(Param::allow, allow ? IPCAPI::kTrue : IPCAPI::kFalse);
    if (!PublishCommand(id, verdict))
        LogError("the verdict for " + id + " could not be sent");
}

// ---------------------------------------------------------------------------
// Notifications and state

void TeacherDaemon::Notify(CIntfData& note)
{
    std::string name;
    note.GetMessage(name);
    if (m_api.SendMsg(&note) != 0)
        LogError("notification " + name + " could not be sent");
}

void TeacherDaemon::NotifyStatus(const std::string& id, int status)
{
    CIntfData note(Msg::TEACHER_NOTIFYSTUDENTSTATUSCHANGED, 0, id);
    note.m_ParaXml.setInt(Param::iStatus, status);
    Notify(note);
}

void TeacherDaemon::AnswerFor(const std::string& callback, int opid, const std::string& id,
                              int result)
{
    // An id the application made up may not fit the envelope.
    CIntfData note(callback, opid, id.substr(0, 64));
    note.SetResult(result);
    if (IsBooleanCallback(callback))
        note.m_ParaXml.setString(Param::bSuccess, IPCAPI::kFalse);
    else if (callback != Msg::TEACHER_SEARCHPROGRAMCALLBACK)
        note.m_ParaXml.setInt(Param::iReturn, result);
    Notify(note);
}

void TeacherDaemon::KeepDeployedSchedule(const std::string& target, const CIntfData& env)
{
    std::string text, why;
    if (!env.toString(text) ||
        !tavd::WriteFileAtomic(m_config.stateDir + "/deployed/schedule-" + target, text, 0600, why))
        LogError("the deployed schedule for " + target + " is not kept: " + why);
}

int64_t TeacherDaemon::NextDeployTime()
{
    // Never twice the same, so that the newest deployment is always clear.
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    m_lastDeployTime = std::max(now, m_lastDeployTime + 1);
    return m_lastDeployTime;
}

void TeacherDaemon::ForgetSearch(int opid)
{
    m_searches.erase(opid);
    m_searchOrder.erase(std::remove(m_searchOrder.begin(), m_searchOrder.end(), opid),
                        m_searchOrder.end());
}

void TeacherDaemon::Uncancel(int opid)
{
    // A new operation of that id: its answers count again.
    m_cancelled.erase(std::remove(m_cancelled.begin(), m_cancelled.end(), opid), m_cancelled.end());
}

bool TeacherDaemon::IsCancelled(int opid) const
{
    return std::find(m_cancelled.begin(), m_cancelled.end(), opid) != m_cancelled.end();
}

} // namespace teacherd
