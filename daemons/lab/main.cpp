// tav-classlab: a whole class on this machine (see ClassLab.h), for trying
// the daemons by hand or from a script. Runs COMMAND as a teacher
// application (DBUS_SYSTEM_BUS_ADDRESS is the teacher's bus) and stops the
// class when it ends, or waits for Ctrl-C. "tav-classlab student ..." asks
// a running lab to take a student machine off the class or bring it back.
#include "ClassLab.h"
#include "LabControl.h"

#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: tav-classlab [--students N] [--class NAME] [--dir DIR] [-- COMMAND [ARG...]]\n"
    "       tav-classlab student stop|kill|start ID [--dir DIR]\n"
    "Starts a class on this machine: a Mosquitto broker on loopback with the\n"
    "class's TLS credentials and ACL, tav-teacherd, and N student machines\n"
    "(S1, S2, ...; S01, S02, ... from 10 on), each with its own host name and\n"
    "a private mount namespace with its own /etc/TAV, /run and system bus,\n"
    "running tav-studentd and a listening student application. Needs root.\n"
    "\n"
    "  --students N   students (default 4, at most 500)\n"
    "  --class NAME   class name (default lab)\n"
    "  --dir DIR      the lab's folder, kept afterwards (default: a temporary\n"
    "                 folder, removed at the end)\n"
    "\n"
    "With COMMAND, it runs as a teacher application with DBUS_SYSTEM_BUS_ADDRESS\n"
    "set to the teacher's bus and TAV_LAB_DIR to the lab's folder (student S1's\n"
    "/etc/TAV is $TAV_LAB_DIR/students/S1/etc-tav, what its application heard\n"
    "$TAV_LAB_DIR/students/S1/app.jsonl); the class stops when it ends and its\n"
    "exit status is returned. Without COMMAND the class runs until SIGINT or\n"
    "SIGTERM. Everything started is stopped in either case.\n"
    "\n"
    "While it runs, \"tav-classlab student stop|kill|start ID\" (in COMMAND, or\n"
    "with --dir DIR elsewhere) stops student ID's daemon (SIGTERM), kills it as a\n"
    "crash would, or starts it again and returns once it is back in the class.\n"
    "\n"
    "TAV_LAB_TEACHERD, TAV_LAB_STUDENTD, TAV_LAB_TAVCTL, TAV_LAB_MOSQUITTO,\n"
    "TAV_LAB_DBUS_DAEMON and TAV_LAB_MAKE_CLASS name other programs to run\n"
    "(the installed daemons, for example) instead of the build's.\n";

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path), 0;
}

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

bool StopAsked()
{
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM) ||
           sigismember(&pending, SIGHUP);
}

using Handler = std::function<std::string(const std::string&)>;

// What a control line does to the lab.
std::string Control(tavlab::ClassLab& lab, const std::string& line)
{
    std::istringstream in(line);
    std::string verb, id, extra;
    in >> verb >> id >> extra;
    if (id.empty() || !extra.empty())
        return "error: expected stop, kill or start and a student id";
    std::string why;
    if (verb == "stop" || verb == "kill")
        return lab.StopStudentDaemon(id, verb == "kill")
                   ? "ok"
                   : "error: " + id + " is not a running student";
    if (verb == "start")
        return lab.StartStudent(id, why) ? "ok" : "error: " + why;
    return "error: unknown request " + verb;
}

// Runs the command and waits for it, or for a stop signal (then the
// command gets SIGTERM too), serving the control socket meanwhile.
int RunCommand(const std::vector<std::string>& command, const std::vector<std::string>& env,
               tavlab::ControlServer& control, const Handler& handler)
{
    tavlab::ChildProcess child;
    std::vector<std::string> argv = command;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(argv[0].find('/') == std::string::npos && path ? path : "");
    for (std::string d; std::getline(dirs, d, ':');)
        if (!d.empty() && ::access((d + "/" + command[0]).c_str(), X_OK) == 0) {
            argv[0] = d + "/" + command[0];
            break;
        }
    if (!child.Spawn(argv, "-", env)) {
        std::fprintf(stderr, "tav-classlab: cannot run %s\n", command[0].c_str());
        return 127;
    }
    for (;;) {
        control.ServeWaiting(handler);
        const int rc = child.Wait(100);
        if (rc >= 0 || !child.Running())
            return rc < 0 ? 1 : rc;
        if (StopAsked()) {
            child.Stop(5000);
            return 130;
        }
    }
}

} // namespace

