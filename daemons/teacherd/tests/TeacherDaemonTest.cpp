// tav-teacherd as a real process between a real class broker and the
// private bus of the test: the teacher application is IPCTeacherAPI in this
// process (or tavctl as another user), the students are MQTT clients with
// the students' certificates, driven from the test thread.
#include "ClassMessages.h"
#include "IIPCTeacherAPICallback.h"
#include "IPCAPIManager.h"
#include "IPCTeacherAPI.h"
#include "IntfData.h"
#include "LockScheduleData.h"
#include "TAVProtocol.h"
#include "TeacherNotifications.h"
#include "TestBroker.h"
#include "TestSupport.h"
#include "Topics.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <signal.h>
#include <thread>
#include <vector>

namespace {

using IPCAPI::CIntfData;
using IPCAPI::tagStudent_t;
using tavd::ClassTopics;
using tavtest::TestBroker;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

constexpr const char* kClass = "5A";
constexpr const char* kProbe = "harness-probe"; // a student certificate that plays no student

// What the teacher application heard, one line per notification.
class Recorder : public tavtest::TeacherNotifications {
public:
    bool Has(const std::string& line) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }
    std::string All() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const auto& l : m_lines)
            all += l.substr(0, 100) + "\n";
        return all;
    }

private:
    void Heard(const char* what, const std::string& id, const std::string& value) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::string(what) + " " + id + " " + value);
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// A student machine's broker connection, pumped by the test thread.
class StudentPeer {
public:
    StudentPeer(const TestBroker& broker, const std::string& id)
        : m_id(id), m_topics(*ClassTopics::ForClass(kClass))
    {
        const tavtest::MachineCredentials c = broker.Credentials(id);
        m_mosq.reset(mosquitto_new(id.c_str(), true, this));
        mosquitto_tls_set(m_mosq.get(), c.caFile.c_str(), nullptr, c.certFile.c_str(),
                          c.keyFile.c_str(), nullptr);
        mosquitto_tls_opts_set(m_mosq.get(), 1, "tlsv1.2", nullptr);
        if (id != kProbe) {
            CIntfData will = Presence(tavd::kOffline);
            std::string text;
            will.toString(text);
            mosquitto_will_set(m_mosq.get(), Topic(tavd::StudentChannel::Presence).c_str(),
                               static_cast<int>(text.size()), text.data(), 1, true);
        }
        mosquitto_connect_callback_set(m_mosq.get(), [](mosquitto*, void* self, int rc) {
            static_cast<StudentPeer*>(self)->m_connack = rc;
        });
        mosquitto_subscribe_callback_set(m_mosq.get(),
                                         [](mosquitto*, void* self, int, int, const int*) {
                                             ++static_cast<StudentPeer*>(self)->m_subacks;
                                         });
        mosquitto_message_callback_set(
            m_mosq.get(), [](mosquitto*, void* self, const mosquitto_message* m) {
                static_cast<StudentPeer*>(self)->m_messages.push_back(
                    {m->topic,
                     std::string(static_cast<const char*>(m->payload),
                                 static_cast<std::size_t>(m->payloadlen)),
                     m->retain});
            });
        Peers().push_back(this);
        m_port = broker.Port();
    }
    ~StudentPeer()
    {
        Peers().erase(std::find(Peers().begin(), Peers().end(), this));
        if (m_mosq) {
            mosquitto_disconnect(m_mosq.get());
            mosquitto_loop(m_mosq.get(), 50, 1);
        }
    }

    // Connected, with every subscription answered: its own commands and
    // policies, and the teacher's presence.
    bool Connect()
    {
        if (mosquitto_connect(m_mosq.get(), "127.0.0.1", m_port, 30) != MOSQ_ERR_SUCCESS ||
            !Until([&] { return m_connack == 0; }))
            return false;
        const std::vector<std::string> filters = {
            *m_topics.Command(m_id), m_topics.CommandToAll(), m_topics.TeacherPresence(),
            m_topics.PolicyForAllFilter(), *m_topics.StudentPolicyFilter(m_id)};
        for (const auto& f : filters)
            mosquitto_subscribe(m_mosq.get(), nullptr, f.c_str(), 1);
        return Until([&] { return m_subacks == static_cast<int>(filters.size()); });
    }

