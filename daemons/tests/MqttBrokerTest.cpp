// The class broker as tav-make-class configures it, with the daemons'
// MQTT client: who may say and hear what, who gets in at all, last wills,
// retained policies, reconnection, and the size limit.
#include "InputLimits.h"
#include "MqttClient.h"
#include "TestBroker.h"
#include "TestSupport.h"
#include "Topics.h"

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using tavd::ClassTopics;
using tavd::MqttClient;
using tavd::MqttMessage;
using tavd::PolicyKind;
using tavd::StudentChannel;
using tavtest::ConnectOutcome;
using tavtest::TestBroker;

// One machine's connection, recording what its handlers get.
class Peer {
public:
    Peer(const TestBroker& broker, const std::string& who, const std::string& willTopic = "",
         bool keepSession = false)
    {
        const tavtest::MachineCredentials c = broker.Credentials(who);
        tavd::MqttOptions o;
        o.clientId = who;
        o.host = broker.Host();
        o.port = broker.Port();
        o.caFile = c.caFile;
        o.certFile = c.certFile;
        o.keyFile = c.keyFile;
        o.reconnectMin = std::chrono::milliseconds(100);
        o.reconnectMax = std::chrono::milliseconds(500);
        o.willTopic = willTopic;
        o.willPayload = willTopic.empty() ? "" : "offline";
        o.keepSession = keepSession;
        tavd::MqttHandlers h;
        h.onMessage = [this](const MqttMessage& m) { messages.push_back(m); };
        h.onConnected = [this] { ++connects; };
        h.onConnectionLost = [this](const std::string&) { ++losses; };
        client = std::make_unique<MqttClient>(o, h);
    }

    bool Start(const std::vector<std::string>& filters = {})
    {
        for (const auto& f : filters)
            if (!client->Subscribe(f))
                return false;
        std::string error;
        return client->Start(error);
    }

    bool Got(const std::string& topic, const std::string& payload) const
    {
        for (const auto& m : messages)
            if (m.topic == topic && m.payload == payload)
                return true;
        return false;
    }
    bool GotPayload(const std::string& payload) const
    {
        for (const auto& m : messages)
            if (m.payload == payload)
                return true;
        return false;
    }

    std::unique_ptr<MqttClient> client;
    std::vector<MqttMessage> messages;
    int connects = 0;
    int losses = 0;
};

// Runs the peers' handlers, as a daemon's main loop would, until cond holds.
bool Pump(const std::vector<Peer*>& peers, const std::function<bool()>& cond, int timeoutMs = 15000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<pollfd> fds;
    for (Peer* p : peers)
        fds.push_back({p->client->WakeFd(), POLLIN, 0});
    for (;;) {
        for (Peer* p : peers)
            p->client->Dispatch();
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::poll(fds.data(), fds.size(), 20);
    }
}

bool AllConnected(const std::vector<Peer*>& peers)
{
    return Pump(peers, [&] {
        for (Peer* p : peers)
            if (p->connects == 0)
                return false;
        return true;
    });
}

TEST(MakeClass, KeepsKeysPrivateAndNeverOverwritesAClass)
{
    const std::string base = tavtest::MakeTempDir("make-class");
    const std::string dir = base + "/5A";
    ASSERT_TRUE(tavtest::MakeClass(
        "5A", dir, {"--students", "S1,S2", "--broker-host", "teacher-pc,10.0.0.1"}));
    for (const char* key :
         {"/ca/ca.key", "/broker/tav-5A/server.key", "/teacher/credentials/client.key",
          "/students/S1/credentials/client.key", "/students/S2/credentials/client.key"}) {
        struct stat st;
        ASSERT_EQ(::stat((dir + key).c_str(), &st), 0) << key;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << key;
    }
    const std::string conf = tavtest::ReadFile(dir + "/students/S2/tav-studentd.conf");
    for (const char* line : {"class = 5A\n", "student_id = S2\n", "broker_host = teacher-pc\n",
                             "key_file = /etc/TAV/credentials/client.key\n"})
        EXPECT_NE(conf.find(line), std::string::npos) << line;

    // A second run never touches an existing class.
    const std::string caKey = tavtest::ReadFile(dir + "/ca/ca.key");
    EXPECT_FALSE(tavtest::MakeClass("5A", dir, {"--students", "S3"}));
    EXPECT_EQ(tavtest::ReadFile(dir + "/ca/ca.key"), caKey);
    EXPECT_FALSE(tavtest::FileExists(dir + "/students/S3"));

    // Names that would break the topics or the ACL are refused, and nothing
    // is left behind.
    const std::string other = base + "/other";
    for (const char* ids : {"S1,teacher", "all", "S1,S1", "S 1", "S1/x", ""})
        EXPECT_FALSE(tavtest::MakeClass("5A", other, {"--students", ids})) << ids;
    EXPECT_FALSE(tavtest::MakeClass("5/A", other, {"--students", "S1"}));
    EXPECT_FALSE(tavtest::FileExists(other));
}

