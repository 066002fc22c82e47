#include "SimOptions.h"

#include "TAVProtocol.h"

#include "Options.h"
#include "SafeFile.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <sstream>

namespace simdaemon {

namespace {

constexpr int kMaxStudents = 1000;
constexpr std::size_t kMaxFieldLength = 64; // the envelope's student id field
constexpr std::size_t kMaxLineLength = 4096;
// A full class with every field at its longest and a comment line for each
// student stays well below this.
constexpr std::size_t kMaxClassFileBytes = 1024 * 1024;

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
                                   fields.size() > 2 ? fields[2] : "",
                                   fields.size() > 3 ? fields[3] : ""));
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

bool ReadClassFile(const std::string& path, std::list<IPCAPI::tagStudent_t>& students,
                   std::string& error)
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

namespace {

const std::vector<tavtools::OptionDef>& optionTable()
{
    static const std::vector<tavtools::OptionDef> options = {
        {"students", "N", "teacher: a class of N students S1..SN (default 3)"},
        {"student", "ID[,USER[,HOST[,IP]]]", "teacher: one student of the class", true},
        {"class", "FILE",
         "teacher: the class from FILE, one student a line: ID [USER [HOST [IP]]]; # starts a "
         "comment line"},
        {"teachers", "T1[,T2...]", "student: teachers a teacher search finds (default teacher1)"},
        {"connected", "ID", "student: teacher connected at start (default none)"},
        {"locked", "", "student: start locked"},
        {"result", "NAME=CODE",
         "answer NAME with result CODE. NAME is a request (its reply and its notifications) "
         "or a notification name; unlisted names answer 0",
         true},
        {"programs", "DIR",
         "folder listed for program searches whose folder cannot be read (default "
         "/usr/share/applications)"},
        {"step-ms", "MS", "pause between the answers for successive students (default 100)"},
        {"bus", "ADDRESS", "use the bus at ADDRESS instead of the system bus"},
        {"log", "NAME", "log file $HOME/TAVLog/NAME.log (default tav-sim-daemon)"},
        {"json", "",
         "print one JSON object a line on standard output (ready, every request, reply and "
         "notification, the answers to commands, stopped); the log then goes to its file only"},
        {"version", "", "print the version"},
        {"help", "", "show this text", false, false, 'h'},
    };
    return options;
}

void addStudent(std::list<IPCAPI::tagStudent_t>& students, const std::vector<std::string>& fields,
                const std::string& context)
{
    std::string error;
    if (!AddStudent(students, fields, error))
        throw tavtools::UsageError(context + error);
}

std::string checkedTeacher(const std::string& id)
{
    if (!ValidField(id))
        throw tavtools::UsageError("invalid teacher id '" + id +
                                   "' (1 to 64 characters, no blanks)");
    return id;
}

void parse(const std::vector<std::string>& args, SimOptions& options, bool& help)
{
    tavtools::OptionParser parser;
    parser.Add(optionTable());
    bool haveMode = false;
    const tavtools::ParsedArgs parsed =
        parser.Parse(args, [&](const std::string& word, tavtools::OptionParser&) {
            if (haveMode)
                throw tavtools::UsageError("unexpected argument '" + word + "'");
            if (word != "teacher" && word != "student")
                throw tavtools::UsageError("unknown mode '" + word + "' (teacher or student)");
            options.mode = word == "teacher" ? SimOptions::Teacher : SimOptions::Student;
            haveMode = true;
        });
    help = parsed.Help();
    options.showVersion = parsed.Has("version");
    if (help || options.showVersion)
        return;
    if (!haveMode)
        throw tavtools::UsageError("missing mode: teacher or student");

    // The class in command-line order, from --student and --class.
    std::list<IPCAPI::tagStudent_t> listed;
    for (const auto& option : parsed.Sequence()) {
        const std::string& v = option.second;
        if (option.first == "student") {
            addStudent(listed, Split(v, ','), "--student " + v + ": ");
        } else if (option.first == "class") {
            std::string error;
            if (!ReadClassFile(v, listed, error))
                throw tavtools::UsageError(error);
        } else if (option.first == "result") {
            const std::size_t at = v.find('=');
            long code = 0;
            if (at == std::string::npos || at == 0 ||
                !tavtools::ParseInt(v.substr(at + 1), INT_MIN, INT_MAX, code) ||
                !dbus_validate_member(v.substr(0, at).c_str(), nullptr))
                throw tavtools::UsageError(
                    "--result needs NAME=CODE with a message name and a number, not '" + v + "'");
            options.results[v.substr(0, at)] = static_cast<int>(code);
        }
    }
    const int generated = parsed.Int("students", 0, 1, kMaxStudents);
    if (parsed.Has("teachers")) {
        options.teachers.clear();
        for (const std::string& t : Split(parsed.Get("teachers"), ','))
            options.teachers.push_back(checkedTeacher(t));
    }
    if (parsed.Has("connected"))
        options.connectedTeacher = checkedTeacher(parsed.Get("connected"));
    options.locked = parsed.Has("locked");
    options.json = parsed.Has("json");
    options.programsDir = parsed.Get("programs", options.programsDir);
    // Searches list absolute folders only.
    if (!options.programsDir.empty() && options.programsDir[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd))
            options.programsDir = std::string(cwd) + "/" + options.programsDir;
    }
    options.stepMs = parsed.Int("step-ms", options.stepMs, 0, 60000);
    options.busAddress = parsed.Get("bus");
    if (parsed.Has("bus") && options.busAddress.empty())
        throw tavtools::UsageError("--bus needs an address");
    if (parsed.Has("log")) {
        const std::string name = parsed.Get("log");
        if (!ValidField(name) || name.find('/') != std::string::npos)
            throw tavtools::UsageError("invalid log name '" + name + "'");
        options.logName = name;
    }

    if (options.mode == SimOptions::Teacher) {
        if (generated > 0 && !listed.empty())
            throw tavtools::UsageError("--students cannot be combined with --student or --class");
        if (!listed.empty())
            options.students = listed;
        else
            for (int n = 1; n <= (generated > 0 ? generated : 3); ++n)
                options.students.push_back(MakeStudent(n, ""));
    } else {
        if (generated > 0 || !listed.empty())
            throw tavtools::UsageError(
                "--students, --student and --class are for the teacher mode");
        if (options.teachers.empty())
            options.teachers.push_back("teacher1");
    }
}

} // namespace

bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool& help)
{
    help = false;
    try {
        parse(args, options, help);
        return true;
    } catch (const tavtools::UsageError& e) {
        error = e.what();
        return false;
    }
}

std::string Usage()
{
    return "usage: tav-sim-daemon teacher|student [options]\n"
           "\n"
           "A simulated daemon for host developers. It owns the daemon's bus name\n"
           "(\"" +
           std::string(IPCAPI::kTeacherDaemonName) + "\" or \"" + IPCAPI::kStudentDaemonName +
           "\"), answers every request of\n"
           "its side with a reply envelope, and sends the notifications the\n"
           "applications expect. It serves until SIGINT or SIGTERM.\n"
           "\n"
           "Options (anywhere on the line):\n" +
           tavtools::OptionsHelp(optionTable()) +
           "\n"
           "Commands on standard input, one a line:\n"
           "  teacher: list | new-student ID [USER [HOST [IP]]] | status ID N | quit\n"
           "  student: state | lock | unlock | teacher-state N | tabnav-changed |\n"
           "           schedule-changed | quit\n"
           "\n"
           "Exit status: 0 stopped by a signal or quit, 1 no bus or the name is taken,\n"
           "2 bad options.\n";
}

} // namespace simdaemon