    void Online(const std::string& user = "", const std::string& host = "", bool locked = false)
    {
        CIntfData env = Presence(tavd::kOnline);
        tagStudent_t me;
        me.studentID = m_id;
        me.username = user;
        me.hostname = host;
        me.IP = "127.0.0.1";
        me.bLocked = locked;
        me.status = locked ? 2 : 1;
        std::list<tagStudent_t> list{me};
        env.m_ParaXml.setStudentInfoList(list);
        Publish(Topic(tavd::StudentChannel::Presence), env, true);
        CIntfData join(tavd::kJoinMessage, 0, m_id);
        join.m_ParaXml.setStudentInfoList(list);
        Publish(Topic(tavd::StudentChannel::Join), join, false);
    }

    void Answer(const char* name, int opid, const std::function<void(CIntfData&)>& fill)
    {
        CIntfData env(name, opid, m_id);
        fill(env);
        Publish(Topic(tavd::StudentChannel::Answer), env, false);
    }

    // Gone without a goodbye, as a killed daemon or a cut cable: the broker
    // releases the last will.
    void Crash() { m_mosq.reset(); }

    // The last message received on topic with that envelope name.
    bool Got(const std::string& topic, const char* name, CIntfData& env,
             bool* retained = nullptr) const
    {
        for (auto m = m_messages.rbegin(); m != m_messages.rend(); ++m) {
            CIntfData e;
            std::string n;
            if (m->topic == topic && e.load(m->payload) && (e.GetMessage(n), n == name)) {
                env.load(m->payload);
                if (retained)
                    *retained = m->retained;
                return true;
            }
        }
        return false;
    }
    bool Got(const std::string& topic, const char* name) const
    {
        CIntfData unused;
        return Got(topic, name, unused);
    }
    std::string CommandTopic() const { return *m_topics.Command(m_id); }

    // Pumps every peer until cond holds.
    static bool Until(const std::function<bool()>& cond, int timeoutMs = 15000)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (StudentPeer* p : Peers())
                if (p->m_mosq)
                    mosquitto_loop(p->m_mosq.get(), 0, 1);
            if (cond())
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    struct Message {
        std::string topic, payload;
        bool retained;
    };
    struct Deleter {
        void operator()(mosquitto* m) const { mosquitto_destroy(m); }
    };
    static std::vector<StudentPeer*>& Peers()
    {
        static std::vector<StudentPeer*> peers;
        return peers;
    }
    CIntfData Presence(const char* state) const
    {
        CIntfData env(tavd::kPresenceMessage, 0, m_id);
        env.m_ParaXml.setString(tavd::kStateParam, state);
        return env;
    }
    std::string Topic(tavd::StudentChannel channel) const
    {
        return *m_topics.Student(m_id, channel);
    }
    void Publish(const std::string& topic, const CIntfData& env, bool retain)
    {
        std::string text;
        env.toString(text);
        mosquitto_publish(m_mosq.get(), nullptr, topic.c_str(), static_cast<int>(text.size()),
                          text.data(), 1, retain);
    }

    std::string m_id;
    ClassTopics m_topics;
    std::unique_ptr<mosquitto, Deleter> m_mosq;
    int m_port = 0;
    int m_connack = -1;
    int m_subacks = 0;
    std::vector<Message> m_messages;
};

