#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace tavtest {

namespace {

std::string g_tempRoot;
std::string g_home;
pid_t g_ownerPid = 0;
bool g_privateNs = false;
int g_tempCounter = 0;

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    ::remove(path);
    return 0;
}

// Reads one line from fd within timeoutMs; false on timeout or EOF.
bool readLine(int fd, std::string& line, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    line.clear();
    for (;;) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0)
            return false;
        struct pollfd p = {fd, POLLIN, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

// Starts argv[0] with the write end of a pipe on fd 3 and returns the first
// line the program writes there. The child gets SIGTERM if we die.
pid_t spawnWithReadyLine(const std::vector<std::string>& args, std::string& line, int timeoutMs)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        if (fds[1] == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(fds[1], 3);
        ::setpgid(0, 0); // keep terminal signals meant for the test away
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    bool ok = readLine(fds[0], line, timeoutMs);
    ::close(fds[0]);
    if (!ok) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

void stopChild(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

// The fresh /tmp keeps what the machine's /tmp holds (a checkout or build
// folder may live there) by binding each entry back, except the
// single-instance lock files and the X server's files: fixed names there stay
// private to the test.
void bringBackTmpEntries(int oldTmp)
{
    const std::string base = "/proc/self/fd/" + std::to_string(oldTmp) + "/";
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return;
    while (struct dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name.rfind(".X", 0) == 0 ||
            (name.size() > 5 && name.compare(name.size() - 5, 5, ".lock") == 0))
            continue;
        const std::string from = base + name, to = "/tmp/" + name;
        struct stat st;
        if (::lstat(from.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            ::mkdir(to.c_str(), st.st_mode & 07777);
            ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr);
        } else if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(static_cast<size_t>(st.st_size) + 1, '\0');
            if (::readlink(from.c_str(), target.data(), target.size() - 1) >= 0)
                ::symlink(target.data(), to.c_str());
        } else if (S_ISREG(st.st_mode)) {
            const int fd = ::open(to.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, st.st_mode & 07777);
            if (fd >= 0) {
                ::close(fd);
                ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr);
            }
        }
    }
    ::closedir(dir);
}

} // namespace

namespace detail {

void InitTempRoot()
{
    g_ownerPid = ::getpid();
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (g_privateNs || !tmp || !*tmp) ? "/tmp" : tmp;
    std::string tmpl = base + "/tavtest-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) {
        std::perror("tavtest: mkdtemp");
        std::exit(2);
    }
    g_tempRoot = buf.data();
    g_home = g_tempRoot + "/home";
    ::mkdir(g_home.c_str(), 0700);
    ::setenv("HOME", g_home.c_str(), 1);
    ::setenv("TMPDIR", g_tempRoot.c_str(), 1);
    // Nothing a test runs may reach a session bus of the machine.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    ::unsetenv("DISPLAY");
}

void RemoveTempRoot()
{
    if (g_tempRoot.empty() || ::getpid() != g_ownerPid)
        return;
    ::nftw(g_tempRoot.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    g_tempRoot.clear();
}

// Private mount (and network) namespace: fresh /tmp, and /etc/TAV/ served
// from an empty temporary folder. /etc is overlaid first when /etc/TAV does
// not exist, so that the machine's /etc is never written.
bool EnterPrivateNamespace(std::string& why)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("unshare(CLONE_NEWNS) failed: ") + std::strerror(errno);
        return false;
    }
    // A private network namespace keeps abstract sockets (X) apart between
    // parallel test processes; not essential, so failure is ignored.
    ::unshare(CLONE_NEWNET);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("making / private failed: ") + std::strerror(errno);
        return false;
    }
    const int oldTmp = ::open("/tmp", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (::mount("tavtest", "/tmp", "tmpfs", 0, "mode=1777") != 0) {
        why = std::string("tmpfs on /tmp failed: ") + std::strerror(errno);
        if (oldTmp >= 0)
            ::close(oldTmp);
        return false;
    }
    if (oldTmp >= 0) {
        bringBackTmpEntries(oldTmp);
        ::close(oldTmp);
    }
    const std::string ns = "/tmp/.tavtest-ns";
    ::mkdir(ns.c_str(), 0700);
    ::mkdir((ns + "/etc-tav").c_str(), 0755);
    struct stat st;
    if (::stat("/etc/TAV", &st) != 0) {
        ::mkdir((ns + "/upper").c_str(), 0755);
        ::mkdir((ns + "/work").c_str(), 0755);
        std::string opts = "lowerdir=/etc,upperdir=" + ns + "/upper,workdir=" + ns + "/work";
        if (::mount("overlay", "/etc", "overlay", 0, opts.c_str()) != 0) {
            why = std::string("overlay on /etc failed: ") + std::strerror(errno);
            return false;
        }
        if (::mkdir("/etc/TAV", 0755) != 0) {
            why = std::string("mkdir /etc/TAV in the overlay failed: ") + std::strerror(errno);
            return false;
        }
    }
    if (::mount((ns + "/etc-tav").c_str(), "/etc/TAV", nullptr, MS_BIND, nullptr) != 0) {
        why = std::string("bind mount on /etc/TAV failed: ") + std::strerror(errno);
        return false;
    }
    g_privateNs = true;
    return true;
}

} // namespace detail

