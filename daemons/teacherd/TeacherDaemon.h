// tav-teacherd's work: the teacher applications' requests from the bus on
// one side, the class broker on the other (docs/classroom.md). Everything
// runs on the daemon's one thread: the main loop calls ServeRequests when
// the bus may have requests and DispatchClass when the broker connection
// has news.
#ifndef TAV_TEACHERD_TEACHERDAEMON_H
#define TAV_TEACHERD_TEACHERDAEMON_H

#include "ClassRoster.h"
#include "ConsolePassword.h"
#include "DaemonConfig.h"
#include "Discovery.h"
#include "IntfData.h"
#include "MqttClient.h"
#include "Topics.h"

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace IPCAPI {
class IPCTeacherDaemonAPI;
}

namespace teacherd {

// Result codes of the daemons' answers (docs/classroom.md).
enum Result : int {
    kDone = 0,
    kFailed = 1,
    kBadInput = 2,
    kNotAllowed = 13,
    kBusy = 16,
    kNoStudent = 19,
};

class TeacherDaemon {
public:
    TeacherDaemon(const tavd::DaemonConfig& config, const tavd::ClassTopics& topics,
                  IPCAPI::IPCTeacherDaemonAPI& api);
    ~TeacherDaemon();
    TeacherDaemon(const TeacherDaemon&) = delete;
    TeacherDaemon& operator=(const TeacherDaemon&) = delete;

    // Prepares the state folder and reads the roster, then connects to the
    // class when the configuration asks for it. False with the reason when
    // the state cannot be used.
    bool Start(std::string& error);
    // Publishes the offline presence and disconnects.
    void Stop();

    // Serves the requests waiting on the bus, a batch at a time; true when
    // more may be waiting.
    bool ServeRequests();
    // The broker connection's descriptor to poll (-1 while disconnected on
    // purpose), and the work to do when it is readable.
    int ClassWakeFd() const;
    void DispatchClass();

private:
    struct Request {
        std::string name;
        IPCAPI::CIntfData env;
        int opid = 0;
        std::string studentId;
        uid_t uid = 0;
    };
    using Handler = int (TeacherDaemon::*)(Request&, IPCAPI::CIntfData&);

    void Serve(const std::string& name, const std::string& payload);
    static const std::map<std::string, Handler>& Handlers();

    // Requests; each returns the result code of the answer.
    int UpdateTeacherInfo(Request& r, IPCAPI::CIntfData& reply);
    int StartController(Request& r, IPCAPI::CIntfData& reply);
    int StopController(Request& r, IPCAPI::CIntfData& reply);
    int CancelOperation(Request& r, IPCAPI::CIntfData& reply);
    int GetStudentList(Request& r, IPCAPI::CIntfData& reply);
    int GetStudentStatus(Request& r, IPCAPI::CIntfData& reply);
    int GetStudentLockPolicy(Request& r, IPCAPI::CIntfData& reply);
    int ChangePassword(Request& r, IPCAPI::CIntfData& reply);
    int VerifyPassword(Request& r, IPCAPI::CIntfData& reply);
    int ImportCertificate(Request& r, IPCAPI::CIntfData& reply);
    int VerifyCertificate(Request& r, IPCAPI::CIntfData& reply);
    int SearchProgram(Request& r, IPCAPI::CIntfData& reply);
    int Deploy(Request& r, IPCAPI::CIntfData& reply);
    int StudentCommand(Request& r, IPCAPI::CIntfData& reply);
    int JoinVerdict(Request& r, IPCAPI::CIntfData& reply);

    // The students a request addresses: the listed ones, or its student id;
    // every accepted student for an empty id, "null" or "all" (classWide
    // set).
    std::vector<std::string> Targets(Request& r, bool listForm, bool& classWide) const;
    // The same for a command, whose class is the students online; the
    // operation's answers count again if its id had been cancelled.
    std::vector<std::string> CommandTargets(Request& r);

    // The broker connection.
    bool Connect(std::string& error);
    void Disconnect();
    void OnConnected();
    void OnConnectionLost(const std::string& reason);
    void OnMessage(const tavd::MqttMessage& message);
    void OnPresence(const std::string& id, const std::string& payload);
    void OnJoin(const std::string& id, const std::string& payload);
    void OnAnswer(const std::string& id, const std::string& payload);
    bool Publish(const std::string& topic, const IPCAPI::CIntfData& env, bool retain);
    bool PublishCommand(const std::string& id, const IPCAPI::CIntfData& env);

    // Joining.
    void Decide(const std::string& id, const IPCAPI::tagStudent_t& record);
    void Admit(const std::string& id);
    void SendVerdict(const std::string& id, bool allow, int opid);

    // Notifications to the teacher applications.
    void Notify(IPCAPI::CIntfData& note);
    void NotifyStatus(const std::string& id, int status);
    // A per-student answer the daemon gives itself (result 19 for a student
    // that cannot be reached, 2 for a policy that does not load).
    void AnswerFor(const std::string& callback, int opid, const std::string& id, int result);

    // Deployed lock schedules, for TEACHER_GETSTUDENTLOCKPOLICY.
    void KeepDeployedSchedule(const std::string& target, const IPCAPI::CIntfData& env);
    int64_t NextDeployTime();

    bool IsCancelled(int opid) const;
    void Uncancel(int opid);
    void ForgetSearch(int opid);

    const tavd::DaemonConfig m_config;
    const tavd::ClassTopics m_topics;
    IPCAPI::IPCTeacherDaemonAPI& m_api;
    ClassRoster m_roster;
    ConsolePassword m_password;
    std::unique_ptr<tavd::MqttClient> m_class;
    // The class's announcement on the network, while the broker connection
    // is up (config "discovery"): students find a class they can reach.
    std::unique_ptr<tavd::ClassAnnouncer> m_announcer;
    int64_t m_lastDeployTime = 0;
    // Operations the applications cancelled (answers still arriving are
    // dropped), newest last.
    std::deque<int> m_cancelled;
    // Searches still waiting for answers: operation id -> students.
    std::map<int, std::set<std::string>> m_searches;
    std::deque<int> m_searchOrder;
};

} // namespace teacherd

#endif
