#include "SimOptions.h"
#include "TAVProtocol.h"

#include "SafeFile.h"

#include <dbus/dbus.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>
#include <sstream>

namespace simdaemon {

namespace {

constexpr int kMaxStudents = 1000;
constexpr std::size_t kMaxFieldLength = 64;  // the envelope's student id field
constexpr std::size_t kMaxLineLength = 4096;
// A full class with every field at its longest and a comment line for each
// student stays well below this.
constexpr std::size_t kMaxClassFileBytes = 1024 * 1024;

bool ParseInt(const std::string& text, int low, int high, int& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Fields travel in envelopes and parameter documents: printable UTF-8
// without blanks, at most 64 bytes.
bool ValidField(const std::string& text)
{
    if (text.empty() || text.size() > kMaxFieldLength || !dbus_validate_utf8(text.c_str(), nullptr))
        return false;
    for (unsigned char c : text)
        if (c <= ' ' || c == 0x7f)
            return false;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.push_back("");
    return parts;
}

bool AddStudent(std::list<IPCAPI::tagStudent_t>& students, const std::vector<std::string>& fields,
                std::string& error)
{
    if (fields.empty() || fields.size() > 4) {
        error = "a student is ID[,USER[,HOST[,IP]]]";
        return false;
    }
    for (const std::string& f : fields)
        if (!ValidField(f)) {
            error = "invalid student field '" + f + "' (1 to 64 characters, no blanks)";
            return false;
        }
    for (const auto& s : students)
        if (s.studentID == fields[0]) {
            error = "student " + fields[0] + " is listed twice";
            return false;
        }
    if (students.size() >= static_cast<std::size_t>(kMaxStudents)) {
        error = "more than " + std::to_string(kMaxStudents) + " students";
        return false;
    }
    const int number = static_cast<int>(students.size()) + 1;
    students.push_back(MakeStudent(number, fields[0], fields.size() > 1 ? fields[1] : "",
                                   fields.size() > 2 ? fields[2] : "", fields.size() > 3 ? fields[3] : ""));
    return true;
}

} // namespace

IPCAPI::tagStudent_t MakeStudent(int number, const std::string& id, const std::string& user,
                                 const std::string& host, const std::string& ip)
{
    IPCAPI::tagStudent_t s;
    const std::string n = std::to_string(number);
    s.studentID = id.empty() ? "S" + n : id;
    s.username = user.empty() ? "student" + n : user;
    s.hostname = host.empty() ? (number < 10 ? "pc-0" : "pc-") + n : host;
    s.IP = ip.empty() ? "10.0.0." + std::to_string(10 + number % 240) : ip;
    s.start_time = 0;
    s.bLocked = 0;
    s.status = 1;
    return s;
}

bool ReadClassFile(const std::string& path, std::list<IPCAPI::tagStudent_t>& students, std::string& error)
{
    std::string text;
    if (!tavtools::ReadRegularFile(path, kMaxClassFileBytes, text, error)) {
        error = "cannot read class file " + path + ": " + error;
        return false;
    }
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.size() > kMaxLineLength) {
            error = path + ":" + std::to_string(lineNo) + ": line too long";
            return false;
        }
        std::istringstream words(line);
        std::vector<std::string> fields;
        std::string w;
        while (words >> w)
            fields.push_back(w);
        if (fields.empty() || fields[0][0] == '#')
            continue;
        if (!AddStudent(students, fields, error)) {
            error = path + ":" + std::to_string(lineNo) + ": " + error;
            return false;
        }
    }
    return true;
}

bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error, bool& help)
{
    help = false;
    bool haveMode = false;
    int generated = -1;
    std::list<IPCAPI::tagStudent_t> listed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "-h" || arg == "--help") {
            help = true;
            return true;
        }
        if (arg.compare(0, 2, "--") != 0) {
            if (haveMode) {
                error = "unexpected argument '" + arg + "'";
                return false;
            }
            if (arg == "teacher")
                options.mode = SimOptions::Teacher;
            else if (arg == "student")
                options.mode = SimOptions::Student;
            else {
                error = "unknown mode '" + arg + "' (teacher or student)";
                return false;
            }
            haveMode = true;
            continue;
        }
        // --name value or --name=value
        std::string value;
        bool hasValue = false;
        const std::size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        auto take = [&](std::string& out) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + arg + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out = value;
            return true;
        };
        std::string v;
        if (arg == "--locked") {
            if (hasValue) {
                error = "option --locked takes no value";
                return false;
            }
            options.locked = true;
        } else if (arg == "--students") {
            if (!take(v))
                return false;
            if (!ParseInt(v, 1, kMaxStudents, generated)) {
                error = "--students needs a number from 1 to " + std::to_string(kMaxStudents) + ", not '" +
                        v + "'";
                return false;
            }
        } else if (arg == "--student") {
            if (!take(v))
                return false;
            if (!AddStudent(listed, Split(v, ','), error)) {
                error = "--student " + v + ": " + error;
                return false;
            }
        } else if (arg == "--class") {
            if (!take(v) || !ReadClassFile(v, listed, error))
                return false;
        } else if (arg == "--teachers") {
            if (!take(v))
                return false;
            options.teachers.clear();
            for (const std::string& t : Split(v, ',')) {
                if (!ValidField(t)) {
                    error = "invalid teacher id '" + t + "' (1 to 64 characters, no blanks)";
                    return false;
                }
                options.teachers.push_back(t);
            }
        } else if (arg == "--connected") {
            if (!take(v))
                return false;
            if (!ValidField(v)) {
                error = "invalid teacher id '" + v + "' (1 to 64 characters, no blanks)";
                return false;
            }
            options.connectedTeacher = v;
        } else if (arg == "--result") {
            if (!take(v))
                return false;
            const std::size_t at = v.find('=');
            int code = 0;
            if (at == std::string::npos || at == 0 || !ParseInt(v.substr(at + 1), INT_MIN, INT_MAX, code) ||
                !dbus_validate_member(v.substr(0, at).c_str(), nullptr)) {
                error = "--result needs NAME=CODE with a message name and a number, not '" + v + "'";
                return false;
            }
            options.results[v.substr(0, at)] = code;
        } else if (arg == "--programs") {
            if (!take(v))
                return false;
            options.programsDir = v;
        } else if (arg == "--step-ms") {
            if (!take(v))
                return false;
            if (!ParseInt(v, 0, 60000, options.stepMs)) {
                error = "--step-ms needs a number from 0 to 60000, not '" + v + "'";
                return false;
            }
        } else if (arg == "--bus") {
            if (!take(v))
                return false;
            if (v.empty()) {
                error = "--bus needs an address";
                return false;
            }
            options.busAddress = v;
        } else if (arg == "--log") {
            if (!take(v))
                return false;
            if (!ValidField(v) || v.find('/') != std::string::npos) {
                error = "invalid log name '" + v + "'";
                return false;
            }
            options.logName = v;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (!haveMode) {
        error = "missing mode: teacher or student";
        return false;
    }
    if (options.mode == SimOptions::Teacher) {
        if (generated > 0 && !listed.empty()) {
            error = "--students cannot be combined with --student or --class";
            return false;
        }
        if (!listed.empty())
            options.students = listed;
        else
            for (int n = 1; n <= (generated > 0 ? generated : 3); ++n)
                options.students.push_back(MakeStudent(n, ""));
    } else {
        if (generated > 0 || !listed.empty()) {
            error = "--students, --student and --class are for the teacher mode";
            return false;
        }
        if (options.teachers.empty())
            options.teachers.push_back("teacher1");
    }
    return true;
}

std::string Usage()
{
    return "usage: tav-sim-daemon teacher|student [options]\n"
           "\n"
           "A simulated daemon for host developers. It owns the daemon's bus name\n"
           "(\"" + std::string(IPCAPI::kTeacherDaemonName) + "\" or \"" + IPCAPI::kStudentDaemonName +
           "\"), answers every request of\n"
           "its side with a reply envelope, and sends the notifications the\n"
           "applications expect. It serves until SIGINT or SIGTERM.\n"
           "\n"
           "Options:\n"
           "  --students N            teacher: a class of N students S1..SN (default 3)\n"
           "  --student ID[,USER[,HOST[,IP]]]\n"
           "                          teacher: one student of the class (repeatable)\n"
           "  --class FILE            teacher: the class from FILE, one student a line:\n"
           "                          ID [USER [HOST [IP]]]; # starts a comment line\n"
           "  --teachers T1[,T2...]   student: teachers a teacher search finds\n"
           "                          (default teacher1)\n"
           "  --connected ID          student: teacher connected at start (default none)\n"
           "  --locked                student: start locked\n"
           "  --result NAME=CODE      answer NAME with result CODE (repeatable). NAME is a\n"
           "                          request (its reply and its notifications) or a\n"
           "                          notification name; unlisted names answer 0\n"
           "  --programs DIR          folder listed for program searches whose folder\n"
           "                          cannot be read (default /usr/share/applications)\n"
           "  --step-ms MS            pause between the answers for successive students\n"
           "                          (default 100)\n"
           "  --bus ADDRESS           use the bus at ADDRESS instead of the system bus\n"
           "  --log NAME              log file $HOME/TAVLog/NAME.log (default tav-sim-daemon)\n"
           "  --version               print the version\n"
           "  -h, --help              show this text\n"
           "\n"
           "Commands on standard input, one a line:\n"
           "  teacher: list | new-student ID [USER [HOST [IP]]] | status ID N | quit\n"
           "  student: state | lock | unlock | teacher-state N | tabnav-changed |\n"
           "           schedule-changed | quit\n";
}

} // namespace simdaemon