class TeacherDaemonTest : public testing::Test {
protected:
    void SetUp() override
    {
        mosquitto_lib_init();
        ASSERT_TRUE(m_broker.Start(kClass, {S1, S2, S3})) << m_broker.Log();
        m_dir = tavtest::MakeTempDir("teacherd");
        const tavtest::MachineCredentials c = m_broker.Credentials("teacher");
        m_certFile = m_dir + "/client.crt";
        m_keyFile = m_dir + "/client.key";
        ASSERT_TRUE(tavtest::WriteFile(m_certFile, tavtest::ReadFile(c.certFile)));
        ASSERT_TRUE(tavtest::WriteFile(m_keyFile, tavtest::ReadFile(c.keyFile)));
        m_config = m_dir + "/tav-teacherd.conf";
        ASSERT_TRUE(tavtest::WriteFile(
            m_config, "broker_host = " + m_broker.Host() + "\nbroker_port = " +
                          std::to_string(m_broker.Port()) + "\nclass = " + kClass +
                          "\nca_file = " + c.caFile + "\ncert_file = " + m_certFile +
                          "\nkey_file = " + m_keyFile + "\nstate_dir = " + m_dir + "/state" +
                          "\nteacher_password_file = " + m_dir + "/teacher-password\n"));
        IPCAPI::IPCAPIBase* base = nullptr;
        ASSERT_EQ(IPCAPI::InitializeTAVLibrary(0, &base), 0);
        m_app = static_cast<IPCAPI::IPCTeacherAPI*>(base);
        m_app->RegisterCallBack(&m_heard);
    }

    void TearDown() override
    {
        if (m_daemon.Running()) {
            // SIGTERM: the teacher's presence goes offline, the name is released.
            m_daemon.Signal(SIGTERM);
            EXPECT_EQ(m_daemon.Wait(10000), 0) << Log();
        }
        if (m_app)
            IPCAPI::UninitializeTAVLibrary(m_app);
    }

    // Starts the daemon with the students of roster in its class; returns
    // once it answers the application and is connected to the broker.
    void StartDaemon(const std::vector<std::string>& roster = {})
    {
        std::string text;
        for (const auto& id : roster)
            text += id + "\n";
        ASSERT_EQ(::mkdir((m_dir + "/state").c_str(), 0700), 0);
        ASSERT_TRUE(tavtest::WriteFile(m_dir + "/state/roster", text));
        ASSERT_TRUE(m_daemon.Spawn({TAV_TEACHERD, "--config", m_config}, m_dir + "/daemon.out"));
        std::list<tagStudent_t> students;
        int ret = -1;
        ASSERT_TRUE(
            tavtest::WaitFor([&] { return m_app->GetStudentList(students, ret) == 0; }, 20000))
            << Log();
        EXPECT_EQ(ret, 0);
        ASSERT_TRUE(TeacherPresenceIs(tavd::kOnline)) << Log();
    }

    // The teacher's presence reaches the given state (for a fresh
    // connection: the retained one, then what follows).
    bool TeacherPresenceIs(const char* expected)
    {
        StudentPeer watcher(m_broker, kProbe);
        const std::string topic = ClassTopics::ForClass(kClass)->TeacherPresence();
        return watcher.Connect() && StudentPeer::Until([&] {
                   CIntfData env;
                   std::string state;
                   return watcher.Got(topic, tavd::kPresenceMessage, env) &&
                          env.m_ParaXml.getString(tavd::kStateParam, state) && state == expected;
               });
    }

    bool Heard(const std::string& line)
    {
        return StudentPeer::Until([&] { return m_heard.Has(line); });
    }

    std::string Log() const { return tavtest::ReadFile(m_dir + "/daemon.out") + m_heard.All(); }

    // Student ids of this test alone: notifications of an earlier test's
    // daemon may still reach this test's application.
    static int TestNumber()
    {
        static int n = 0;
        return ++n;
    }
    const std::string m_suffix = "-t" + std::to_string(TestNumber());
    const std::string S1 = "S1" + m_suffix, S2 = "S2" + m_suffix, S3 = "S3" + m_suffix;

    TestBroker m_broker;
    tavtest::ChildProcess m_daemon;
    std::string m_dir, m_config, m_certFile, m_keyFile;
    IPCAPI::IPCTeacherAPI* m_app = nullptr;
    Recorder m_heard;
};

