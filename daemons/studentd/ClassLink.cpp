// The class side of the student daemon: the broker connection, presence
// and join, the teacher's commands and the policies it deploys.
#include "StudentDaemon.h"

#include "ClassMessages.h"
#include "IntfData.h"
#include "LogScope.h"
#include "TAVProtocol.h"

#include <signal.h>
#include <utmpx.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <list>
#include <sstream>

namespace studentd {

using IPCAPI::CIntfData;
using IPCAPI::kNoStudent;
using tav_common::LogScope;
using tavd::PolicyKind;
using tavd::StudentChannel;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

namespace {

constexpr const char* kDeploymentsFile = "deployments";
// Retained policies of several topics arrive one after the other right
// after subscribing: they are given this long to be all in before the
// newest of each kind is applied.
constexpr auto kPolicySettle = std::chrono::milliseconds(500);

bool ReadDeployTime(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return value > 0;
}

std::string Field(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

} // namespace

std::string SeatUser()
{
    // The graphical session's user first (its line is the display, ":0"),
    // else the first console login. Entries of sessions that ended without
    // saying so (their process is gone) do not count.
    std::string console, graphical;
    setutxent();
    while (const utmpx* u = getutxent()) {
        if (u->ut_type != USER_PROCESS || u->ut_user[0] == '\0' ||
            (::kill(u->ut_pid, 0) != 0 && errno == ESRCH))
            continue;
        const std::string line = Field(u->ut_line, sizeof u->ut_line);
        if (!line.empty() && line[0] == ':') {
            graphical = Field(u->ut_user, sizeof u->ut_user);
            break;
        }
        if (console.empty() && line.rfind("tty", 0) == 0)
            console = Field(u->ut_user, sizeof u->ut_user);
    }
    endutxent();
    return graphical.empty() ? console : graphical;
}

std::optional<StudentDaemon::BrokerTarget>
StudentDaemon::TargetOf(const std::string& className) const
{
    if (m_browser)
        if (const tavd::DiscoveredClass* found = m_browser->Find(className))
            return BrokerTarget{found->ConnectHost(), found->port};
    if (className == m_config.className)
        return BrokerTarget{m_config.brokerHost, m_config.brokerPort};
    return std::nullopt;
}

void StudentDaemon::SwitchClass(const std::string& className)
{
    StopLink("moving to class " + className);
    m_topics = *tavd::ClassTopics::ForClass(className);
    m_acceptanceFile = "accepted-" + className;
    m_accepted = m_state.Exists(m_acceptanceFile);
    m_pending.clear(); // the old class's policies
    LogScope::Trace("tav-studentd: this machine moves to class " + className);
    UpdateTeacherState(true);
}

void StudentDaemon::OnClassChange(const tavd::ClassChange& change)
{
    static const char* const kinds[] = {"appeared", "changed", "gone"};
    const tavd::DiscoveredClass& c = change.cls;
    LogScope::Trace("tav-studentd: class " + c.className + " (" + c.instance + ") " +
                    kinds[static_cast<int>(change.kind)] + ": broker " + c.ConnectHost() + ":" +
                    std::to_string(c.port));
    // A link that has not got through follows its class's announcement (the
    // teacher came up after this daemon, or moved); one that works stays.
    if (change.kind == tavd::ClassChange::Kind::Gone || c.className != m_topics.ClassName() ||
        !m_link || m_connected)
        return;
    const auto target = TargetOf(c.className);
    if (!target || *target == m_linkTarget)
        return;
    StopLink("the class's broker is announced at " + target->host);
    StartLink();
}

void StudentDaemon::StartLink()
{
    if (m_link)
        return;
    // The class's broker; the last one tried when its announcement went.
    m_linkTarget = TargetOf(m_topics.ClassName()).value_or(m_linkTarget);
    tavd::MqttOptions options = tavd::MqttOptionsFrom(m_config, tavd::DaemonRole::Student);
    options.host = m_linkTarget.host;
    options.port = m_linkTarget.port;
    options.willTopic = *m_topics.Student(m_config.studentId, StudentChannel::Presence);
    options.willPayload = PresenceEnvelope(false);
    tavd::MqttHandlers handlers;
    handlers.onMessage = [this](const tavd::MqttMessage& m) { OnMessage(m); };
    handlers.onConnected = [this] { OnConnected(); };
    handlers.onConnectionLost = [this](const std::string&) { OnConnectionLost(); };
    auto link = std::make_unique<tavd::MqttClient>(options, handlers);
    for (const std::string& filter :
         {*m_topics.Command(m_config.studentId), m_topics.CommandToAll(),
          m_topics.TeacherPresence(), m_topics.PolicyForAllFilter(),
          *m_topics.StudentPolicyFilter(m_config.studentId)})
        link->Subscribe(filter);
    std::string error;
    if (!link->Start(error)) {
        LogScope::Error("tav-studentd: cannot join class " + m_topics.ClassName() + ": " + error);
        AnswerConnect(1, false);
        return;
    }
    m_link = std::move(link);
    LogScope::Trace("tav-studentd: joining class " + m_topics.ClassName() + " at " +
                    m_linkTarget.host + ":" + std::to_string(m_linkTarget.port));
}

void StudentDaemon::StopLink(const std::string& why)
{
    if (!m_link)
        return;
    LogScope::Trace("tav-studentd: leaving the class: " + why);
    m_link->Stop(); // says "offline" first
    // Possibly called from inside the client's Dispatch(): destroyed later.
    m_retiredLink = std::move(m_link);
    m_connected = false;
    m_teacherOnline = false;
    m_lastPresence.clear();
}

void StudentDaemon::OnConnected()
{
    m_connected = true;
    m_lastPresence.clear();
    PublishPresence();
    if (!m_accepted)
        PublishJoin();
    else if (!m_connectRequests.empty())
        AnswerConnect(0, false);
    UpdateTeacherState();
}

void StudentDaemon::OnConnectionLost()
{
    m_connected = false;
    m_teacherOnline = false; // told again by its retained presence
    m_connectDeadline = Steady::now() + kConnectWait;
    UpdateTeacherState();
}

void StudentDaemon::OnMessage(const tavd::MqttMessage& message)
{
    const auto info = m_topics.Parse(message.topic);
    if (!info ||
        (!info->everyStudent && !info->studentId.empty() && info->studentId != m_config.studentId))
        return;
    if (message.payload.empty())
        return; // a retained message cleared
    if (info->kind == tavd::TopicInfo::Kind::Policy) {
        OnPolicy(*info, message);
        return;
    }
    CIntfData envelope;
    if (!envelope.load(message.payload)) {
        LogScope::Error("tav-studentd: a message on " + message.topic +
                        " is not an envelope; dropped");
        return;
    }
    if (info->kind == tavd::TopicInfo::Kind::TeacherPresence) {
        std::string state;
        envelope.m_ParaXml.getString(tavd::kStateParam, state);
        m_teacherOnline = state == tavd::kOnline;
        UpdateTeacherState();
    } else if (info->kind == tavd::TopicInfo::Kind::Command) {
        OnCommand(envelope);
    }
}

void StudentDaemon::OnCommand(CIntfData& command)
{
    std::string name, text;
    int opid = 0;
    command.GetMessage(name);
    command.GetOperationID(opid);
    IPCAPI::CParaXml& in = command.m_ParaXml;
    if (name == Msg::TEACHER_CONTROLNEWSTUDENTCONNECT) {
        in.getString(Param::allow, text);
        OnVerdict(text == IPCAPI::kTrue);
        return;
    }
    if (!m_accepted) {
        LogScope::Warning("tav-studentd: " + name +
                          " ignored: this machine is not in the class yet");
        return;
    }
    auto answer = [&](const char* message, int result) {
        CIntfData a(message, opid, m_config.studentId);
        a.SetResult(result);
        a.m_ParaXml.setInt(Param::iReturn, result);
        Answer(a);
    };
    if (name == Msg::TEACHER_KICKOFFSTUDENT) {
        answer(Msg::TEACHER_KICKOFFSTUDENTCALLBACK, 0);
        m_wantLink = false;
        StopLink("kicked off by the teacher");
        UpdateTeacherState(true);
    } else if (name == Msg::TEACHER_MANUALLOCKREMOTESTUDENT) {
        in.getString(Param::lockPolicy, text);
        std::string why;
        const int rc = LockFromPolicy(text, why);
        if (rc != 0)
            LogScope::Error("tav-studentd: the teacher's lock refused: " + why);
        answer(Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK, rc);
    } else if (name == Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN) {
        UnlockManually();
        answer(Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK, 0);
    } else if (name == Msg::TEACHER_SEARCHPROGRAM) {
        in.getString(Param::targetFolder, text);
        if (!m_search->Submit(SearchWorker::Origin::Teacher, opid, text)) {
            CIntfData busy(Msg::TEACHER_SEARCHPROGRAMCALLBACK, opid, m_config.studentId);
            busy.SetResult(16);
            Answer(busy);
        }
    } else if (name == Msg::TEACHER_CANCELOPERATION) {
        int oid = 0;
        if (in.getInt(Param::OID, oid))
            m_search->Cancel(SearchWorker::Origin::Teacher, oid);
    } else if (name == Msg::POSTMESSAGE) {
        int id = 0;
        in.getInt(Param::MessageID, id);
        in.getString(Param::Message, text);
        CIntfData note(Msg::POSTMESSAGE, opid, kNoStudent);
        note.m_ParaXml.setInt(Param::MessageID, id);
        note.m_ParaXml.setString(Param::Message, text);
        Notify(note);
    } else {
        LogScope::Warning("tav-studentd: unknown command " + name.substr(0, 64) +
                          " from the teacher");
    }
}

void StudentDaemon::OnVerdict(bool allowed)
{
    if (allowed) {
        const bool joined = !m_accepted;
        if (joined) {
            m_accepted = true;
            m_state.Write(m_acceptanceFile, "accepted\n");
            LogScope::Trace("tav-studentd: the teacher let this machine into class " +
                            m_topics.ClassName());
        }
        if (joined || !m_connectRequests.empty())
            AnswerConnect(0, true);
        UpdateTeacherState();
        return;
    }
    LogScope::Warning("tav-studentd: the teacher turned this machine away from class " +
                      m_topics.ClassName());
    m_accepted = false;
    m_state.Remove(m_acceptanceFile);
    m_wantLink = false;
    AnswerConnect(13, true);
    StopLink("turned away by the teacher");
    UpdateTeacherState(true);
}

void StudentDaemon::OnPolicy(const tavd::TopicInfo& info, const tavd::MqttMessage& message)
{
    CIntfData envelope;
    std::string text;
    long long deployTime = 0;
    if (!envelope.load(message.payload) ||
        !envelope.m_ParaXml.getString(tavd::kDeployTimeParam, text) ||
        !ReadDeployTime(text, deployTime)) {
        LogScope::Error("tav-studentd: the policy on " + message.topic +
                        " has no deployment time; ignored");
        return;
    }
    const int kind = static_cast<int>(info.policy);
    const bool perStudent = !info.everyStudent;
    // Not again, and not over a newer one of its kind (a student's own
    // wins over the class's of the same time).
    for (const auto& [topic, applied] : m_deployed) {
        const auto other = m_topics.Parse(topic);
        if (!other || static_cast<int>(other->policy) != kind)
            continue;
        if (topic == message.topic ? deployTime <= applied
                                   : deployTime < applied || (deployTime == applied && !perStudent))
            return;
    }
    const auto waiting = m_pending.find(kind);
    if (waiting != m_pending.end() &&
        (waiting->second.deployTime > deployTime ||
         (waiting->second.deployTime == deployTime && waiting->second.perStudent && !perStudent)))
        return;
    m_pending[kind] = {message.topic, message.payload, deployTime, perStudent, Steady::now()};
}

void StudentDaemon::ApplyDuePolicies()
{
    if (!m_accepted)
        return; // kept until the teacher lets this machine in
    const auto now = Steady::now();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (now - it->second.arrived < kPolicySettle) {
            ++it;
            continue;
        }
        const PendingPolicy policy = std::move(it->second);
        it = m_pending.erase(it);
        ApplyPolicy(policy);
    }
}

void StudentDaemon::ApplyPolicy(const PendingPolicy& policy)
{
    CIntfData envelope;
    envelope.load(policy.payload);
    std::string name, xml;
    int opid = 0;
    envelope.GetMessage(name);
    envelope.GetOperationID(opid);
    m_deployed[policy.topic] = policy.deployTime;
    SaveDeployments();

    const auto kind = m_topics.Parse(policy.topic)->policy;
    LogScope::Trace("tav-studentd: applying the " + std::string(tavd::PolicyKindName(kind)) +
                    " policy of " + policy.topic + " (deployed " +
                    std::to_string(policy.deployTime) + ")");
    if (kind == PolicyKind::Settings) {
        envelope.m_ParaXml.getString(Param::strXML, xml);
        const int rc = name == Msg::HARDWARECONTROL ? SaveSettings(xml) : 2;
        if (rc != 0)
            LogScope::Error("tav-studentd: the system settings of " + policy.topic +
                            " were not applied");
        return;
    }
    const bool schedule = kind == PolicyKind::Schedule;
    const char* expected =
        schedule ? Msg::TEACHER_DEPLOYSCHEDULEPOLICY : Msg::TEACHER_DEPLOYTABNAVPOLICY;
    envelope.m_ParaXml.getString(schedule ? Param::schedulePolicyXML : Param::tabNavPolicyXML, xml);
    int rc = 2;
    if (name != expected) {
        LogScope::Error("tav-studentd: " + name.substr(0, 64) + " on " + policy.topic +
                        " is no such policy");
    } else {
        rc = schedule ? SaveSchedule(xml) : SaveTabNav(xml);
    }
    CIntfData answer(schedule ? Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK
                              : Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK,
                     opid, m_config.studentId);
    answer.SetResult(rc);
    answer.m_ParaXml.setString(Param::bSuccess, rc == 0 ? IPCAPI::kTrue : IPCAPI::kFalse);
    Answer(answer);
}

void StudentDaemon::Answer(CIntfData& answer)
{
    std::string text, name;
    answer.GetMessage(name);
    if (!m_link) {
        LogScope::Warning("tav-studentd: " + name + " not sent: this machine has left the class");
        return;
    }
    answer.toString(text);
    m_link->Publish(*m_topics.Student(m_config.studentId, StudentChannel::Answer), text);
}

IPCAPI::tagStudent_t StudentDaemon::Record() const
{
    IPCAPI::tagStudent_t record;
    record.studentID = m_config.studentId;
    record.username = m_seatUser;
    record.hostname = m_hostname;
    record.IP = m_link ? m_link->LocalAddress() : "";
    record.start_time = static_cast<int>(m_startTime);
    record.bLocked = m_locked ? 1 : 0;
    record.status = m_locked ? 2 : 1;
    return record;
}

std::string StudentDaemon::PresenceEnvelope(bool online) const
{
    CIntfData envelope(tavd::kPresenceMessage, 0, m_config.studentId);
    envelope.m_ParaXml.setString(tavd::kStateParam, online ? tavd::kOnline : tavd::kOffline);
    if (online) {
        std::list<IPCAPI::tagStudent_t> records{Record()};
        envelope.m_ParaXml.setStudentInfoList(records);
    }
    std::string text;
    envelope.toString(text);
    return text;
}

void StudentDaemon::PublishPresence()
{
    if (!m_link || !m_connected)
        return;
    const std::string text = PresenceEnvelope(true);
    if (text == m_lastPresence)
        return;
    if (m_link->Publish(*m_topics.Student(m_config.studentId, StudentChannel::Presence), text,
                        true))
        m_lastPresence = text;
}

void StudentDaemon::PublishJoin()
{
    CIntfData envelope(tavd::kJoinMessage, 0, m_config.studentId);
    std::list<IPCAPI::tagStudent_t> records{Record()};
    envelope.m_ParaXml.setStudentInfoList(records);
    std::string text;
    envelope.toString(text);
    LogScope::Trace("tav-studentd: asking to join class " + m_topics.ClassName());
    m_link->Publish(*m_topics.Student(m_config.studentId, StudentChannel::Join), text);
}

void StudentDaemon::UpdateTeacherState(bool force)
{
    const int state = m_connected && m_accepted && m_teacherOnline ? 1 : 0;
    const bool changed = state != m_teacherState;
    if (!changed && !force)
        return;
    m_teacherState = state;
    if (changed && state == 1 && m_lock.TeacherConnected()) {
        LogScope::Trace("tav-studentd: the manual lock ended with the connection to the teacher");
        PersistManualLock();
    } else if (changed && state == 0) {
        m_lock.TeacherDisconnected(static_cast<Seconds>(std::time(nullptr)));
    }
    CIntfData note(Msg::NOTIFYTEACHERSTATUSCHANGED, 0, kNoStudent);
    note.m_ParaXml.setString(Param::strTeacherID, m_topics.ClassName());
    note.m_ParaXml.setInt(Param::iState, state);
    Notify(note);
    if (changed)
        EvaluateLock();
}

void StudentDaemon::LoadDeployments()
{
    std::string text;
    if (!m_state.Read(kDeploymentsFile, text))
        return;
    std::istringstream lines(text);
    std::string topic, time;
    while (lines >> topic >> time) {
        long long value = 0;
        if (m_topics.Parse(topic) && ReadDeployTime(time, value))
            m_deployed[topic] = value;
    }
}

void StudentDaemon::SaveDeployments()
{
    std::string text;
    for (const auto& [topic, time] : m_deployed)
        text += topic + " " + std::to_string(time) + "\n";
    m_state.Write(kDeploymentsFile, text);
}

} // namespace studentd
