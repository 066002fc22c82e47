#include "TAVDataTools.h"

#include "TAVLayout.h"
#include "TAVLog.h"

#include <fcntl.h>
#include <libintl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace LibTAVData {

const std::string CTAVDataTools::NOTIFY_TIMER = "3000";

namespace {

// Marks a text for the message template; it is translated where it is used.
#define N_(text) text

// Our own catalogue is looked up by name, so a host that makes another
// domain its default in between still gets our texts right.
std::string Translate(const char* text)
{
    const char* domain = DATA_TEXT_DOMAIN.c_str();
    ::bindtextdomain(domain, LOCALE_DIR.c_str());
    ::bind_textdomain_codeset(domain, "UTF-8");
    ::textdomain(domain);
    return ::dgettext(domain, text);
}

void Log(const std::string& message, CTAVLog::LOGLEVEL level)
{
    CTAVLog::WriteLine(message, level, "", false);
}

// What a child reports through the close-on-exec pipe when it cannot go on.
struct ChildReport {
    enum Stage { None = 0, Fork = 1, Exec = 2 };
    int stage;
    int error;
};

void Report(int fd, ChildReport::Stage stage, int error)
{
    const ChildReport r = {stage, error};
    const ssize_t n = ::write(fd, &r, sizeof r);
    (void)n;
}

// Waits for one child, retrying on signals; false when the wait does not
// report that child.
bool WaitForChild(pid_t pid)
{
    pid_t r;
    do {
        r = ::waitpid(pid, nullptr, 0);
    } while (r < 0 && errno == EINTR);
    return r == pid;
}

// Starts args[0] with args as its argument vector and our environment,
// looked up on PATH when searchPath is set (as a shell would), otherwise
// taken as a path. Between fork and exec the child only calls
// async-signal-safe functions, so this is safe in a threaded host.
//
// detached: the program runs as a grandchild whose parent, the intermediate
// child, ends at once and is reaped here; the program is then nobody's
// child of ours and needs no reaping.
//
// Returns -1 (errno set) when no process could be made. Otherwise the pid
// of the child still to be waited for (0 when detached), and execError
// holds the errno of a failed exec or 0 when the program started.
pid_t Launch(const std::vector<std::string>& args, bool searchPath, bool detached,
             int& execError)
{
    execError = 0;
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        errno = e;
        return -1;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (detached) {
            const pid_t grandchild = ::fork();
            if (grandchild < 0) {
                Report(fds[1], ChildReport::Fork, errno);
                ::_exit(0);
            }
            if (grandchild > 0)
                ::_exit(0);
        }
        if (searchPath)
            ::execvp(argv[0], argv.data());
        else
            ::execv(argv[0], argv.data());
        Report(fds[1], ChildReport::Exec, errno);
        ::_exit(0);
    }

    ::close(fds[1]);
    // The pipe reaches end of file once the program has been exec'd (the
    // write end is close-on-exec) or its starter gave up.
    ChildReport report = {ChildReport::None, 0};
    std::size_t got = 0;
    char* into = reinterpret_cast<char*>(&report);
    for (;;) {
        const ssize_t n = ::read(fds[0], into + got, sizeof report - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
        if (got == sizeof report)
            break;
    }
    ::close(fds[0]);
    if (got != sizeof report)
        report.stage = ChildReport::None;

    if (detached)
        WaitForChild(pid);
    if (report.stage == ChildReport::Fork) {
        errno = report.error;
        return -1;
    }
    if (report.stage == ChildReport::Exec)
        execError = report.error ? report.error : ENOEXEC;
    return detached ? 0 : pid;
}

// Runs a helper program found on PATH and waits for it. False when it
// could not be started; its own exit status is not examined.
bool RunAndWait(const std::vector<std::string>& args, const std::string& who)
{
    int execError = 0;
    const pid_t pid = Launch(args, true, false, execError);
    if (pid < 0) {
        Log(who + " --cannot create a process for " + args[0] + ": " + std::strerror(errno),
            CTAVLog::LOG_ERROR);
        return false;
    }
    WaitForChild(pid);
    if (execError) {
        Log(who + " --cannot run " + args[0] + ": " + std::strerror(execError),
            CTAVLog::LOG_ERROR);
        return false;
    }
    return true;
}

} // namespace

CTAVDataTools::CTAVDataTools() {}
CTAVDataTools::~CTAVDataTools() {}

std::string CTAVDataTools::GetHomeDir()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    int rc;
    while ((rc = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found)) == ERANGE &&
           buf.size() < (1u << 20))
        buf.resize(buf.size() * 2);
    if (rc == 0 && found && found->pw_dir && *found->pw_dir)
        return found->pw_dir;
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    return "/";
}