TEST_F(TeacherDaemonTest, SigtermLeavesTheTeachersPresenceOfflineAndTheBusNameFree)
{
    StartDaemon();
    m_daemon.Signal(SIGTERM);
    EXPECT_EQ(m_daemon.Wait(10000), 0) << Log();
    EXPECT_TRUE(TeacherPresenceIs(tavd::kOffline));
    std::list<tagStudent_t> students;
    int ret = -1;
    EXPECT_EQ(m_app->GetStudentList(students, ret), 1);
}

std::string ScheduleXml()
{
    LibTAVData::CLockScheduleData policy;
    policy.SetAutoLock(1);
    policy.GetPAutomaticLockTimeList()->push_back(new LibTAVData::CLockTimeSection(0, 8, 12));
    std::string xml;
    policy.Save2String(xml);
    return xml;
}

TEST_F(TeacherDaemonTest, DeployedScheduleIsRetainedAndTheStudentsAnswerReachesTheApplication)
{
    StartDaemon({S1});
    StudentPeer s1(m_broker, S1);
    ASSERT_TRUE(s1.Connect());
    s1.Online("pupil", "pc-01");
    ASSERT_TRUE(Heard("status " + S1 + " 1")) << Log();

    const std::string xml = ScheduleXml();
    const auto before = std::chrono::system_clock::now();
    ASSERT_EQ(m_app->DeploySchedulePolicy("", xml), 0);
    const std::string topic =
        ClassTopics::ForClass(kClass)->PolicyForAll(tavd::PolicyKind::Schedule);
    CIntfData deployed;
    ASSERT_TRUE(StudentPeer::Until([&] {
        return s1.Got(topic, Msg::TEACHER_DEPLOYSCHEDULEPOLICY, deployed);
    })) << Log();
    std::string policy, time;
    EXPECT_TRUE(deployed.m_ParaXml.getString(Param::schedulePolicyXML, policy));
    EXPECT_EQ(policy, xml);
    ASSERT_TRUE(deployed.m_ParaXml.getString(tavd::kDeployTimeParam, time));
    const long long ms = std::stoll(time);
    EXPECT_GE(
        ms,
        std::chrono::duration_cast<std::chrono::milliseconds>(before.time_since_epoch()).count());

    // Retained: a student connecting later receives it from the broker.
    StudentPeer s2(m_broker, S2);
    ASSERT_TRUE(s2.Connect());
    bool retained = false;
    CIntfData late;
    ASSERT_TRUE(StudentPeer::Until(
        [&] { return s2.Got(topic, Msg::TEACHER_DEPLOYSCHEDULEPOLICY, late, &retained); }));
    EXPECT_TRUE(retained);

    int opid = 0;
    deployed.GetOperationID(opid);
    s1.Answer(Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK, opid,
              [](CIntfData& e) { e.m_ParaXml.setString(Param::bSuccess, IPCAPI::kTrue); });
    EXPECT_TRUE(Heard("schedule " + S1 + " ok")) << Log();

    // The class's schedule is the one the application reads back for S1.
    LibTAVData::CLockScheduleData readBack;
    int ret = -1;
    ASSERT_EQ(m_app->GetStudentLockPolicy(S1, readBack, ret), 0);
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(readBack.GetPAutomaticLockTimeList()->size(), 1u);
}