const std::string& TempRoot() { return g_tempRoot; }
const std::string& Home() { return g_home; }
bool InPrivateNamespace() { return g_privateNs; }

std::string MakeTempDir(const std::string& prefix)
{
    std::string dir = g_tempRoot + "/" + prefix + "-" + std::to_string(++g_tempCounter) + "-" +
                      std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0755);
    return dir;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

bool WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string PrivateBus::PermissivePolicy()
{
    return "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"tav.teacher.daemon\"/>\n"
           "    <allow own=\"tav.student.daemon\"/>\n"
           "    <allow own=\"tav.teacher.app\"/>\n"
           "    <allow own=\"tav.student.app\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "  </policy>\n";
}

PrivateBus::~PrivateBus() { Stop(); }

bool PrivateBus::Start(const std::string& policyXml)
{
    Stop();
    m_dir = MakeTempDir("bus");
    const std::string conf = m_dir + "/bus.conf";
    std::ostringstream c;
    c << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
      << " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
      << "<busconfig>\n"
      << "  <type>system</type>\n"
      << "  <listen>unix:path=" << m_dir << "/system_bus_socket</listen>\n"
      << "  <auth>EXTERNAL</auth>\n"
      << policyXml << "</busconfig>\n";
    if (!WriteFile(conf, c.str()))
        return false;
    return Launch();
}

bool PrivateBus::Restart()
{
    if (m_dir.empty())
        return false;
    stopChild(m_pid);
    return Launch() && m_address == "unix:path=" + m_dir + "/system_bus_socket";
}

bool PrivateBus::Launch()
{
    std::string line;
    m_pid = spawnWithReadyLine({"dbus-daemon", "--config-file=" + m_dir + "/bus.conf", "--nofork",
                                "--nopidfile", "--print-address=3"},
                               line, 10000);
    if (m_pid <= 0)
        return false;
    // A client that knows the guid refuses a restarted daemon (new guid).
    m_address = line.substr(0, line.find(",guid="));
    return true;
}

void PrivateBus::Stop()
{
    stopChild(m_pid);
    m_address.clear();
}

void PrivateBus::Export() const { ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1); }

XServer::~XServer() { Stop(); }

bool XServer::Start()
{
    Stop();
    std::string line;
    // Each test case starts its own server: without GLX (which GTK+ 2 never
    // uses) it is ready in a third of the time.
    m_pid = spawnWithReadyLine({"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-ac", "-screen",
                                "0", "1280x1024x24", "-noreset", "-extension", "GLX"},
                               line, 20000);
    if (m_pid <= 0)
        return false;
    m_display = ":" + line;
    return true;
}

void XServer::Stop()
{
    stopChild(m_pid);
    m_display.clear();
}

void XServer::Export() const { ::setenv("DISPLAY", m_display.c_str(), 1); }

int RunInChild(const std::function<int()>& fn, int timeoutMs)
{
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int rc = 1;
        try {
            rc = fn();
        } catch (...) {
            rc = 1;
        }
        if (::testing::Test::HasFailure())
            rc = 1;
        std::fflush(nullptr);
        ::_exit(rc);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunTestInFreshProcess(const std::string& fullName, int timeoutMs)
{
    return RunInChild(
        [&] {
            ::setenv("TAVTEST_FRESH_PROCESS", "1", 1);
            std::string filter = "--gtest_filter=" + fullName;
            ::execl("/proc/self/exe", "fresh-test", filter.c_str(),
                    "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
            return 127;
        },
        timeoutMs);
}

bool InFreshProcess()
{
    const char* v = std::getenv("TAVTEST_FRESH_PROCESS");
    return v && std::string(v) == "1";
}

} // namespace tavtest