class ClassBroker : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_broker.Start("5A", {"S1", "S2"})) << m_broker.Log(); }
    void TearDown() override
    {
        if (HasFailure())
            std::fprintf(stderr, "broker log:\n%s\n", m_broker.Log().c_str());
    }

    TestBroker m_broker;
    const ClassTopics m_topics = *ClassTopics::ForClass("5A");
};

TEST_F(ClassBroker, TeacherCommandsStudentsAndReadsTheirAnswers)
{
    Peer teacher(m_broker, "teacher"), s1(m_broker, "S1");
    ASSERT_TRUE(teacher.Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(s1.Start({*m_topics.Command("S1"), m_topics.CommandToAll(),
                          m_topics.PolicyForAllFilter(), *m_topics.StudentPolicyFilter("S1")}));
    ASSERT_TRUE(AllConnected({&teacher, &s1}));

    const std::string policy = *m_topics.Policy("S1", PolicyKind::TabNav);
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S1"), "lock S1"));
    ASSERT_TRUE(teacher.client->Publish(m_topics.CommandToAll(), "hello class"));
    ASSERT_TRUE(teacher.client->Publish(policy, "<TabNavigation/>", true));
    ASSERT_TRUE(Pump({&teacher, &s1}, [&] { return s1.messages.size() == 3; }));
    EXPECT_TRUE(s1.Got(*m_topics.Command("S1"), "lock S1"));
    EXPECT_TRUE(s1.Got(m_topics.CommandToAll(), "hello class"));
    EXPECT_TRUE(s1.Got(policy, "<TabNavigation/>"));

    const std::string answer = *m_topics.Student("S1", StudentChannel::Answer);
    ASSERT_TRUE(s1.client->Publish(answer, "locked"));
    ASSERT_TRUE(Pump({&teacher, &s1}, [&] { return teacher.Got(answer, "locked"); }));
}

TEST_F(ClassBroker, StudentCanNeitherSpeakForOthersNorHearTheirCommands)
{
    Peer teacher(m_broker, "teacher"), s1(m_broker, "S1"), s2(m_broker, "S2");
    ASSERT_TRUE(teacher.Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(s2.Start({*m_topics.Command("S2"), m_topics.CommandToAll(),
                          m_topics.PolicyForAllFilter(), *m_topics.StudentPolicyFilter("S2")}));
    // S1 asks for everything of S2's and of the class; the broker only
    // lets its own commands through.
    ASSERT_TRUE(s1.Start({*m_topics.Command("S1"), *m_topics.Command("S2"), "tav/5A/cmd/#",
                          *m_topics.StudentPolicyFilter("S2"), "tav/5A/#"}));
    ASSERT_TRUE(AllConnected({&teacher, &s1, &s2}));

    // Forged by S1: as S2 towards the teacher, as the teacher towards S2
    // and the class.
    for (const auto& topic :
         {*m_topics.Student("S2", StudentChannel::Presence),
          *m_topics.Student("S2", StudentChannel::Answer), *m_topics.Command("S2"),
          m_topics.CommandToAll(), m_topics.PolicyForAll(PolicyKind::Schedule),
          *m_topics.Policy("S2", PolicyKind::Schedule)})
        ASSERT_TRUE(s1.client->Publish(topic, "forged", topic.find("policy") != std::string::npos));
    // Meant for S2 alone.
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S2"), "for S2"));
    ASSERT_TRUE(
        teacher.client->Publish(*m_topics.Policy("S2", PolicyKind::TabNav), "S2 policy", true));

    // Each connection delivers in order: once these arrive, anything sent
    // before them would have.
    const std::string s1Answer = *m_topics.Student("S1", StudentChannel::Answer);
    ASSERT_TRUE(s1.client->Publish(s1Answer, "barrier"));
    ASSERT_TRUE(Pump({&teacher, &s1, &s2}, [&] { return teacher.Got(s1Answer, "barrier"); }));
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S1"), "barrier"));
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S2"), "barrier"));
    ASSERT_TRUE(Pump({&teacher, &s1, &s2},
                     [&] { return s1.GotPayload("barrier") && s2.GotPayload("barrier"); }));

    EXPECT_FALSE(teacher.GotPayload("forged"));
    EXPECT_FALSE(s2.GotPayload("forged"));
    EXPECT_TRUE(s2.Got(*m_topics.Command("S2"), "for S2"));
    EXPECT_TRUE(s2.Got(*m_topics.Policy("S2", PolicyKind::TabNav), "S2 policy"));
    ASSERT_EQ(s1.messages.size(), 1u);
    EXPECT_TRUE(s1.Got(*m_topics.Command("S1"), "barrier"));

    // Nor can S1 take S2's place: naming itself S2 is ignored (the broker
    // names every client after its certificate), and a last will on S2's
    // presence is dropped when S1 leaves without a goodbye.
    EXPECT_EQ(tavtest::TryConnect(m_broker.Port(), m_broker.Credentials("S1"), "", "S2"),
              ConnectOutcome::Accepted);
    const std::string s2Presence = *m_topics.Student("S2", StudentChannel::Presence);
    tavtest::TryConnect(m_broker.Port(), m_broker.Credentials("S1"), s2Presence);
    ASSERT_TRUE(Pump({&s1}, [&] { return s1.client->IsConnected(); }));
    ASSERT_TRUE(s1.client->Publish(s1Answer, "barrier 2"));
    ASSERT_TRUE(Pump({&teacher, &s1, &s2}, [&] { return teacher.Got(s1Answer, "barrier 2"); }));
    EXPECT_FALSE(teacher.Got(s2Presence, "offline"));
    EXPECT_EQ(s2.losses, 0);
}

TEST_F(ClassBroker, OnlyCertificatesOfTheClassGetIn)
{
    // Another class: same names, its own CA.
    const std::string other = tavtest::MakeTempDir("other-class") + "/class";
    ASSERT_TRUE(
        tavtest::MakeClass("5A", other, {"--students", "S1", "--broker-host", "127.0.0.1"}));
    const tavtest::MachineCredentials mine = m_broker.Credentials("teacher");

    EXPECT_EQ(tavtest::TryConnect(m_broker.Port(), mine), ConnectOutcome::Accepted);
    // No client certificate at all.
    EXPECT_EQ(tavtest::TryConnect(m_broker.Port(), {mine.caFile, "", ""}), ConnectOutcome::Refused);
    // A teacher certificate of the other class's CA.
    EXPECT_EQ(tavtest::TryConnect(m_broker.Port(),
                                  {mine.caFile, other + "/teacher/credentials/client.crt",
                                   other + "/teacher/credentials/client.key"}),
              ConnectOutcome::Refused);
    // And a client of the other class does not trust this broker.
    EXPECT_EQ(tavtest::TryConnect(m_broker.Port(), {other + "/teacher/credentials/ca.crt",
                                                    other + "/teacher/credentials/client.crt",
                                                    other + "/teacher/credentials/client.key"}),
              ConnectOutcome::Refused);
}

TEST_F(ClassBroker, StudentsLastWillReachesTheTeacherWhenItVanishesOrStops)
{
    Peer teacher(m_broker, "teacher");
    ASSERT_TRUE(teacher.Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(AllConnected({&teacher}));

    // S1 in a process of its own, frozen as a machine that dropped off the
    // network would be: no goodbye, no more packets.
    const std::string config = tavtest::TempRoot() + "/S1.conf";
    ASSERT_TRUE(tavtest::WriteFile(config, m_broker.DaemonConfigText("S1")));
    tavtest::ChildProcess student;
    ASSERT_TRUE(student.Spawn({TAV_MQTT_STUDENT_PEER, config}, tavtest::TempRoot() + "/S1.out"));
    const std::string s1Presence = *m_topics.Student("S1", StudentChannel::Presence);
    ASSERT_TRUE(Pump({&teacher}, [&] { return teacher.Got(s1Presence, "online"); }))
        << tavtest::ReadFile(tavtest::TempRoot() + "/S1.out");
    ASSERT_TRUE(student.Signal(SIGSTOP));
    const auto frozen = std::chrono::steady_clock::now();
    // The broker waits 1.5 keepalives (5 s) before it gives up on S1.
    ASSERT_TRUE(Pump(
        {&teacher}, [&] { return teacher.Got(s1Presence, "offline"); }, 30000));
    std::printf("offline announced %lld ms after the student froze\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - frozen)
                                           .count()));
    student.Kill();

    // A stopping student says the same through its client, and a teacher
    // connecting afterwards finds both retained.
    const std::string s2Presence = *m_topics.Student("S2", StudentChannel::Presence);
    {
        Peer s2(m_broker, "S2", s2Presence);
        ASSERT_TRUE(s2.Start());
        ASSERT_TRUE(AllConnected({&s2}));
        ASSERT_TRUE(s2.client->Publish(s2Presence, "online", true));
        ASSERT_TRUE(Pump({&teacher}, [&] { return teacher.Got(s2Presence, "online"); }));
        s2.client->Stop();
    }
    ASSERT_TRUE(Pump({&teacher}, [&] { return teacher.Got(s2Presence, "offline"); }));
    teacher.client->Stop();
    Peer later(m_broker, "teacher");
    ASSERT_TRUE(later.Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(Pump({&later}, [&] { return later.messages.size() == 2; }));
    EXPECT_TRUE(later.Got(s1Presence, "offline"));
    EXPECT_TRUE(later.Got(s2Presence, "offline"));
    EXPECT_TRUE(later.messages[0].retained && later.messages[1].retained);
}

TEST_F(ClassBroker, RetainedPolicyReachesAStudentThatConnectsLater)
{
    // S1 hears the class-wide policies: once it has one, the broker has
    // taken everything the teacher sent before it.
    Peer teacher(m_broker, "teacher"), witness(m_broker, "S1");
    ASSERT_TRUE(teacher.Start());
    ASSERT_TRUE(witness.Start({m_topics.PolicyForAllFilter()}));
    ASSERT_TRUE(AllConnected({&teacher, &witness}));
    const std::string forAll = m_topics.PolicyForAll(PolicyKind::Schedule);
    const std::string forS2 = *m_topics.Policy("S2", PolicyKind::Settings);
    ASSERT_TRUE(teacher.client->Publish(forS2, "S2 settings", true));
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S2"), "not kept"));
    ASSERT_TRUE(teacher.client->Publish(forAll, "class schedule", true));
    ASSERT_TRUE(Pump({&teacher, &witness}, [&] { return witness.Got(forAll, "class schedule"); }));

    const std::vector<std::string> filters = {*m_topics.Command("S2"),
                                              m_topics.PolicyForAllFilter(),
                                              *m_topics.StudentPolicyFilter("S2")};
    {
        Peer s2(m_broker, "S2");
        ASSERT_TRUE(s2.Start(filters));
        ASSERT_TRUE(Pump({&s2}, [&] { return s2.messages.size() == 2; }));
        EXPECT_TRUE(s2.Got(forAll, "class schedule"));
        EXPECT_TRUE(s2.Got(forS2, "S2 settings"));
        EXPECT_TRUE(s2.messages[0].retained && s2.messages[1].retained);
    }

    // A withdrawn policy is gone for the next connection.
    ASSERT_TRUE(teacher.client->ClearRetained(forAll));
    ASSERT_TRUE(Pump({&teacher, &witness}, [&] { return witness.Got(forAll, ""); }));
    Peer s2(m_broker, "S2");
    ASSERT_TRUE(s2.Start(filters));
    ASSERT_TRUE(Pump({&s2}, [&] { return s2.messages.size() == 1; }));
    EXPECT_TRUE(s2.Got(forS2, "S2 settings"));
}

TEST_F(ClassBroker, ClientsReconnectAndResubscribeAfterTheBrokerDies)
{
    Peer teacher(m_broker, "teacher"), s1(m_broker, "S1");
    ASSERT_TRUE(teacher.Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(s1.Start({*m_topics.Command("S1")}));
    ASSERT_TRUE(AllConnected({&teacher, &s1}));

    // Killed, not stopped: the TLS connections end without a goodbye.
    for (int round = 1; round <= 2; ++round) {
        m_broker.Stop(false);
        ASSERT_TRUE(
            Pump({&teacher, &s1}, [&] { return teacher.losses == round && s1.losses == round; }));
        EXPECT_FALSE(teacher.client->IsConnected());
        ASSERT_TRUE(m_broker.Restart());
        ASSERT_TRUE(
            Pump({&teacher, &s1}, [&] { return teacher.connects > round && s1.connects > round; }));
    }
    const std::string text = "after two restarts";
    ASSERT_TRUE(teacher.client->Publish(*m_topics.Command("S1"), text));
    ASSERT_TRUE(Pump({&teacher, &s1}, [&] { return s1.GotPayload(text); }));
    ASSERT_TRUE(s1.client->Publish(*m_topics.Student("S1", StudentChannel::Answer), text));
    ASSERT_TRUE(Pump({&teacher, &s1}, [&] { return teacher.GotPayload(text); }));
}

TEST_F(ClassBroker, AnswersSentWhileTheTeacherIsAwayWaitForIt)
{
    // The teacher daemon's session is kept, the students' are not.
    tavd::DaemonConfig config;
    EXPECT_TRUE(tavd::MqttOptionsFrom(config, tavd::DaemonRole::Teacher).keepSession);
    EXPECT_FALSE(tavd::MqttOptionsFrom(config, tavd::DaemonRole::Student).keepSession);

    auto teacher = std::make_unique<Peer>(m_broker, "teacher", "", true);
    Peer s1(m_broker, "S1");
    ASSERT_TRUE(teacher->Start({m_topics.EveryStudentFilter()}));
    ASSERT_TRUE(s1.Start());
    ASSERT_TRUE(AllConnected({teacher.get(), &s1}));
    // The teacher is away, across a broker restart, when S1 answers.
    teacher.reset();
    ASSERT_TRUE(m_broker.Restart());
    ASSERT_TRUE(Pump({&s1}, [&] { return s1.connects == 2; }));
    const std::string answer = *m_topics.Student("S1", StudentChannel::Answer);
    ASSERT_TRUE(s1.client->Publish(answer, "done while away"));
    Pump(
        {&s1}, [] { return false; }, 500); // at the broker before the teacher is back

    Peer back(m_broker, "teacher", "", true);
    ASSERT_TRUE(back.Start({m_topics.EveryStudentFilter()}));
    EXPECT_TRUE(Pump({&back, &s1}, [&] { return back.Got(answer, "done while away"); }));
}

TEST_F(ClassBroker, OversizedPayloadIsRefusedBeforeItReachesTheDaemon)
{
    Peer s1(m_broker, "S1");
    ASSERT_TRUE(s1.Start({*m_topics.Command("S1")}));
    ASSERT_TRUE(AllConnected({&s1}));
    const std::string topic = *m_topics.Command("S1");
    const std::string tooBig(tav_common::kMaxDocumentBytes + 1, 'x');

    // The client does not send one...
    {
        Peer teacher(m_broker, "teacher");
        ASSERT_TRUE(teacher.Start());
        ASSERT_TRUE(AllConnected({&teacher}));
        EXPECT_FALSE(teacher.client->Publish(topic, tooBig));
    }
    // ...and refuses one that another client sent, keeping the connection.
    const tavtest::MachineCredentials c = m_broker.Credentials("teacher");
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> raw(mosquitto_new(nullptr, true, nullptr),
                                                         mosquitto_destroy);
    ASSERT_EQ(mosquitto_tls_set(raw.get(), c.caFile.c_str(), nullptr, c.certFile.c_str(),
                                c.keyFile.c_str(), nullptr),
              MOSQ_ERR_SUCCESS);
    ASSERT_EQ(mosquitto_connect(raw.get(), m_broker.Host().c_str(), m_broker.Port(), 5),
              MOSQ_ERR_SUCCESS);
    ASSERT_EQ(mosquitto_publish(raw.get(), nullptr, topic.c_str(), static_cast<int>(tooBig.size()),
                                tooBig.data(), 1, false),
              MOSQ_ERR_SUCCESS);
    ASSERT_EQ(mosquitto_publish(raw.get(), nullptr, topic.c_str(), 5, "small", 1, false),
              MOSQ_ERR_SUCCESS);
    ASSERT_TRUE(Pump({&s1}, [&] {
        mosquitto_loop(raw.get(), 10, 1);
        return s1.GotPayload("small");
    }));
    EXPECT_EQ(s1.messages.size(), 1u);
    EXPECT_EQ(s1.losses, 0);
    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
    EXPECT_NE(
        log.find("refused a message of " + std::to_string(tooBig.size()) + " bytes on " + topic),
        std::string::npos);
}

} // namespace
