#include "StudentDaemon.h"

#include "IPCStudentDaemonAPI.h"
#include "IntfData.h"
#include "LockScheduleData.h"
#include "LogScope.h"
#include "StudentInfoData.h"
#include "TAVLayout.h"
#include "TAVProtocol.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <list>

namespace studentd {

using IPCAPI::CIntfData;
using IPCAPI::kNoStudent;
using LibTAVData::CONFIG_DIR;
using tav_common::LogScope;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

namespace {

// Requests taken in one go before the other descriptors get a look.
constexpr int kRequestsPerRound = 64;
constexpr const char* kManualLockFile = "manual-lock";

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

Seconds Now() { return static_cast<Seconds>(std::time(nullptr)); }

std::tm LocalTime(Seconds now)
{
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

} // namespace

int StoreDocument(LibTAVData::CTAVDataProvider& data, const std::string& xml,
                  const std::string& file)
{
    if (data.LoadFromString(xml) != 0) {
        LogScope::Error("tav-studentd: a document for " + file + " does not load; nothing saved");
        return 2;
    }
    if (data.Save2File(CONFIG_DIR + file) != 0) {
        LogScope::Error("tav-studentd: cannot save " + CONFIG_DIR + file);
        return 1;
    }
    LogScope::Trace("tav-studentd: saved " + CONFIG_DIR + file);
    return 0;
}

namespace {

// True when this process owns the daemon's bus name: the library asked for
// it; asking again tells whether the bus gave it (another daemon may hold
// it, or the bus policy may refuse it to this user).
bool OwnsBusName(std::string& why)
{
    DBusError err;
    dbus_error_init(&err);
    DBusConnection* shared = dbus_bus_get(DBUS_BUS_SYSTEM, &err);
    if (!shared) {
        why = std::string("no system bus: ") + (err.message ? err.message : "unknown error");
        dbus_error_free(&err);
        return false;
    }
    const int reply = dbus_bus_request_name(shared, IPCAPI::kStudentDaemonName,
                                            DBUS_NAME_FLAG_DO_NOT_QUEUE, &err);
    if (dbus_error_is_set(&err))
        why = err.message ? err.message : "refused";
    else if (reply != DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER &&
             reply != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
        why = "another daemon owns it";
    dbus_error_free(&err);
    dbus_connection_unref(shared);
    return why.empty();
}

} // namespace

struct StudentDaemon::Request {
    std::string name;
    CIntfData data;
    int opid = 0;
};

StudentDaemon::StudentDaemon(const tavd::DaemonConfig& config)
    : m_config(config), m_topics(*tavd::ClassTopics::ForClass(config.className)),
      m_acceptanceFile("accepted-" + config.className), m_startTime(Now()), m_hostname(HostName()),
      m_state(config.stateDir), m_lock(m_startTime), m_usb(config.usbRuleFile, config.modprobe),
      m_wantLink(config.autoConnect)
{}

StudentDaemon::~StudentDaemon() = default;

int StudentDaemon::Run(int signalFd)
{
    LogScope scope("StudentDaemon::Run()");
    std::string why;
    if (!m_state.Prepare(why)) {
        LogScope::Error("tav-studentd: state folder: " + why);
        return 1;
    }
    LoadStartState();
    m_api = std::make_unique<IPCAPI::IPCStudentDaemonAPI>();
    if (!OwnsBusName(why)) {
        LogScope::Error(std::string("tav-studentd: cannot own ") + IPCAPI::kStudentDaemonName +
                        ": " + why);
        return 1;
    }
    m_search = std::make_unique<SearchWorker>();
    m_timer.reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    const itimerspec second{{1, 0}, {1, 0}};
    if (m_timer.get() < 0 || ::timerfd_settime(m_timer.get(), 0, &second, nullptr) != 0) {
        LogScope::Error(std::string("tav-studentd: no timer: ") + std::strerror(errno));
        return 1;
    }
    LogScope::Trace("tav-studentd: serving as " + std::string(IPCAPI::kStudentDaemonName) +
                    ", student " + m_config.studentId + " of class " + m_config.className);
    EvaluateLock();
    if (m_config.discovery) {
        auto browser = std::make_unique<tavd::ClassBrowser>(
            [this](const tavd::ClassChange& c) { OnClassChange(c); });
        if (browser->Start(why))
            m_browser = std::move(browser);
        else
            LogScope::Error("tav-studentd: no class discovery (" + why +
                            "): the configured broker only");
    }
    if (m_wantLink)
        StartLink();

    for (;;) {
        ServeRequests();
        m_retiredLink.reset();
        const int busFd = m_api->GetWaitFD();
        tavd::MqttClient* const link = m_link.get();
        pollfd fds[6] = {{signalFd, POLLIN, 0},
                         {m_timer.get(), POLLIN, 0},
                         {m_search->WakeFd(), POLLIN, 0},
                         {link ? link->WakeFd() : -1, POLLIN, 0},
                         {busFd, POLLIN, 0},
                         {m_browser ? m_browser->WakeFd() : -1, POLLIN, 0}};
        // Without a bus the library connects again when asked: look every second.
        if (::poll(fds, 6, busFd < 0 ? 1000 : -1) < 0 && errno != EINTR) {
            LogScope::Error(std::string("tav-studentd: poll: ") + std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            [[maybe_unused]] const ssize_t n = ::read(signalFd, &info, sizeof info);
            LogScope::Trace("tav-studentd: signal " + std::to_string(info.ssi_signo) +
                            ": stopping");
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t expirations;
            [[maybe_unused]] const ssize_t n =
                ::read(m_timer.get(), &expirations, sizeof expirations);
            Tick();
        }
        if (fds[2].revents & POLLIN)
            SendSearchAnswers();
        if (link && link == m_link.get() && (fds[3].revents & POLLIN))
            link->Dispatch();
        if (fds[5].revents & POLLIN)
            m_browser->Dispatch();
    }
    StopLink("the daemon stops");
    m_retiredLink.reset();
    m_browser.reset();
    m_api.reset(); // releases the bus name
    return 0;
}

void StudentDaemon::ServeRequests()
{
    for (int i = 0; i < kRequestsPerRound; ++i) {
        Request request;
        std::string payload;
        int unused = 0;
        if (m_api->ReceiveMsg(unused, request.name, payload) != 0)
            return;
        const bool block = m_api->IsBlock();
        const bool loaded = request.data.load(payload);
        request.data.GetOperationID(request.opid);
        CIntfData reply(request.name, request.opid, kNoStudent);
        if (loaded) {
            Handle(request, reply);
        } else {
            LogScope::Error("tav-studentd: " + request.name +
                            " does not carry an envelope; refused");
            reply.SetResult(2);
        }
        if (block && m_api->ReplyMsg(&reply) != 0)
            LogScope::Error("tav-studentd: the answer to " + request.name + " could not be sent");
    }
}

void StudentDaemon::Handle(Request& request, CIntfData& reply)
{
    const std::string& name = request.name;
    IPCAPI::CParaXml& in = request.data.m_ParaXml;
    std::string text;
    if (name == Msg::SEARCHTEACHER) {
        CIntfData note(Msg::SEARCHTEACHERCALLBACK, request.opid, kNoStudent);
        const std::vector<std::string> visible = VisibleClasses();
        std::list<std::string> teachers(visible.begin(), visible.end());
        note.m_ParaXml.setListPara(teachers);
        Notify(note);
    } else if (name == Msg::CONNECTTEACHER) {
        in.getString(Param::strTeacherID, text);
        ConnectTeacher(request.opid, text);
    } else if (name == Msg::GETCONNECTEDTEACHER) {
        const bool joined = m_connected && m_accepted;
        reply.m_ParaXml.setString(Param::strTeacherID, joined ? m_topics.ClassName() : "");
        reply.SetResult(joined ? 0 : 19);
    } else if (name == Msg::SEARCHLOCALPROGRAM) {
        in.getString(Param::targetFolder, text);
        if (!m_search->Submit(SearchWorker::Origin::Application, request.opid, text)) {
            CIntfData note(Msg::SEARCHLOCALPROGRAMCALLBACK, request.opid, kNoStudent);
            note.SetResult(16);
            note.m_ParaXml.setString(Param::programsXML, "");
            Notify(note);
        }
    } else if (name == Msg::STUDENT_CANCELOPERATION) {
        int oid = 0;
        if (!in.getInt(Param::OID, oid))
            reply.SetResult(2);
        else
            reply.SetResult(m_search->Cancel(SearchWorker::Origin::Application, oid) ? 0 : 1);
    } else if (name == Msg::VERIFYUSERPASSWORD) {
        reply.SetResult(VerifyPassword(request));
    } else {
        reply.SetResult(HandlePrivileged(request));
    }
}

bool StudentDaemon::Authorised(const Request& request)
{
    unsigned long uid = 0, pid = 0;
    if (m_api->GetRequestSender(uid, pid) != 0) {
        LogScope::Error("tav-studentd: " + request.name +
                        " refused: the bus cannot tell who sent it");
        return false;
    }
    if (IsAdministrator(static_cast<uid_t>(uid), m_config.adminGroup))
        return true;
    LogScope::Error("tav-studentd: " + request.name + " refused to uid " + std::to_string(uid) +
                    " (pid " + std::to_string(pid) + "): neither root nor a member of " +
                    m_config.adminGroup);
    return false;
}

int StudentDaemon::HandlePrivileged(Request& request)
{
    const std::string& name = request.name;
    const char* privileged[] = {Msg::MANUALUNLOCKLOCALSTUDENT, Msg::MANUALLOCKLOCALSTUDENT,
                                Msg::SAVELOCALSCHEDULEPOLICY,  Msg::SAVELOCALTABNAVPOLICY,
                                Msg::SAVESTUDENTINFO,          Msg::HARDWARECONTROL,
                                Msg::STUDENT_SWITCHTONORMALOS, Msg::DISCONNECTSTUDENT};
    if (std::none_of(std::begin(privileged), std::end(privileged),
                     [&](const char* p) { return name == p; })) {
        LogScope::Error("tav-studentd: unknown request " + name.substr(0, 64));
        return 1;
    }
    if (!Authorised(request))
        return 13;
    std::string xml, why;
    IPCAPI::CParaXml& in = request.data.m_ParaXml;
    in.getString(name == Msg::MANUALLOCKLOCALSTUDENT ? Param::lockPolicy : Param::strXML, xml);
    if (name == Msg::MANUALUNLOCKLOCALSTUDENT) {
        UnlockManually();
        return 0;
    }
    if (name == Msg::MANUALLOCKLOCALSTUDENT) {
        const int rc = LockFromPolicy(xml, why);
        if (rc != 0)
            LogScope::Error("tav-studentd: manual lock refused: " + why);
        return rc;
    }
    if (name == Msg::SAVELOCALSCHEDULEPOLICY)
        return SaveSchedule(xml);
    if (name == Msg::SAVELOCALTABNAVPOLICY)
        return SaveTabNav(xml);
    if (name == Msg::SAVESTUDENTINFO) {
        LibTAVData::CStudentInfoData data;
        return StoreDocument(data, xml, LibTAVData::STUDENT_INFO_XML);
    }
    if (name == Msg::HARDWARECONTROL)
        return SaveSettings(xml);
    if (name == Msg::STUDENT_SWITCHTONORMALOS) {
        LogScope::Warning(
            "tav-studentd: switching to the normal desktop is not supported by this daemon");
        return 1;
    }
    // DISCONNECTSTUDENT
    if (!m_link)
        return 19;
    m_wantLink = false;
    StopLink("the application disconnected this machine from the class");
    UpdateTeacherState(true);
    return 0;
}

int StudentDaemon::VerifyPassword(Request& request)
{
    unsigned long uid = 0, pid = 0;
    if (m_api->GetRequestSender(uid, pid) != 0)
        return 1;
    const auto now = Steady::now();
    if (!m_guesses.Admit(static_cast<uid_t>(uid), now)) {
        LogScope::Warning("tav-studentd: password check for uid " + std::to_string(uid) +
                          " refused: too many attempts");
        return 16;
    }
    std::string user, password;
    request.data.m_ParaXml.getString(Param::UserName, user);
    request.data.m_ParaXml.getString(Param::Password, password);
    if (PasswordMatches(user, password))
        return 0;
    m_guesses.Failed(static_cast<uid_t>(uid), Steady::now());
    LogScope::Warning("tav-studentd: password check failed (uid " + std::to_string(uid) + ")");
    return 1;
}

void StudentDaemon::Notify(CIntfData& note)
{
    std::string message;
    note.GetMessage(message);
    if (m_api->SendMsg(&note) != 0)
        LogScope::Error("tav-studentd: " + message + " could not be sent to the applications");
}

void StudentDaemon::NotifySimple(const char* message)
{
    CIntfData note(message, 0, kNoStudent);
    Notify(note);
}

std::vector<std::string> StudentDaemon::VisibleClasses() const
{
    std::vector<std::string> names;
    if (m_browser)
        for (const tavd::DiscoveredClass& c : m_browser->Classes())
            names.push_back(c.className);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    if (!std::binary_search(names.begin(), names.end(), m_config.className))
        names.insert(names.begin(), m_config.className);
    return names;
}

void StudentDaemon::ConnectTeacher(int opid, const std::string& teacher)
{
    const auto target = TargetOf(teacher);
    if (!target) {
        LogScope::Error("tav-studentd: CONNECTTEACHER to unknown teacher '" +
                        teacher.substr(0, 64) + "' (neither configured, " + m_config.className +
                        ", nor found on the network)");
        CIntfData answer(Msg::CONNECTTEACHERCALLBACK, opid, kNoStudent);
        answer.SetResult(19);
        answer.m_ParaXml.setString(Param::strTeacherID, teacher);
        answer.m_ParaXml.setInt(Param::iReturn, 19);
        Notify(answer);
        return;
    }
    if (teacher != m_topics.ClassName()) {
        AnswerConnect(1, false); // those waiting for the class being left
        SwitchClass(teacher);
    } else if (m_link && !m_connected && !(*target == m_linkTarget)) {
        StopLink("the class's broker is elsewhere now");
    }
    m_wantLink = true;
    m_connectRequests.push_back(opid);
    if (m_connected && m_accepted) {
        AnswerConnect(0, false);
        return;
    }
    m_connectDeadline = Steady::now() + kConnectWait;
    if (!m_link)
        StartLink();
    else if (m_connected)
        PublishJoin(); // the teacher may have missed the first one
}

void StudentDaemon::AnswerConnect(int result, bool unasked)
{
    std::vector<int> opids = std::exchange(m_connectRequests, {});
    if (opids.empty() && unasked)
        opids.push_back(0);
    for (const int opid : opids) {
        CIntfData answer(Msg::CONNECTTEACHERCALLBACK, opid, kNoStudent);
        answer.SetResult(result);
        answer.m_ParaXml.setString(Param::strTeacherID, m_topics.ClassName());
        answer.m_ParaXml.setInt(Param::iReturn, result);
        Notify(answer);
    }
}

void StudentDaemon::SendSearchAnswers()
{
    for (SearchWorker::Done& done : m_search->TakeFinished()) {
        const ProgramListing& l = done.listing;
        LogScope::Trace(
            "tav-studentd: search " + std::to_string(done.opid) + " in " + done.folder + ": " +
            (l.listed ? std::to_string(l.count) + " programs" : "cannot be read: " + l.error));
        const bool teacher = done.origin == SearchWorker::Origin::Teacher;
        CIntfData answer(teacher ? Msg::TEACHER_SEARCHPROGRAMCALLBACK
                                 : Msg::SEARCHLOCALPROGRAMCALLBACK,
                         done.opid, teacher ? m_config.studentId : kNoStudent);
        answer.SetResult(l.listed ? 0 : 1);
        answer.m_ParaXml.setString(Param::programsXML, l.listed ? l.xml : "");
        if (teacher)
            Answer(answer);
        else
            Notify(answer);
    }
}

void StudentDaemon::LoadStartState()
{
    ::mkdir(CONFIG_DIR.c_str(), 0755);
    const std::string schedulePath = CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML;
    m_schedule = std::make_unique<LibTAVData::CLockScheduleData>();
    struct stat st;
    if (m_schedule->LoadFromFile(schedulePath) == 0) {
        m_statusOnDisk = m_schedule->GetLockStatus();
        m_locked = m_schedule->Islocked();
    } else {
        m_schedule = std::make_unique<LibTAVData::CLockScheduleData>();
        // A file that does not load is left for its author to mend.
        m_statusOnDisk = ::lstat(schedulePath.c_str(), &st) == 0 ? kLeaveFile : 0;
        if (m_statusOnDisk == kLeaveFile)
            LogScope::Error("tav-studentd: " + schedulePath + " does not load; no automatic lock");
    }
    m_lock.SetSchedule(AutomaticSections(*m_schedule));

    std::string text;
    if (m_state.Read(kManualLockFile, text)) {
        if (const auto manual = ManualLock::Parse(text)) {
            m_lock.Lock(*manual);
            LogScope::Trace("tav-studentd: the manual lock of the last run is still in force");
        } else {
            LogScope::Error("tav-studentd: " + m_config.stateDir + "/" + kManualLockFile +
                            " is damaged; dropped");
            m_state.Remove(kManualLockFile);
        }
    }
    m_accepted = m_state.Exists(m_acceptanceFile);
    LoadDeployments();

    // The USB switch as last set, in force again (a rule file removed by
    // hand comes back).
    LibTAVData::CTAVSystemSettingData settings;
    std::string error;
    if (settings.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML) == 0 &&
        !m_usb.Apply(settings.GetUSBStorageenabled() == 1, error))
        LogScope::Error("tav-studentd: USB storage switch: " + error);
    m_seatUser = SeatUser();
}

int StudentDaemon::SaveSchedule(const std::string& xml)
{
    auto schedule = std::make_unique<LibTAVData::CLockScheduleData>();
    if (schedule->LoadFromString(xml) != 0) {
        LogScope::Error("tav-studentd: the lock schedule does not load; nothing saved");
        return 2;
    }
    // Saved with the lock status in force; the new schedule may change it
    // right after.
    if (!WriteLockStatus(*schedule, m_locked))
        return 1;
    m_schedule = std::move(schedule);
    m_lock.SetSchedule(AutomaticSections(*m_schedule));
    NotifySimple(Msg::NOTIFYSCHEDULEPOLICYCHANGED);
    EvaluateLock();
    return 0;
}

int StudentDaemon::SaveTabNav(const std::string& xml)
{
    LibTAVData::CTabNavigationData data;
    const int rc = StoreDocument(data, xml, LibTAVData::TAB_NAVIGATION_XML);
    if (rc == 0)
        NotifySimple(Msg::NOTIFYTABNAVPOLICYCHANGED);
    return rc;
}

int StudentDaemon::SaveSettings(const std::string& xml)
{
    LibTAVData::CTAVSystemSettingData settings;
    const int rc = StoreDocument(settings, xml, LibTAVData::SYSTEM_SETTING_XML);
    if (rc != 0)
        return rc;
    std::string error;
    if (!m_usb.Apply(settings.GetUSBStorageenabled() == 1, error)) {
        LogScope::Error("tav-studentd: USB storage switch: " + error);
        return 1;
    }
    return 0;
}

int StudentDaemon::LockFromPolicy(const std::string& xml, std::string& why)
{
    LibTAVData::CLockScheduleData policy;
    if (policy.LoadFromString(xml) != 0) {
        why = "the lock policy does not load";
        return 2;
    }
    const auto manual = ManualLock::FromPolicy(policy, Now(), why);
    if (!manual)
        return 2;
    m_lock.Lock(*manual);
    LogScope::Trace("tav-studentd: manual lock" +
                    (manual->until
                         ? " for " + std::to_string((manual->until - manual->since) / 60) + " min"
                         : std::string(" until unlocked")));
    PersistManualLock();
    EvaluateLock();
    return 0;
}

void StudentDaemon::UnlockManually()
{
    m_lock.Unlock();
    PersistManualLock();
    EvaluateLock();
}

void StudentDaemon::Tick()
{
    m_usb.Poll();
    ApplyDuePolicies();
    if (!m_connectRequests.empty() && !m_connected && Steady::now() >= m_connectDeadline) {
        LogScope::Warning("tav-studentd: the class broker is not reachable; still trying");
        AnswerConnect(1, false);
    }
    const std::string user = SeatUser();
    if (user != m_seatUser) {
        m_seatUser = user;
        PublishPresence();
    }
    EvaluateLock();
}

void StudentDaemon::EvaluateLock()
{
    const Seconds now = Now();
    bool ended = false;
    const bool locked = m_lock.Evaluate(now, LocalTime(now), ended);
    if (ended) {
        LogScope::Trace("tav-studentd: the manual lock ended by its rule");
        PersistManualLock();
    }
    if (locked != m_locked) {
        m_locked = locked;
        LogScope::Trace(std::string("tav-studentd: the machine is now ") +
                        (locked ? "locked" : "unlocked"));
        CIntfData note(Msg::NOTIFYLOCKSTATUSCHANGED, 0, kNoStudent);
        note.m_ParaXml.setString(Param::bLock, locked ? IPCAPI::kTrue : IPCAPI::kFalse);
        Notify(note);
        PublishPresence();
    }
    if (m_statusOnDisk != kLeaveFile && m_statusOnDisk != (locked ? 2 : 0))
        WriteLockStatus(*m_schedule, locked);
}

void StudentDaemon::PersistManualLock()
{
    if (m_lock.Manual())
        m_state.Write(kManualLockFile, m_lock.Manual()->Serialize());
    else
        m_state.Remove(kManualLockFile);
}

bool StudentDaemon::WriteLockStatus(LibTAVData::CLockScheduleData& schedule, bool locked)
{
    const int status = locked ? 2 : 0;
    schedule.SetLockStatus(status);
    if (schedule.Save2File(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML) != 0) {
        // Tried again every second; said once.
        if (m_statusOnDisk != kWriteFailed)
            LogScope::Error("tav-studentd: cannot save " + CONFIG_DIR +
                            LibTAVData::LOCK_SCHEDULE_XML);
        m_statusOnDisk = kWriteFailed;
        return false;
    }
    m_statusOnDisk = status;
    return true;
}

} // namespace studentd