TEST_F(TeacherDaemonTest, StudentListHoldsTheRosterStudentAndTheOneTheApplicationLetIn)
{
    StartDaemon({S1});
    StudentPeer s1(m_broker, S1), s2(m_broker, S2), s3(m_broker, S3);
    for (StudentPeer* s : {&s1, &s2, &s3})
        ASSERT_TRUE(s->Connect());
    s1.Online("anna", "pc-01");
    CIntfData verdict;
    std::string allow;
    ASSERT_TRUE(StudentPeer::Until(
        [&] { return s1.Got(s1.CommandTopic(), Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, verdict); }));
    EXPECT_TRUE(verdict.m_ParaXml.getString(Param::allow, allow) && allow == IPCAPI::kTrue);

    // Not in the roster: the application decides (the default settings
    // show the new-student dialog).
    s2.Online("ben", "pc-02", true);
    ASSERT_TRUE(Heard("new " + S2 + " ben")) << Log();
    EXPECT_FALSE(s2.Got(s2.CommandTopic(), Msg::TEACHER_CONTROLNEWSTUDENTCONNECT));
    ASSERT_EQ(m_app->ControlNewStudentConnect(S2, true), 0);
    ASSERT_TRUE(StudentPeer::Until(
        [&] { return s2.Got(s2.CommandTopic(), Msg::TEACHER_CONTROLNEWSTUDENTCONNECT, verdict); }));
    EXPECT_TRUE(verdict.m_ParaXml.getString(Param::allow, allow) && allow == IPCAPI::kTrue);
    // The third asks too, but nobody lets it in.
    s3.Online("carl", "pc-03");
    ASSERT_TRUE(Heard("new " + S3 + " carl"));

    std::list<tagStudent_t> students;
    int ret = -1;
    ASSERT_EQ(m_app->GetStudentList(students, ret), 0);
    EXPECT_EQ(ret, 0);
    ASSERT_EQ(students.size(), 2u);
    EXPECT_EQ(students.front().studentID, S1);
    EXPECT_EQ(students.front().username, "anna");
    EXPECT_EQ(students.front().status, 1);
    EXPECT_EQ(students.back().studentID, S2);
    EXPECT_EQ(students.back().hostname, "pc-02");
    EXPECT_EQ(students.back().status, 2); // online and locked
    // Let in while "add to the current class" is on: kept for the next run.
    EXPECT_NE(tavtest::ReadFile(m_dir + "/state/roster").find("\n" + S2 + "\n"), std::string::npos);
}

TEST_F(TeacherDaemonTest, StudentsLastWillTellsTheApplicationItWentOffline)
{
    StartDaemon({S1});
    {
        StudentPeer s1(m_broker, S1);
        ASSERT_TRUE(s1.Connect());
        s1.Online("anna");
        ASSERT_TRUE(Heard("status " + S1 + " 1")) << Log();
        s1.Crash();
    }
    EXPECT_TRUE(Heard("status " + S1 + " 0")) << Log();
    tagStudent_t s1;
    int ret = -1;
    ASSERT_EQ(m_app->GetStudentStatus(S1, s1, ret), 0);
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(s1.status, 0) << Log();
    EXPECT_EQ(s1.username, "anna");
    // A student the class does not know.
    ASSERT_EQ(m_app->GetStudentStatus("S9", s1, ret), 0);
    EXPECT_EQ(ret, 19);
}

