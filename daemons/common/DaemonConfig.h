// The configuration file of a classroom daemon: one "key = value" per line,
// whole-line comments starting with #, blank lines ignored. Every key has a
// default (docs/classroom.md lists them); a key the daemon does not know, a
// key given twice and a bad value are each reported as "file:line: ..." and
// make the whole file refused.
#ifndef TAV_DAEMONS_DAEMONCONFIG_H
#define TAV_DAEMONS_DAEMONCONFIG_H

#include <string>
#include <vector>

namespace tavd {

enum class DaemonRole { Teacher, Student };

struct DaemonConfig {
    // Both daemons.
    std::string brokerHost;  // broker_host
    int brokerPort = 0;      // broker_port
    std::string className;   // class
    std::string caFile;      // ca_file
    std::string certFile;    // cert_file
    std::string keyFile;     // key_file
    int keepalive = 0;       // keepalive, seconds
    std::string stateDir;    // state_dir
    bool autoConnect = true; // auto_connect: connect to the class at start
    bool discovery = true;   // discovery: announce (teacher) or browse (student) classes
    // Student daemon.
    std::string studentId;   // student_id
    std::string adminGroup;  // admin_group
    std::string usbRuleFile; // usb_rule_file
    std::string modprobe;    // modprobe: the program that unloads a module
    // Teacher daemon.
    std::string teacherPasswordFile; // teacher_password_file
    std::string teacherGroup;        // teacher_group

    // The defaults of the role. A student's id defaults to the machine's
    // short host name when that is a valid id, and is empty otherwise.
    static DaemonConfig Defaults(DaemonRole role);
};

// /etc/TAV/tav-teacherd.conf or /etc/TAV/tav-studentd.conf.
std::string DefaultConfigPath(DaemonRole role);

// The largest configuration file read.
constexpr std::size_t kMaxConfigBytes = 64 * 1024;

// Reads the file at path (regular file, not through a symbolic link, at most
// kMaxConfigBytes) over the role's defaults. On any problem returns false,
// leaves config as it was and puts one line per problem in errors (each
// also logged).
bool LoadDaemonConfig(const std::string& path, DaemonRole role, DaemonConfig& config,
                      std::vector<std::string>& errors);

// The same for a text already read; source names it in the messages.
bool ParseDaemonConfig(const std::string& text, const std::string& source, DaemonRole role,
                       DaemonConfig& config, std::vector<std::string>& errors);

} // namespace tavd

#endif
