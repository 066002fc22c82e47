#include "DaemonConfig.h"

#include "LogScope.h"
#include "SafeFile.h" // tools/common
#include "Topics.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <sstream>

namespace tavd {

namespace {

using tav_common::LogScope;

enum Roles { kTeacher = 1, kStudent = 2, kBoth = 3 };
enum class Kind { Host, Port, ClassName, StudentId, Path, Keepalive, Group, Switch };

struct Key {
    const char* name;
    int roles;
    Kind kind;
    std::string DaemonConfig::*text;
    int DaemonConfig::*number;
    bool DaemonConfig::*flag = nullptr;
};

const Key kKeys[] = {
    {"broker_host", kBoth, Kind::Host, &DaemonConfig::brokerHost, nullptr},
    {"broker_port", kBoth, Kind::Port, nullptr, &DaemonConfig::brokerPort},
    {"class", kBoth, Kind::ClassName, &DaemonConfig::className, nullptr},
    {"ca_file", kBoth, Kind::Path, &DaemonConfig::caFile, nullptr},
    {"cert_file", kBoth, Kind::Path, &DaemonConfig::certFile, nullptr},
    {"key_file", kBoth, Kind::Path, &DaemonConfig::keyFile, nullptr},
    {"keepalive", kBoth, Kind::Keepalive, nullptr, &DaemonConfig::keepalive},
    {"state_dir", kBoth, Kind::Path, &DaemonConfig::stateDir, nullptr},
    {"auto_connect", kBoth, Kind::Switch, nullptr, nullptr, &DaemonConfig::autoConnect},
    {"discovery", kBoth, Kind::Switch, nullptr, nullptr, &DaemonConfig::discovery},
    {"student_id", kStudent, Kind::StudentId, &DaemonConfig::studentId, nullptr},
    {"admin_group", kStudent, Kind::Group, &DaemonConfig::adminGroup, nullptr},
    {"usb_rule_file", kStudent, Kind::Path, &DaemonConfig::usbRuleFile, nullptr},
    {"modprobe", kStudent, Kind::Path, &DaemonConfig::modprobe, nullptr},
    {"teacher_password_file", kTeacher, Kind::Path, &DaemonConfig::teacherPasswordFile, nullptr},
    {"teacher_group", kTeacher, Kind::Group, &DaemonConfig::teacherGroup, nullptr},
};

// libmosquitto refuses a keepalive below 5 s; above an hour a vanished
// student would go unnoticed for most of a lesson.
constexpr int kMinKeepalive = 5;
constexpr int kMaxKeepalive = 3600;

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool IsHost(const std::string& text)
{
    if (text.empty() || text.size() > 253)
        return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
        if (!ok)
            return false;
    }
    return true;
}

bool IsGroup(const std::string& text)
{
    if (text.empty() || text.size() > 32 || text[0] == '-')
        return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

bool IsPath(const std::string& text)
{
    if (text.empty() || text[0] != '/' || text.size() > PATH_MAX)
        return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

// Checks value for the key and stores it; returns the complaint otherwise.
std::string Apply(const Key& key, const std::string& value, DaemonConfig& config)
{
    switch (key.kind) {
    case Kind::Port:
        if (!ParseNumber(value, 1, 65535, config.*key.number))
            return "a port is a number from 1 to 65535";
        return "";
    case Kind::Keepalive:
        if (!ParseNumber(value, kMinKeepalive, kMaxKeepalive, config.*key.number))
            return "keepalive is a number of seconds from " + std::to_string(kMinKeepalive) +
                   " to " + std::to_string(kMaxKeepalive);
        return "";
    case Kind::Host:
        if (!IsHost(value))
            return "not a host name or IP address";
        break;
    case Kind::ClassName:
        if (!IsValidClassName(value))
            return "a class name is 1 to 64 letters, digits, _ or -";
        break;
    case Kind::StudentId:
        if (!IsValidStudentId(value))
            return "a student id is 1 to 64 letters, digits, _ or -, and not \"all\" or "
                   "\"teacher\"";
        break;
    case Kind::Path:
        if (!IsPath(value))
            return "an absolute path is expected";
        break;
    case Kind::Group:
        if (!IsGroup(value))
            return "not a group name";
        break;
    case Kind::Switch:
        if (value != "yes" && value != "no")
            return "yes or no";
        config.*key.flag = value == "yes";
        return "";
    }
    config.*key.text = value;
    return "";
}

std::string ShortHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "";
    std::string host = name;
    return host.substr(0, host.find('.'));
}

bool Fail(const std::vector<std::string>& found, std::vector<std::string>& errors)
{
    for (const std::string& e : found)
        LogScope::Error("DaemonConfig --" + e);
    errors.insert(errors.end(), found.begin(), found.end());
    return false;
}

} // namespace

DaemonConfig DaemonConfig::Defaults(DaemonRole role)
{
    DaemonConfig c;
    c.brokerHost = "localhost";
    c.brokerPort = 8883;
    c.className = "classroom";
    c.caFile = "/etc/TAV/credentials/ca.crt";
    c.certFile = "/etc/TAV/credentials/client.crt";
    c.keyFile = "/etc/TAV/credentials/client.key";
    c.keepalive = kMinKeepalive;
    if (role == DaemonRole::Student) {
        c.stateDir = "/var/lib/tav-studentd";
        const std::string host = ShortHostName();
        if (IsValidStudentId(host))
            c.studentId = host;
        c.adminGroup = "tav-admin";
        c.usbRuleFile = "/etc/modprobe.d/tav-usb-storage.conf";
        c.modprobe = "/sbin/modprobe";
        c.autoConnect = true;
    } else {
        c.stateDir = "/var/lib/tav-teacherd";
        c.teacherPasswordFile = "/etc/TAV/credentials/teacher-password";
        c.teacherGroup = "tav-teacher";
    }
    return c;
}

std::string DefaultConfigPath(DaemonRole role)
{
    return role == DaemonRole::Student ? "/etc/TAV/tav-studentd.conf"
                                       : "/etc/TAV/tav-teacherd.conf";
}

bool ParseDaemonConfig(const std::string& text, const std::string& source, DaemonRole role,
                       DaemonConfig& config, std::vector<std::string>& errors)
{
    const int roleBit = role == DaemonRole::Student ? kStudent : kTeacher;
    DaemonConfig result = DaemonConfig::Defaults(role);
    std::vector<std::string> found;
    std::map<std::string, int> seenAt;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = source + ":" + std::to_string(number) + ": ";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        const auto eq = trimmed.find('=');
        if (eq == std::string::npos) {
            found.push_back(where + "expected key = value");
            continue;
        }
        const std::string name = Trim(trimmed.substr(0, eq));
        const std::string value = Trim(trimmed.substr(eq + 1));
        const Key* key = nullptr;
        for (const Key& k : kKeys)
            if (name == k.name && (k.roles & roleBit))
                key = &k;
        if (!key) {
            found.push_back(where + "unknown key '" + name.substr(0, 64) + "'");
            continue;
        }
        const auto seen = seenAt.find(name);
        if (seen != seenAt.end()) {
            found.push_back(where + name + " given again (first on line " +
                            std::to_string(seen->second) + ")");
            continue;
        }
        seenAt[name] = number;
        if (value.empty()) {
            found.push_back(where + name + " has no value");
            continue;
        }
        const std::string complaint = Apply(*key, value, result);
        if (!complaint.empty())
            found.push_back(where + name + ": " + complaint);
    }
    if (role == DaemonRole::Student && result.studentId.empty() && found.empty())
        found.push_back(source + ": student_id is not set and the host name '" +
                        ShortHostName().substr(0, 64) + "' is not a valid student id");
    if (!found.empty())
        return Fail(found, errors);
    config = result;
    return true;
}

bool LoadDaemonConfig(const std::string& path, DaemonRole role, DaemonConfig& config,
                      std::vector<std::string>& errors)
{
    std::string text, why;
    if (!tavtools::ReadRegularFile(path, kMaxConfigBytes, text, why))
        return Fail({path + ": cannot read: " + why}, errors);
    if (text.find('\0') != std::string::npos)
        return Fail({path + ": holds a NUL byte, not a text file"}, errors);
    return ParseDaemonConfig(text, path, role, config, errors);
}

} // namespace tavd