TEST_F(TeacherDaemonTest, SearchAnswersArrivingAfterTheCancelAreNotPassedOn)
{
    StartDaemon({S1, S2});
    StudentPeer s1(m_broker, S1), s2(m_broker, S2);
    for (StudentPeer* s : {&s1, &s2}) {
        ASSERT_TRUE(s->Connect());
        s->Online();
    }
    ASSERT_TRUE(Heard("status " + S2 + " 1"));
    int opid = 0;
    ASSERT_EQ(m_app->SearchProgram("/usr/bin", opid), 0);
    CIntfData search;
    ASSERT_TRUE(StudentPeer::Until([&] {
        return s1.Got(s1.CommandTopic(), Msg::TEACHER_SEARCHPROGRAM) &&
               s2.Got(s2.CommandTopic(), Msg::TEACHER_SEARCHPROGRAM, search);
    }));
    std::string folder;
    EXPECT_TRUE(search.m_ParaXml.getString(Param::targetFolder, folder) && folder == "/usr/bin");
    auto answer = [](const char* programs) {
        return [programs](CIntfData& e) { e.m_ParaXml.setString(Param::programsXML, programs); };
    };
    s1.Answer(Msg::TEACHER_SEARCHPROGRAMCALLBACK, opid, answer("early"));
    ASSERT_TRUE(Heard("search " + S1 + " early")) << Log();

    int ret = -1;
    ASSERT_EQ(m_app->CancelOperation(opid, ret), 0);
    EXPECT_EQ(ret, 0);
    // S2, still searching, is told to stop.
    CIntfData cancel;
    int oid = 0;
    ASSERT_TRUE(StudentPeer::Until(
        [&] { return s2.Got(s2.CommandTopic(), Msg::STUDENT_CANCELOPERATION, cancel); }));
    EXPECT_TRUE(cancel.m_ParaXml.getInt(Param::OID, oid) && oid == opid);

    // Its answer crosses the cancel; the next search's answer, sent after it
    // on the same connection, shows it was dealt with.
    s2.Answer(Msg::TEACHER_SEARCHPROGRAMCALLBACK, opid, answer("late"));
    int next = 0;
    ASSERT_EQ(m_app->SearchProgram("/opt", next), 0);
    ASSERT_TRUE(StudentPeer::Until([&] {
        CIntfData e;
        int o = 0;
        return s2.Got(s2.CommandTopic(), Msg::TEACHER_SEARCHPROGRAM, e) &&
               (e.GetOperationID(o), o == next);
    }));
    s2.Answer(Msg::TEACHER_SEARCHPROGRAMCALLBACK, next, answer("fresh"));
    ASSERT_TRUE(Heard("search " + S2 + " fresh")) << Log();
    EXPECT_FALSE(m_heard.Has("search " + S2 + " late"));
}

TEST_F(TeacherDaemonTest, ConsolePasswordIsKeptOnlyAsASaltedHashAndGuessesAreThrottled)
{
    StartDaemon();
    const std::string password = "Tea-ch3r pw";
    int ret = -1;
    // None yet: an empty old password sets it.
    ASSERT_EQ(m_app->ChangePassword("", password, ret), 0);
    EXPECT_EQ(ret, 0);
    ASSERT_EQ(m_app->VerifyPassword(password, ret), 0);
    EXPECT_EQ(ret, 0);
    ASSERT_EQ(m_app->VerifyPassword("Tea-ch3r", ret), 0);
    EXPECT_EQ(ret, 1);
    // Right at once after a wrong guess: refused, busy.
    ASSERT_EQ(m_app->VerifyPassword(password, ret), 0);
    EXPECT_EQ(ret, 16);

    const std::string file = m_dir + "/teacher-password";
    const std::string stored = tavtest::ReadFile(file);
    EXPECT_EQ(stored.rfind("pbkdf2-sha256$", 0), 0u) << stored;
    EXPECT_EQ(stored.find(password), std::string::npos);
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_uid, 0u);
}

