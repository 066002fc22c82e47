// tav-studentd: the student machine's daemon. It answers the student
// applications on the bus (IPCStudentDaemonAPI), is this machine in the
// class over MQTT (presence, join, the teacher's commands and policies),
// and keeps the machine locked when a manual lock or the weekly schedule
// says so. Everything runs on one thread: poll() on the bus, the MQTT
// client's wake descriptor, the search worker's, a once-per-second timer
// and the stop signals. docs/classroom.md describes the behaviour.
#ifndef TAV_STUDENTD_STUDENTDAEMON_H
#define TAV_STUDENTD_STUDENTDAEMON_H

#include "DaemonConfig.h"
#include "Discovery.h"
#include "LocalAccess.h"
#include "LockState.h"
#include "MqttClient.h"
#include "ProgramSearch.h"
#include "StateStore.h"
#include "Topics.h"
#include "UniqueFd.h"
#include "UsbStorage.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace IPCAPI {
class CIntfData;
class IPCStudentDaemonAPI;
struct tagStudent_t;
} // namespace IPCAPI

namespace LibTAVData {
class CLockScheduleData;
class CTAVDataProvider;
} // namespace LibTAVData

namespace studentd {

// The user of the machine's seat: the graphical session's, else the first
// console login's; empty when nobody is logged in.
std::string SeatUser();

// Loads xml with data's class (2 when it does not load), then saves it as
// file under /etc/TAV (1 when that fails); 0 when saved.
int StoreDocument(LibTAVData::CTAVDataProvider& data, const std::string& xml,
                  const std::string& file);

class StudentDaemon {
public:
    // config must hold a valid class name (LoadDaemonConfig checks it).
    explicit StudentDaemon(const tavd::DaemonConfig& config);
    ~StudentDaemon();
    StudentDaemon(const StudentDaemon&) = delete;
    StudentDaemon& operator=(const StudentDaemon&) = delete;

    // Takes the bus name and serves until SIGTERM or SIGINT (which the
    // caller has blocked; they are read from signalFd). Returns the exit
    // status: 0 after a stop signal, 1 when the daemon could not start.
    int Run(int signalFd);

private:
    using Steady = std::chrono::steady_clock;
    // How long CONNECTTEACHER waits for the broker before it reports a
    // failure (the connection is still tried after that).
    static constexpr std::chrono::seconds kConnectWait{30};
    struct Request;
    struct PendingPolicy {
        std::string topic;
        std::string payload;
        long long deployTime = 0;
        bool perStudent = false;
        Steady::time_point arrived;
    };

    // The bus side (StudentDaemon.cpp).
    void ServeRequests();
    void Handle(Request& request, IPCAPI::CIntfData& reply);
    int HandlePrivileged(Request& request);
    bool Authorised(const Request& request);
    int VerifyPassword(Request& request);
    void Notify(IPCAPI::CIntfData& note);
    void NotifySimple(const char* message);
    void ConnectTeacher(int opid, const std::string& teacher);
    // The classes SEARCHTEACHER offers: those seen on the network, and the
    // configured one.
    std::vector<std::string> VisibleClasses() const;
    // CONNECTTEACHERCALLBACK to every CONNECTTEACHER waiting; unasked: also
    // when none waits (the verdict on a connection made at start).
    void AnswerConnect(int result, bool unasked);
    void SendSearchAnswers();

    // Configuration files under /etc/TAV (StudentDaemon.cpp).
    void LoadStartState();
    // Each loads its document with its data class (2 when it does not
    // load), saves it under /etc/TAV (1 when that fails), puts it in force
    // and tells the applications: 0.
    int SaveSchedule(const std::string& xml);
    int SaveTabNav(const std::string& xml);
    int SaveSettings(const std::string& xml);
    int LockFromPolicy(const std::string& xml, std::string& why);
    void UnlockManually();

    // The lock (StudentDaemon.cpp).
    void Tick();
    void EvaluateLock();
    void PersistManualLock();
    bool WriteLockStatus(LibTAVData::CLockScheduleData& schedule, bool locked);

    // The class side (ClassLink.cpp).
    struct BrokerTarget {
        std::string host;
        int port = 0;
        bool operator==(const BrokerTarget& o) const { return host == o.host && port == o.port; }
    };
    // Where the broker of a class is: as announced on the network, else the
    // configured broker for the configured class; nullopt for another class
    // nobody announces.
    std::optional<BrokerTarget> TargetOf(const std::string& className) const;
    // Makes this machine a member of another class: leaves the current one
    // and takes that class's topics and acceptance.
    void SwitchClass(const std::string& className);
    void OnClassChange(const tavd::ClassChange& change);
    void StartLink();
    void StopLink(const std::string& why);
    void OnConnected();
    void OnConnectionLost();
    void OnMessage(const tavd::MqttMessage& message);
    void OnCommand(IPCAPI::CIntfData& command);
    void OnVerdict(bool allowed);
    void OnPolicy(const tavd::TopicInfo& info, const tavd::MqttMessage& message);
    void ApplyDuePolicies();
    void ApplyPolicy(const PendingPolicy& policy);
    void Answer(IPCAPI::CIntfData& answer);
    IPCAPI::tagStudent_t Record() const;
    void PublishPresence();
    void PublishJoin();
    std::string PresenceEnvelope(bool online) const;
    void UpdateTeacherState(bool force = false);
    void LoadDeployments();
    void SaveDeployments();

    const tavd::DaemonConfig m_config;
    // The class this machine is in now: the configured one until the
    // application connects it to another that discovery found.
    tavd::ClassTopics m_topics;
    std::string m_acceptanceFile;
    const long long m_startTime;
    const std::string m_hostname;
    StateStore m_state;
    LockState m_lock;
    UsbStorageSwitch m_usb;
    GuessLimiter m_guesses;

    std::unique_ptr<IPCAPI::IPCStudentDaemonAPI> m_api;
    std::unique_ptr<SearchWorker> m_search;
    tavd::UniqueFd m_timer;

    // The class.
    std::unique_ptr<tavd::ClassBrowser> m_browser; // null: discovery off or unavailable
    BrokerTarget m_linkTarget;                     // of m_link, or of the last one
    std::unique_ptr<tavd::MqttClient> m_link;
    std::unique_ptr<tavd::MqttClient> m_retiredLink; // stopped, destroyed by the loop
    bool m_wantLink;          // off after a kick-off, a refusal or DISCONNECTSTUDENT
    bool m_connected = false; // to the broker
    bool m_accepted = false;  // by the teacher, for this class
    bool m_teacherOnline = false;
    int m_teacherState = 0;             // last NOTIFYTEACHERSTATUSCHANGED sent
    std::vector<int> m_connectRequests; // CONNECTTEACHER waiting for the verdict
    Steady::time_point m_connectDeadline{};
    std::string m_lastPresence; // published on this connection
    std::string m_seatUser;
    std::map<int, PendingPolicy> m_pending;      // by PolicyKind
    std::map<std::string, long long> m_deployed; // topic -> deployment applied

    // The lock.
    std::unique_ptr<LibTAVData::CLockScheduleData> m_schedule;
    bool m_locked = false;
    // LockStatus in LockSchedule.xml (0 when there is none), or one of:
    static constexpr int kLeaveFile = -1;   // the file does not load: not touched
    static constexpr int kWriteFailed = -2; // the last write failed
    int m_statusOnDisk = 0;
};

} // namespace studentd

#endif
