// A real class broker for tests: the credentials come from tav-make-class
// in a temporary folder, mosquitto listens on a free loopback port and runs
// as the test's own user. In a test's private namespace (NEEDS ns) the
// loopback interface is brought up first and the broker is private to the
// test process.
#ifndef TAV_DAEMONS_TESTS_TESTBROKER_H
#define TAV_DAEMONS_TESTS_TESTBROKER_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavtest {

// A child program, killed and reaped when the object goes (and killed by
// the kernel if the test process dies first).
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with standard output and error appended to
    // outputFile (or /dev/null).
    bool Spawn(const std::vector<std::string>& argv, const std::string& outputFile = "");
    pid_t Pid() const { return m_pid; }
    bool Running();
    bool Signal(int sig) const;
    // The exit status, or -1 when the program did not end within timeoutMs
    // or died of a signal.
    int Wait(int timeoutMs);
    void Kill();

private:
    pid_t m_pid = -1;
};

// What one machine of a class holds: the class CA and its own certificate.
struct MachineCredentials {
    std::string caFile, certFile, keyFile;
};

// Runs tav-make-class; its output goes to outDir + ".log".
bool MakeClass(const std::string& className, const std::string& outDir,
               const std::vector<std::string>& extraArgs);

class TestBroker {
public:
    TestBroker() = default;
    ~TestBroker() { Stop(); }
    TestBroker(const TestBroker&) = delete;
    TestBroker& operator=(const TestBroker&) = delete;

    // Makes the class's credentials (students by id) and starts the broker;
    // returns once it accepts the teacher's certificate. With addresses
    // (other addresses of this machine that clients use) the certificate
    // names them too and the broker listens on every address, not on the
    // loopback alone.
    bool Start(const std::string& className, const std::vector<std::string>& students,
               const std::vector<std::string>& addresses = {});
    // graceful: SIGTERM, the broker saves its retained messages; otherwise
    // SIGKILL, as a crash or power cut would.
    void Stop(bool graceful = true);
    // The same port and credentials again.
    bool Restart(bool graceful = true);

    const std::string& Host() const { return m_host; }
    int Port() const { return m_port; }
    const std::string& ClassName() const { return m_class; }
    // The tav-make-class output folder.
    const std::string& ClassDir() const { return m_classDir; }
    // "teacher" or a student id.
    MachineCredentials Credentials(const std::string& who) const;
    // A daemon configuration for that machine against this broker.
    std::string DaemonConfigText(const std::string& who) const;
    // What the broker logged, for failure messages.
    std::string Log() const;

private:
    bool Launch();

    ChildProcess m_process;
    std::string m_host = "127.0.0.1";
    int m_port = 0;
    std::string m_class, m_dir, m_classDir;
};

enum class ConnectOutcome { Accepted, Refused, Unreachable, NoAnswer };
const char* ToString(ConnectOutcome outcome);

// One plain connection attempt (no retry) to the broker at port on the
// loopback address: Accepted when the broker answers with a successful
// CONNACK, Refused when it turns the client down (TLS or CONNACK).
// Empty certFile/keyFile: no client certificate. A non-empty willTopic sets
// a last will "offline" there, and an accepted connection then ends without
// a goodbye, releasing it; a non-empty clientId asks for that client id.
ConnectOutcome TryConnect(int port, const MachineCredentials& credentials,
                          const std::string& willTopic = "", const std::string& clientId = "",
                          int timeoutMs = 5000);

} // namespace tavtest

#endif