TEST_F(TeacherDaemonTest, CertificateOfAnotherClassIsRefusedAndTheOneInUseVerifies)
{
    StartDaemon();
    const std::string other = tavtest::MakeTempDir("other-class") + "/class";
    ASSERT_TRUE(tavtest::MakeClass("5B", other, {"--students", "S1"}));
    const std::string foreign = m_dir + "/foreign.pem";
    ASSERT_TRUE(tavtest::WriteFile(
        foreign, tavtest::ReadFile(other + "/teacher/credentials/client.crt") +
                     tavtest::ReadFile(other + "/teacher/credentials/client.key")));
    const std::string inUse = tavtest::ReadFile(m_certFile);
    int ret = -1;
    ASSERT_EQ(m_app->ImportCertificate(foreign, ret), 0);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(tavtest::ReadFile(m_certFile), inUse);
    ASSERT_EQ(m_app->VerifyCertificate(foreign, ret), 0);
    EXPECT_EQ(ret, 1);
    ASSERT_EQ(m_app->VerifyCertificate(ret), 0);
    EXPECT_EQ(ret, 0);

    // A student's certificate of the right class is no teacher's either.
    const tavtest::MachineCredentials s1 = m_broker.Credentials(S1);
    const std::string student = m_dir + "/student.pem";
    ASSERT_TRUE(tavtest::WriteFile(student,
                                   tavtest::ReadFile(s1.certFile) + tavtest::ReadFile(s1.keyFile)));
    ASSERT_EQ(m_app->ImportCertificate(student, ret), 0);
    EXPECT_EQ(ret, 1);

    // The class's own teacher certificate goes in, and the daemon connects
    // with it again.
    const tavtest::MachineCredentials teacher = m_broker.Credentials("teacher");
    const std::string own = m_dir + "/teacher.pem";
    ASSERT_TRUE(tavtest::WriteFile(own, tavtest::ReadFile(teacher.keyFile) +
                                            tavtest::ReadFile(teacher.certFile)));
    ASSERT_EQ(m_app->ImportCertificate(own, ret), 0);
    EXPECT_EQ(ret, 0) << Log();
    struct stat st;
    ASSERT_EQ(::stat(m_keyFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(TeacherPresenceIs(tavd::kOnline)) << Log();
}

// tavctl as user nobody (group nogroup): what it printed.
std::string TavctlAsNobody(const std::string& outFile, std::vector<std::string> args)
{
    const uid_t nobody = 65534;
    // The bus socket must be reachable for the other user.
    const std::string address = tavtest::DefaultBus()->Address();
    const std::string socket = address.substr(address.find('=') + 1);
    ::chmod(socket.c_str(), 0777);
    for (std::string dir = socket; dir.size() > 1 && dir != "/tmp";) {
        dir = dir.substr(0, dir.rfind('/'));
        ::chmod(dir.c_str(), 0755);
    }
    args.insert(args.begin(), {TAV_TAVCTL, "--bus", address, "teacher"});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    char home[] = "HOME=/nonexistent";
    char* envp[] = {home, nullptr};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0 || ::setgroups(0, nullptr) != 0 ||
            ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(127);
        ::execve(argv[0], argv.data(), envp);
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return "";
    return tavtest::ReadFile(outFile);
}

TEST_F(TeacherDaemonTest, CallerNeitherRootNorInTheTeacherGroupGetsNotAllowed)
{
    StartDaemon();
    const std::string printed = TavctlAsNobody(m_dir + "/tavctl.out", {"get-student-list"});
    EXPECT_NE(printed.find("result: 13"), std::string::npos) << printed << Log();
}

TEST_F(TeacherDaemonTest, FilesARequestNamesAreReadWithTheCallersRights)
{
    // nobody's own group is the teacher group here.
    const struct group* own = ::getgrgid(65534);
    ASSERT_NE(own, nullptr);
    ASSERT_TRUE(tavtest::WriteFile(m_config, tavtest::ReadFile(m_config) +
                                                 "teacher_group = " + own->gr_name + "\n"));
    StartDaemon();
    // The same certificate, once only root may read it, once everybody.
    const std::string dir = tavtest::MakeTempDir("readable");
    const std::string secret = dir + "/secret.pem", open = dir + "/open.pem";
    for (const auto& [path, mode] : {std::make_pair(secret, 0600), std::make_pair(open, 0644)}) {
        ASSERT_TRUE(tavtest::WriteFile(path, tavtest::ReadFile(m_certFile)));
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    }
    const std::string out = dir + "/tavctl.out";
    EXPECT_NE(TavctlAsNobody(out, {"verify-certificate", "--path", open}).find("result: 0"),
              std::string::npos)
        << Log();
    EXPECT_NE(TavctlAsNobody(out, {"verify-certificate", "--path", secret}).find("result: 1"),
              std::string::npos)
        << Log();
    // Root's own application reads it.
    int ret = -1;
    ASSERT_EQ(m_app->VerifyCertificate(secret, ret), 0);
    EXPECT_EQ(ret, 0);
}

} // namespace
