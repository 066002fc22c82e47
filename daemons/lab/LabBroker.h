// The class broker of a lab: credentials from tav-make-class, Mosquitto on a
// free loopback port as the lab's own user, with the listener and ACL the
// command makes. Stopped (gracefully, or killed as in a crash) and
// restarted on the same port with its retained messages.
#ifndef TAV_DAEMONS_LAB_LABBROKER_H
#define TAV_DAEMONS_LAB_LABBROKER_H

#include "LabProcess.h"

#include <string>
#include <vector>

namespace tavlab {

// Where the lab finds the programs it runs (defaults: the build tree's and
// the machine's).
struct LabPrograms {
    std::string makeClass, mosquitto, dbusDaemon, teacherd, studentd, tavctl;
    static LabPrograms Defaults();
};

// What one machine of a class holds: the class CA and its own certificate.
struct MachineCredentials {
    std::string caFile, certFile, keyFile;
};

// Runs tav-make-class; its output goes to outDir + ".log".
bool MakeClass(const std::string& makeClass, const std::string& className,
               const std::string& outDir, const std::vector<std::string>& extraArgs);

class ClassBroker {
public:
    explicit ClassBroker(LabPrograms programs = LabPrograms::Defaults())
        : m_programs(std::move(programs))
    {}
    ~ClassBroker() { Stop(); }
    ClassBroker(const ClassBroker&) = delete;
    ClassBroker& operator=(const ClassBroker&) = delete;

    // Makes the class's credentials (students by id) in dir and starts the
    // broker; returns once it accepts a client certificate of the class.
    // With addresses (other addresses of this machine that clients use) the
    // certificate names them too and the broker listens on every address,
    // not on the loopback alone.
    bool Start(const std::string& dir, const std::string& className,
               const std::vector<std::string>& students,
               const std::vector<std::string>& addresses = {});
    // graceful: SIGTERM, the broker saves its retained messages; otherwise
    // SIGKILL, as a crash or power cut would.
    void Stop(bool graceful = true);
    // The same port and credentials again.
    bool Restart(bool graceful = true);
    bool Running() { return m_process.Running(); }
    pid_t Pid() const { return m_process.Pid(); }

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

    LabPrograms m_programs;
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

std::string ReadText(const std::string& path);
bool WriteText(const std::string& path, const std::string& text);

} // namespace tavlab

#endif
