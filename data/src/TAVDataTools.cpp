#include "TAVDataTools.h"

#include "GettextMarker.h"
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace LibTAVData {

const std::string CTAVDataTools::NOTIFY_TIMER = "3000";

namespace {

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
pid_t Launch(const std::vector<std::string>& args, bool searchPath, bool detached, int& execError)
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
        Log(who + " --cannot run " + args[0] + ": " + std::strerror(execError), CTAVLog::LOG_ERROR);
        return false;
    }
    return true;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// "uid 1001 (alice)" for log lines.
std::string UserText(uid_t uid)
{
    std::string text = "uid " + std::to_string(uid);
    std::vector<char> buf(16384);
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name)
        text += std::string(" (") + found->pw_name + ")";
    return text;
}

// Opens the lock file, or creates it when missing. The lock folder is
// shared by everybody: never through a link, never waiting on a FIFO, and
// never creating over a file that appeared meanwhile (O_CREAT on another
// user's file in a sticky folder is refused even to root where
// fs.protected_regular is set, so existing files are opened without it).
// The descriptor stays out of the programs we start. -1 with errno.
int OpenLockFile(const std::string& path)
{
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int i = 0; i < 8; ++i) {
        int fd = ::open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0640);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

struct TakeOverResult {
    int fd;     // our locked lock file, -1 on failure
    bool retry; // another instance of ours took the name first
};

// Root puts a lock file of its own where another user's file (or link)
// stands, so that nobody can keep a root program from starting by creating
// its lock file first. The new file is made and locked under a temporary
// name and then exchanged atomically with what is at the lock path: the
// name never stands empty for a third process to fill. When the file
// exchanged out is one of our own user's (a second instance of ours won
// the same race), it is put back and the lock is tried again as usual.
TakeOverResult TakeOver(const std::string& path, const struct stat& foreign)
{
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkostemp(&temp[0], O_CLOEXEC));
    if (fd.get() < 0)
        return {-1, false};
    if (::fchmod(fd.get(), 0640) != 0 || ::lockf(fd.get(), F_TLOCK, 0) != 0) {
        ::unlink(temp.c_str());
        return {-1, false};
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        // A file system without exchange: replace it outright.
        if ((errno != EINVAL && errno != ENOSYS) || ::rename(temp.c_str(), path.c_str()) != 0) {
            ::unlink(temp.c_str());
            return {-1, false};
        }
        return {fd.Release(), false};
    }
    struct stat out;
    if (::lstat(temp.c_str(), &out) == 0 && out.st_uid == ::geteuid() &&
        !(out.st_dev == foreign.st_dev && out.st_ino == foreign.st_ino)) {
        ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
        ::unlink(temp.c_str());
        return {-1, true};
    }
    if (::unlink(temp.c_str()) != 0 && ::rmdir(temp.c_str()) != 0)
        Log("CTAVDataTools::GetLock() --left what stood at " + path + " as " + temp,
            CTAVLog::LOG_WARNING);
    return {fd.Release(), false};
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
        reason =
            Translate("The input cannot contain any of the following characters: /\\:*?\"<>|&");
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
        Log("CTAVDataTools::StartupProgramAsynchronism Create Process Failed!", CTAVLog::LOG_ERROR);
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
    for (int attempt = 0; attempt < 3; ++attempt) {
        Fd fd(OpenLockFile(lockFile));
        struct stat st;
        const bool found =
            fd.get() >= 0 ? ::fstat(fd.get(), &st) == 0 : ::lstat(lockFile.c_str(), &st) == 0;
        if (found && st.st_uid != ::geteuid()) {
            // Somebody else's file (or link) at our fixed name.
            if (::geteuid() != 0) {
                Log("Can not lock file: " + lockFile + " (it belongs to " + UserText(st.st_uid) +
                        "; only root or that user can remove it)",
                    CTAVLog::LOG_WARNING);
                return false;
            }
            const TakeOverResult taken = TakeOver(lockFile, st);
            if (taken.retry)
                continue;
            if (taken.fd < 0)
                break;
            Log("CTAVDataTools::GetLock() --replaced " + lockFile + " of " + UserText(st.st_uid) +
                    " by a lock file of our own",
                CTAVLog::LOG_WARNING);
            return true; // taken.fd is kept open: the lock lasts as long as the process
        }
        if (fd.get() < 0 || !found || !S_ISREG(st.st_mode))
            break;
        if (::lockf(fd.get(), F_TLOCK, 0) != 0) {
            Log("Can not lock file: " + lockFile, CTAVLog::LOG_WARNING);
            return false;
        }
        // Kept open on purpose: the lock lasts as long as the process.
        fd.Release();
        return true;
    }
    Log("Can not create lock file: " + lockFile, CTAVLog::LOG_WARNING);
    return false;
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
