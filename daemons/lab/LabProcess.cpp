#include "LabProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern char** environ;

namespace tavlab {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

bool ChildProcess::Spawn(const std::vector<std::string>& argv, const std::string& outputFile,
                         const std::vector<std::string>& env, const MachineSpace* machine)
{
    Kill();
    // Everything the child needs is ready before fork: the parent may have
    // threads, so the child only makes system calls.
    std::vector<std::string> args = argv;
    std::vector<std::string> envTexts = EnvironmentWith(env);
    const std::vector<char*> argp = Pointers(args);
    const std::vector<char*> envp = Pointers(envTexts);
    const std::string out = outputFile.empty() ? "/dev/null" : outputFile;
    const bool inherit = outputFile == "-";
    const int mountNs = machine ? machine->MountFd() : -1, utsNs = machine ? machine->UtsFd() : -1;
    const pid_t parent = ::getpid();
    std::fflush(nullptr);
    m_pid = ::fork();
    if (m_pid < 0)
        return false;
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // A lab that holds its stop signals back must not pass that on.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // The working folder of another namespace means nothing there.
        if (machine && (::setns(mountNs, CLONE_NEWNS) != 0 || ::setns(utsNs, CLONE_NEWUTS) != 0 ||
                        ::chdir("/") != 0))
            ::_exit(126);
        ::setpgid(0, 0); // terminal signals are the lab's to pass on
        int fd =
            inherit ? -1 : ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0 && !inherit)
            fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
        }
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    return true;
}

bool ChildProcess::Running()
{
    if (m_pid <= 0)
        return false;
    int status;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

bool ChildProcess::Signal(int sig) const { return m_pid > 0 && ::kill(m_pid, sig) == 0; }

int ChildProcess::Wait(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid)
            break;
        if (r < 0 || Clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ChildProcess::Stop(int graceMs)
{
    if (!Running())
        return -1;
    Signal(SIGTERM);
    const int rc = Wait(graceMs);
    Kill();
    return rc;
}

void ChildProcess::Kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

bool MachineSpace::Make(const std::string& hostName, const std::string& etcDir,
                        const std::string& runDir, const std::string& scratchDir, std::string& why)
{
    struct stat st;
    const bool etcExists = ::stat("/etc/TAV", &st) == 0;
    const std::string upper = scratchDir + "/upper", work = scratchDir + "/work";
    const std::string overlay = "lowerdir=/etc,upperdir=" + upper + ",workdir=" + work;
    int ack[2], hold[2];
    if (::pipe2(ack, O_CLOEXEC) != 0) {
        why = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    tavd::UniqueFd ackRead(ack[0]), ackWrite(ack[1]);
    if (::pipe2(hold, O_CLOEXEC) != 0) {
        why = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    tavd::UniqueFd holdRead(hold[0]), holdWrite(hold[1]);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        why = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ackRead.reset();
        holdWrite.reset(); // the parent's close is the signal to leave
        char code = 'k';
        if (::unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0)
            code = 'u';
        else if (::sethostname(hostName.data(), hostName.size()) != 0)
            code = 'h';
        else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            code = 'p';
        // The overlay's layers live on a tmpfs only this namespace sees
        // (an overlay cannot take its upper layer from another overlay).
        else if (!etcExists &&
                 (::mount("tavlab", scratchDir.c_str(), "tmpfs", 0, "mode=0700") != 0 ||
                  ::mkdir(upper.c_str(), 0755) != 0 || ::mkdir(work.c_str(), 0755) != 0 ||
                  ::mount("overlay", "/etc", "overlay", 0, overlay.c_str()) != 0 ||
                  ::mkdir("/etc/TAV", 0755) != 0))
            code = 'o';
        else if (::mount(etcDir.c_str(), "/etc/TAV", nullptr, MS_BIND, nullptr) != 0)
            code = 'e';
        else if (::mount(runDir.c_str(), "/run", nullptr, MS_BIND, nullptr) != 0)
            code = 'r';
        const int err = errno;
        if (::write(ackWrite.get(), &code, 1) != 1 || ::write(ackWrite.get(), &err, sizeof err) < 0)
            ::_exit(1);
        char unused;
        while (::read(holdRead.get(), &unused, 1) < 0 && errno == EINTR) {
        }
        ::_exit(0);
    }
    ackWrite.reset();
    holdRead.reset();
    char code = 0;
    int err = 0;
    const bool answered =
        ::read(ackRead.get(), &code, 1) == 1 && ::read(ackRead.get(), &err, sizeof err) > 0;
    if (answered && code == 'k') {
        const std::string ns = "/proc/" + std::to_string(pid) + "/ns/";
        m_mount.reset(::open((ns + "mnt").c_str(), O_RDONLY | O_CLOEXEC));
        m_uts.reset(::open((ns + "uts").c_str(), O_RDONLY | O_CLOEXEC));
    }
    holdWrite.reset(); // the child leaves; the descriptors keep the namespaces
    ::waitpid(pid, nullptr, 0);
    if (m_mount.get() >= 0 && m_uts.get() >= 0)
        return true;
    const char* step = code == 'u'   ? "unshare(CLONE_NEWNS | CLONE_NEWUTS)"
                       : code == 'h' ? "sethostname"
                       : code == 'p' ? "making / private"
                       : code == 'o' ? "overlaying /etc"
                       : code == 'e' ? "binding /etc/TAV"
                       : code == 'r' ? "binding /run"
                                     : "opening the namespace";
    why = std::string(step) + " failed: " + std::strerror(answered ? err : errno);
    return false;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes)
{
    std::vector<std::string> out;
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& c : changes)
            replaced = replaced || nameOf(c) == nameOf(entry);
        if (!replaced)
            out.push_back(entry);
    }
    out.insert(out.end(), changes.begin(), changes.end());
    return out;
}

bool WaitForSocket(const std::string& path, int timeoutMs)
{
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        tavd::UniqueFd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (s.get() >= 0 &&
            ::connect(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string MachineBusConfig()
{
    return std::string("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
                       "1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n"
                       "  <type>system</type>\n"
                       "  <listen>unix:path=") +
           "/run/dbus/system_bus_socket" +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

} // namespace tavlab