// Installed daemons, or a program of one's own, instead of the build's.
void ProgramsFromEnvironment(tavlab::LabPrograms& programs)
{
    const std::pair<const char*, std::string*> names[] = {
        {"TAV_LAB_TEACHERD", &programs.teacherd},      {"TAV_LAB_STUDENTD", &programs.studentd},
        {"TAV_LAB_TAVCTL", &programs.tavctl},          {"TAV_LAB_MOSQUITTO", &programs.mosquitto},
        {"TAV_LAB_DBUS_DAEMON", &programs.dbusDaemon}, {"TAV_LAB_MAKE_CLASS", &programs.makeClass}};
    for (const auto& [name, program] : names)
        if (const char* value = std::getenv(name); value && *value)
            *program = value;
}

// tav-classlab student VERB ID [--dir DIR]
int StudentRequest(int argc, char** argv)
{
    std::vector<std::string> words;
    const char* labDir = std::getenv("TAV_LAB_DIR");
    std::string dir = labDir ? labDir : "";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else
            words.push_back(arg);
    }
    if (words.size() != 2 || dir.empty()) {
        std::fputs("tav-classlab: student stop|kill|start ID needs the lab's folder (--dir DIR or "
                   "TAV_LAB_DIR)\n",
                   stderr);
        return 2;
    }
    const std::string answer = tavlab::SendControl(dir + "/control", words[0] + " " + words[1]);
    if (answer == "ok")
        return 0;
    std::fprintf(stderr, "tav-classlab: %s\n", answer.c_str());
    return 1;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "student")
        return StudentRequest(argc, argv);
    int count = 4;
    std::string className = "lab", dir;
    std::vector<std::string> command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--students" && hasValue) {
            count = std::atoi(argv[++i]);
        } else if (arg == "--class" && hasValue) {
            className = argv[++i];
        } else if (arg == "--dir" && hasValue) {
            dir = argv[++i];
        } else if (arg == "--") {
            command.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(stderr, "tav-classlab: unknown argument '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }
    if (count < 1 || count > 500 ||
        (argc > 1 && command.empty() && std::string(argv[argc - 1]) == "--")) {
        std::fputs("tav-classlab: --students takes 1 to 500; -- needs a command\n", stderr);
        return 2;
    }
    if (::geteuid() != 0) {
        std::fputs("tav-classlab: needs root (mount namespaces)\n", stderr);
        return 1;
    }
    // Stop signals wait until the lab can stop in order; its children get
    // them unblocked.
    const sigset_t stop = StopSignals();
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    bool temporary = dir.empty();
    if (temporary) {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tav-classlab-XXXXXX";
        if (!::mkdtemp(tmpl.data())) {
            std::perror("tav-classlab: mkdtemp");
            return 1;
        }
        dir = tmpl;
    }
    int rc = 0;
    {
        tavlab::LabOptions options;
        options.dir = dir;
        options.className = className;
        options.students = tavlab::StudentIds(count);
        ProgramsFromEnvironment(options.programs);
        options.interrupted = StopAsked;
        tavlab::ClassLab lab(options);
        std::string why;
        std::printf("tav-classlab: starting class %s with %d students in %s\n", className.c_str(),
                    count, dir.c_str());
        std::fflush(stdout);
        if (!lab.Start(why)) {
            std::fprintf(stderr, "tav-classlab: %s\n", StopAsked() ? "interrupted" : why.c_str());
            rc = StopAsked() ? 130 : 1;
        } else {
            std::printf("tav-classlab: class %s is in; teacher bus %s\n", className.c_str(),
                        lab.TeacherBus().c_str());
            std::fflush(stdout);
            tavlab::ControlServer control;
            if (!control.Listen(dir + "/control", why))
                std::fprintf(stderr, "tav-classlab: %s (student requests will not work)\n",
                             why.c_str());
            const Handler handler = [&lab](const std::string& line) { return Control(lab, line); };
            if (!command.empty()) {
                rc = RunCommand(
                    command, {"DBUS_SYSTEM_BUS_ADDRESS=" + lab.TeacherBus(), "TAV_LAB_DIR=" + dir},
                    control, handler);
            } else {
                const timespec tick{0, 100 * 1000 * 1000};
                while (sigtimedwait(&stop, nullptr, &tick) < 0)
                    control.ServeWaiting(handler);
            }
        }
        std::printf("tav-classlab: stopping the class\n");
        std::fflush(stdout);
    }
    if (temporary)
        ::nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return rc;
}
