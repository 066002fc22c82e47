#include "TAVLog.h"

#include <fcntl.h>
#include <pthread.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <mutex>
#include <sstream>
#include <utility>

namespace LibTAVData {

std::string CTAVLog::m_FileName = "publicLog";
std::string CTAVLog::m_FolderName;

namespace {

// The two members above are mirrors of the log's own copies. Lines written
// late in static destruction must not touch them once they are gone; this
// guard, defined after them, is destroyed first.
std::atomic<bool> g_membersAlive{true};
struct MembersGuard {
    ~MembersGuard() { g_membersAlive = false; }
} g_membersGuard;

constexpr off_t kRollSize = 1048576; // a file reaching this size is rolled
constexpr int kBackups = 10;         // <name>.log.01 (newest) to .10

const char* levelName(int level)
{
    switch (level) {
    case CTAVLog::LOG_DEBUG:
        return "DEBUG";
    case CTAVLog::LOG_TRACE:
        return "TRACE";
    case CTAVLog::LOG_WARNING:
        return "WARNING";
    case CTAVLog::LOG_ERROR:
        return "ERROR";
    case CTAVLog::LOG_FATAL:
        return "FATAL";
    default:
        return "";
    }
}

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// Holds flock(LOCK_EX) on a descriptor for one scope, where the file
// system offers it.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(fd)
    {
        int rc;
        do
            rc = ::flock(m_fd, LOCK_EX);
        while (rc != 0 && errno == EINTR);
        m_locked = rc == 0;
    }
    ~FileLock()
    {
        if (m_locked)
            ::flock(m_fd, LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
    bool m_locked = false;
};

bool isWritableDir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool sameFile(const struct stat& a, dev_t dev, ino_t ino)
{
    return a.st_dev == dev && a.st_ino == ino;
}

// Local time as strftime "%c" (locale-dependent, under 100 characters).
std::string secondsText(time_t seconds)
{
    struct tm local;
    localtime_r(&seconds, &local);
    char buf[100];
    const size_t n = strftime(buf, sizeof buf, "%c", &local);
    return std::string(buf, n);
}

void appendMillis(std::string& out, const struct timeval& tv)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03u", static_cast<unsigned>(tv.tv_usec / 1000));
    out += buf;
}

std::string timeText(bool flag)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    std::string text = secondsText(tv.tv_sec);
    if (flag)
        appendMillis(text, tv);
    return text;
}

// Control characters (below 0x20 except tab, and DEL) become \n, \r or
// \xHH, so that no text a caller passes on can start a line of its own.
// Line breaks that end the message are dropped: the line ends there anyway,
// and some callers end their messages with "\n".
void appendEscaped(std::string& out, const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    auto plain = [](unsigned char c) { return (c >= 0x20 && c != 0x7f) || c == '\t'; };
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
        --end;
    size_t start = 0;
    for (size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (plain(c))
            continue;
        out.append(text, start, i - start);
        start = i + 1;
        out += '\\';
        if (c == '\n') {
            out += 'n';
        } else if (c == '\r') {
            out += 'r';
        } else {
            out += 'x';
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    out.append(text, start, end - start);
}

// The log of this process. One mutex serialises every line of every
// thread; the file stays open between lines and is reopened when the path
// no longer names it (rolled by another process, removed, renamed).
// Never destroyed, so lines written during static destruction still work.
class Log {
public:
    static Log& instance()
    {
        static Log* log = new Log;
        return *log;
    }

    std::mutex mutex;

    // Caller holds mutex. First line of the process: the threshold from the
    // environment, and the fork handlers.
    void start()
    {
        if (m_started)
            return;
        m_started = true;
        pthread_atfork(beforeFork, afterForkInParent, afterForkInChild);
        const char* value = std::getenv("TAV_LOG_LEVEL");
        if (!value || !*value)
            return;
        static const std::pair<const char*, int> names[] = {{"debug", CTAVLog::LOG_DEBUG},
                                                            {"trace", CTAVLog::LOG_TRACE},
                                                            {"warning", CTAVLog::LOG_WARNING},
                                                            {"error", CTAVLog::LOG_ERROR},
                                                            {"fatal", CTAVLog::LOG_FATAL}};
        for (const auto& n : names)
            if (strcasecmp(value, n.first) == 0) {
                m_threshold = n.second;
                return;
            }
        writeLine(CTAVLog::LOG_WARNING,
                  std::string("CTAVLog: TAV_LOG_LEVEL \"") + value +
                      "\" is not debug, trace, warning, error or fatal; every line is written",
                  false);
    }

    // Caller holds mutex.
    bool passes(int level) const { return level >= m_threshold; }

    // Caller holds mutex.
    void setName(const std::string& name) { m_name = name; }

    // Caller holds mutex. Computed once; empty when no usable folder.
    const std::string& folder()
    {
        if (m_folderComputed)
            return m_folder;
        m_folderComputed = true;
        const char* home = std::getenv("HOME");
        std::string dir = home ? home : "/root";
        if (::access(dir.c_str(), W_OK) == 0) {
            dir += "/TAVLog/";
            if (::access(dir.c_str(), R_OK) != 0)
                ::mkdir(dir.c_str(), 0700);
            // A folder we cannot write leaves the file side out rather than
            // gluing the file name onto the home path.
            if (isWritableDir(dir))
                m_folder = dir;
        }
        return m_folder;
    }

    // Caller holds mutex.
    void writeLine(int level, const std::string& message, bool flag)
    {
        m_line.clear();
        appendTime(flag);
        m_line += ":  ";
        m_line += levelName(level);
        m_line += ":   ";
        appendEscaped(m_line, message);
        m_line += '\n';
        writeToFile();
        std::fwrite(m_line.data(), 1, m_line.size(), stdout);
        std::fflush(stdout);
    }

private:
    Log() = default;

    // The time text changes once a second; so is it made.
    void appendTime(bool flag)
    {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        if (tv.tv_sec != m_timeSeconds || m_timeText.empty()) {
            m_timeText = secondsText(tv.tv_sec);
            m_timeSeconds = tv.tv_sec;
        }
        m_line += m_timeText;
        if (flag)
            appendMillis(m_line, tv);
    }

    // The whole line in one write: with O_APPEND it lands at the end of the
    // file in one piece even when other processes append at the same time.
    void writeToFile()
    {
        off_t before = 0;
        if (folder().empty() || !ensureOpen(before))
            return;
        const char* p = m_line.data();
        size_t left = m_line.size();
        while (left > 0) {
            ssize_t n = ::write(m_fd.get(), p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            p += n;
            left -= static_cast<size_t>(n);
        }
        // The size seen before the line, plus the line: lines of other
        // processes in between only make it larger, and roll() looks again
        // under its lock before it renames anything.
        if (before + static_cast<off_t>(m_line.size()) >= kRollSize)
            roll();
    }

    // The open descriptor still names the file at the path; one stat per
    // line notices a roll by another process or a removed file, and gives
    // the file's size for the roll rule.
    bool ensureOpen(off_t& size)
    {
        const std::string& wanted = path();
        struct stat st;
        if (m_fd && ::stat(wanted.c_str(), &st) == 0 && sameFile(st, m_dev, m_ino)) {
            size = st.st_size;
            return true;
        }
        return reopen(&size);
    }

    bool reopen(off_t* size = nullptr)
    {
        m_fd.reset();
        const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
        int fd = ::open(m_path.c_str(), flags, 0644);
        if (fd < 0 && errno == ENOENT && ::mkdir(m_folder.c_str(), 0700) == 0)
            fd = ::open(m_path.c_str(), flags, 0644);
        m_fd.reset(fd);
        struct stat st;
        if (!m_fd || ::fstat(m_fd.get(), &st) != 0) {
            m_fd.reset();
            return false;
        }
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        if (size)
            *size = st.st_size;
        return true;
    }

    const std::string& path()
    {
        if (m_pathName != m_name || m_path.empty()) {
            m_pathName = m_name;
            m_path = m_folder + m_name + ".log";
            m_fd.reset();
        }
        return m_path;
    }

    std::string backup(int i) const
    {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%02d", i);
        return m_path + suffix;
    }

    // Processes sharing the file roll it under flock on the file itself, so
    // only the first of them to get there renames; the others find another
    // file at the path and just reopen. Without flock (some network file
    // systems) the file is still rolled, checked just the same.
    void roll()
    {
        {
            const FileLock lock(m_fd.get());
            struct stat atPath, own;
            if (::stat(m_path.c_str(), &atPath) == 0 && sameFile(atPath, m_dev, m_ino) &&
                ::fstat(m_fd.get(), &own) == 0 && own.st_size >= kRollSize) {
                ::unlink(backup(kBackups).c_str());
                for (int i = kBackups - 1; i >= 1; --i)
                    ::rename(backup(i).c_str(), backup(i + 1).c_str());
                ::rename(m_path.c_str(), backup(1).c_str());
            }
        }
        reopen();
    }

    // A fork waits for the line in progress; the child then opens the file
    // afresh, so that its roll lock is its own and not shared with ours.
    static void beforeFork() { instance().mutex.lock(); }
    static void afterForkInParent() { instance().mutex.unlock(); }
    static void afterForkInChild()
    {
        Log& log = instance();
        log.m_fd.reset();
        log.mutex.unlock();
    }

    bool m_started = false;
    int m_threshold = INT_MIN;
    bool m_folderComputed = false;
    std::string m_folder;
    std::string m_name = "publicLog";
    std::string m_pathName; // m_name when m_path was built
    std::string m_path;
    Fd m_fd;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    std::string m_line; // reused for every line
    time_t m_timeSeconds = 0;
    std::string m_timeText; // secondsText(m_timeSeconds)
};

} // namespace

CTAVLog::CTAVLog() = default;
CTAVLog::~CTAVLog() = default;

void CTAVLog::WriteLine(std::string message, LOGLEVEL level, std::string fileName, bool flag)
{
    try {
        Log& log = Log::instance();
        std::lock_guard<std::mutex> lock(log.mutex);
        if (!fileName.empty()) {
            log.setName(fileName);
            if (g_membersAlive)
                m_FileName = fileName;
        }
        log.start();
        if (log.passes(level))
            log.writeLine(level, message, flag);
        if (g_membersAlive && m_FolderName.empty())
            m_FolderName = log.folder();
    } catch (const std::exception&) {
        // A log line must never take the caller down.
    }
}

void CTAVLog::WriteLine(int value, std::string message, bool flag, LOGLEVEL level,
                        std::string fileName)
{
    try {
        std::ostringstream os;
        os << value;
        if (os.good())
            message += os.str();
        else
            WriteLine("CTAVLog::WriteLine int2String Err", LOG_WARNING, "", false);
        WriteLine(message, level, fileName, flag);
    } catch (const std::exception&) {
    }
}

void CTAVLog::SetLogFileName(std::string name)
{
    Log& log = Log::instance();
    std::lock_guard<std::mutex> lock(log.mutex);
    log.setName(name);
    if (g_membersAlive)
        m_FileName = name;
}

std::string CTAVLog::getLogDir()
{
    Log& log = Log::instance();
    std::lock_guard<std::mutex> lock(log.mutex);
    const std::string& folder = log.folder();
    if (g_membersAlive)
        m_FolderName = folder;
    return folder;
}

std::string CTAVLog::getTime() { return timeText(false); }

std::string CTAVLog::getTime(bool flag) { return timeText(flag); }

} // namespace LibTAVData