bool CTAVDataTools::FileExist(std::string path)
{
    // Non-blocking: opening a FIFO for reading would otherwise wait for a
    // writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

int CTAVDataTools::IsStrongPassword(const std::string& password, std::string& reason)
{
    static const char kDigits[] = "0123456789";
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const char kSpecials[] = ",./<>?;':\"[]\\{}|`~!@#$%^&*()-_=+";

    const char* failure = nullptr;
    if (password.empty())
        failure = N_("Password cannot be empty.");
    else if (password.size() < 8)
        failure = N_("A strong password should contain at least 8 characters.");
    else if (password.find_first_of(kDigits) == std::string::npos)
        failure = N_("A strong password should contain numbers.");
    else if (password.find_first_of(kLetters) == std::string::npos)
        failure = N_("A strong password should contain letters.");
    else if (password.find_first_of(kSpecials) == std::string::npos)
        failure = N_("A strong password should contain special characters.");
    if (!failure)
        return 0;
    reason = Translate(failure);
    return -1;
}

int CTAVDataTools::IsInputValid(const std::string& input, std::string& reason)
{
    static const char kForbidden[] = "/\\:*?\"<>|&";

    if (input.empty()) {
        reason = Translate("The input cannot be empty.");
        return -1;
    }
    if (input.size() > 64) {
        reason = Translate("The input cannot be beyond 64 bytes.");
        return -2;
    }
    if (input.find_first_of(kForbidden) != std::string::npos) {
        reason = Translate(
            "The input cannot contain any of the following characters: /\\:*?\"<>|&");
        return -3;
    }
    return 0;
}

int CTAVDataTools::StartupProgramBlocked(const std::string& path)
{
    int execError = 0;
    const pid_t pid = Launch({path}, false, false, execError);
    if (pid < 0) {
        Log("CTAVDataTools::StartupProgramBlocked Create Process Failed!", CTAVLog::LOG_ERROR);
        return 0;
    }
    if (execError)
        Log("CTAVDataTools::StartupProgramBlocked --cannot run " + path + ": " +
                std::strerror(execError),
            CTAVLog::LOG_ERROR);
    if (!WaitForChild(pid))
        Log("CTAVDataTools::StartupProgramBlocked waitpid error!", CTAVLog::LOG_ERROR);
    return 0;
}

int CTAVDataTools::StartupProgramAsynchronism(const std::string& path)
{
    int execError = 0;
    if (Launch({path}, false, true, execError) < 0) {
        Log("CTAVDataTools::StartupProgramAsynchronism Create Process Failed!",
            CTAVLog::LOG_ERROR);
        return 0;
    }
    if (execError)
        Log("CTAVDataTools::StartupProgramAsynchronism --cannot run " + path + ": " +
                std::strerror(execError),
            CTAVLog::LOG_ERROR);
    return 0;
}

bool CTAVDataTools::GetLock(std::string lockFile)
{
    // The lock folder is shared by everybody: never follow a link planted
    // there, and keep the descriptor out of the programs we start.
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        Log("Can not create lock file: " + lockFile, CTAVLog::LOG_WARNING);
        return false;
    }
    if (::lockf(fd, F_TLOCK, 0) != 0) {
        // We hold no lock on it, so closing releases nothing of ours.
        ::close(fd);
        Log("Can not lock file: " + lockFile, CTAVLog::LOG_WARNING);
        return false;
    }
    // Kept open on purpose: the lock lasts as long as the process.
    return true;
}

int CTAVDataTools::PopupBalloon(const std::string& summary, const std::string& body,
                                std::string& reason)
{
    if (summary.empty()) {
        reason = Translate("No summary specified.");
        return -1;
    }
    // "--": a summary or body starting with "-" is text, never an option.
    std::vector<std::string> args = {"notify-send", "-t", NOTIFY_TIMER, "--", summary};
    if (!body.empty())
        args.push_back(body);
    if (!RunAndWait(args, "CTAVDataTools::PopupBalloon()")) {
        reason = Translate("Operation failed!");
        return -1;
    }
    return 0;
}

int CTAVDataTools::OpenHelp(const std::string& manual, std::string& reason)
{
    if (manual.empty()) {
        reason = Translate("The name of user manual cannot be empty!");
        return -1;
    }
    // The manual's path starts with HELP_DIR's "/", so no name can be read
    // as an option.
    if (!RunAndWait({"evince", HELP_DIR + manual, "--page-label=1"}, "CTAVDataTools::OpenHelp()")) {
        reason = Translate("Open user manual failed!");
        return -1;
    }
    return 0;
}

} // namespace LibTAVData
