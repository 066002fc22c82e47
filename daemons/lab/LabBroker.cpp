#include "LabBroker.h"

#include "UniqueFd.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace tavlab {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kProbe = "harness-probe";

// A fresh network namespace starts with its loopback interface down.
void BringLoopbackUp()
{
    tavd::UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    struct ifreq ifr = {};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    if (s.get() < 0 || ::ioctl(s.get(), SIOCGIFFLAGS, &ifr) != 0 || (ifr.ifr_flags & IFF_UP))
        return;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ::ioctl(s.get(), SIOCSIFFLAGS, &ifr);
}

int FreeLoopbackPort()
{
    tavd::UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (s.get() < 0 || ::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

std::string UserName()
{
    const struct passwd* pw = ::getpwuid(::geteuid());
    return pw ? pw->pw_name : "root";
}

struct MosqDeleter {
    void operator()(mosquitto* m) const { mosquitto_destroy(m); }
};

} // namespace

LabPrograms LabPrograms::Defaults()
{
    return {TAV_LAB_MAKE_CLASS, TAV_LAB_MOSQUITTO, TAV_LAB_DBUS_DAEMON,
            TAV_LAB_TEACHERD,   TAV_LAB_STUDENTD,  TAV_LAB_TAVCTL};
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool MakeClass(const std::string& makeClass, const std::string& className,
               const std::string& outDir, const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> argv = {makeClass, className, outDir};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    ChildProcess maker;
    return maker.Spawn(argv, outDir + ".log") && maker.Wait(60000) == 0;
}

bool ClassBroker::Start(const std::string& dir, const std::string& className,
                        const std::vector<std::string>& students,
                        const std::vector<std::string>& addresses)
{
    Stop();
    BringLoopbackUp();
    m_class = className;
    m_dir = dir;
    ::mkdir(m_dir.c_str(), 0755);
    m_classDir = m_dir + "/class";
    m_port = FreeLoopbackPort();
    // The readiness probe has an identity of its own, so that it never
    // takes over the connection of a test's client.
    std::string ids = kProbe;
    for (const auto& s : students)
        ids += "," + s;
    std::string hosts = m_host + ",localhost";
    for (const auto& a : addresses)
        hosts += "," + a;
    std::vector<std::string> args = {"--students",    ids,
                                     "--broker-host", hosts,
                                     "--port",        std::to_string(m_port),
                                     "--broker-dir",  m_classDir + "/broker/tav-" + className,
                                     "--days",        "2"};
    if (addresses.empty())
        args.insert(args.end(), {"--bind", m_host});
    if (m_port == 0 || !MakeClass(m_programs.makeClass, className, m_classDir, args))
        return false;
    // The generated listener, as a deployment's conf.d would hold it, under
    // settings of a private broker: our user, our folder, no system files.
    std::ostringstream conf;
    conf << "user " << UserName() << "\n"
         << "persistence true\n"
         << "persistence_location " << m_dir << "/\n"
         << "log_dest file " << m_dir << "/broker.log\n"
         << "log_timestamp_format %H:%M:%S\n"
         << "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
         << "include_dir " << m_classDir << "/broker\n";
    return WriteText(m_dir + "/mosquitto.conf", conf.str()) && Launch();
}

bool ClassBroker::Launch()
{
    if (!m_process.Spawn({m_programs.mosquitto, "-c", m_dir + "/mosquitto.conf"},
                         m_dir + "/broker.out"))
        return false;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline && m_process.Running()) {
        if (TryConnect(m_port, Credentials(kProbe), "", "", 2000) == ConnectOutcome::Accepted)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_process.Kill();
    return false;
}

void ClassBroker::Stop(bool graceful)
{
    if (!m_process.Running())
        return;
    if (graceful) {
        m_process.Signal(SIGTERM);
        if (m_process.Wait(10000) >= 0)
            return;
    }
    m_process.Kill();
}

bool ClassBroker::Restart(bool graceful)
{
    Stop(graceful);
    return Launch();
}

MachineCredentials ClassBroker::Credentials(const std::string& who) const
{
    const std::string dir =
        m_classDir + (who == "teacher" ? "/teacher" : "/students/" + who) + "/credentials";
    return {dir + "/ca.crt", dir + "/client.crt", dir + "/client.key"};
}

std::string ClassBroker::DaemonConfigText(const std::string& who) const
{
    const MachineCredentials c = Credentials(who);
    std::ostringstream text;
    text << "broker_host = " << m_host << "\n"
         << "broker_port = " << m_port << "\n"
         << "class = " << m_class << "\n";
    if (who != "teacher")
        text << "student_id = " << who << "\n";
    text << "ca_file = " << c.caFile << "\n"
         << "cert_file = " << c.certFile << "\n"
         << "key_file = " << c.keyFile << "\n";
    return text.str();
}

std::string ClassBroker::Log() const
{
    return ReadText(m_dir + "/broker.log") + ReadText(m_dir + "/broker.out");
}

const char* ToString(ConnectOutcome outcome)
{
    switch (outcome) {
    case ConnectOutcome::Accepted:
        return "accepted";
    case ConnectOutcome::Refused:
        return "refused";
    case ConnectOutcome::Unreachable:
        return "unreachable";
    case ConnectOutcome::NoAnswer:
        return "no answer";
    }
    return "?";
}

ConnectOutcome TryConnect(int port, const MachineCredentials& credentials,
                          const std::string& willTopic, const std::string& clientId, int timeoutMs)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    int connack = -1;
    std::unique_ptr<mosquitto, MosqDeleter> m(
        mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), true, &connack));
    if (!m)
        return ConnectOutcome::NoAnswer;
    mosquitto_connect_callback_set(
        m.get(), [](mosquitto*, void* result, int rc) { *static_cast<int*>(result) = rc; });
    const bool withCert = !credentials.certFile.empty();
    if (mosquitto_tls_set(m.get(), credentials.caFile.c_str(), nullptr,
                          withCert ? credentials.certFile.c_str() : nullptr,
                          withCert ? credentials.keyFile.c_str() : nullptr,
                          nullptr) != MOSQ_ERR_SUCCESS ||
        mosquitto_tls_opts_set(m.get(), 1, "tlsv1.2", nullptr) != MOSQ_ERR_SUCCESS)
        return ConnectOutcome::NoAnswer;
    if (!willTopic.empty())
        mosquitto_will_set(m.get(), willTopic.c_str(), 7, "offline", 1, true);
    const int rc = mosquitto_connect(m.get(), "127.0.0.1", port, 5);
    if (rc == MOSQ_ERR_ERRNO && errno == ECONNREFUSED)
        return ConnectOutcome::Unreachable;
    if (rc != MOSQ_ERR_SUCCESS)
        return ConnectOutcome::Refused;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        const int lrc = mosquitto_loop(m.get(), 50, 1);
        if (connack == 0) {
            // With a will, leave without a goodbye so that the broker
            // releases it.
            if (willTopic.empty()) {
                mosquitto_disconnect(m.get());
                mosquitto_loop(m.get(), 50, 1);
            }
            return ConnectOutcome::Accepted;
        }
        if (connack > 0 || lrc != MOSQ_ERR_SUCCESS)
            return ConnectOutcome::Refused;
    }
    return ConnectOutcome::NoAnswer;
}

} // namespace tavlab
