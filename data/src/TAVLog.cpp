#include "TAVLog.h"

#include <log4cpp/Category.hh>
#include <log4cpp/PatternLayout.hh>
#include <log4cpp/Priority.hh>
#include <log4cpp/RollingFileAppender.hh>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iomanip>
#include <mutex>
#include <sstream>

namespace LibTAVData {

std::string CTAVLog::m_FileName = "publicLog";
std::string CTAVLog::m_FolderName;

namespace {

// Every line shuts the whole log4cpp hierarchy down, so two lines must never
// overlap; the IPC worker thread and host threads log at once. Never
// destroyed, so lines written during static destruction still find it.
std::mutex& logMutex()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

bool folderComputed = false;  // guarded by logMutex()

const char* levelName(int level)
{
    switch (level) {
    case CTAVLog::LOG_DEBUG: return "DEBUG";
    case CTAVLog::LOG_TRACE: return "TRACE";
    case CTAVLog::LOG_WARNING: return "WARNING";
    case CTAVLog::LOG_ERROR: return "ERROR";
    case CTAVLog::LOG_FATAL: return "FATAL";
    default: return "";
    }
}

bool isWritableDir(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           access(path.c_str(), W_OK | X_OK) == 0;
}

// Caller holds logMutex().
std::string logDirLocked(std::string& folder)
{
    if (folderComputed)
        return folder;
    folderComputed = true;
    const char* home = std::getenv("HOME");
    std::string dir = home ? home : "/root";
    if (access(dir.c_str(), W_OK) == 0) {
        dir += "/TAVLog/";
        if (access(dir.c_str(), R_OK) != 0)
            mkdir(dir.c_str(), 0700);
        // A folder we cannot write leaves the file side out rather than
        // gluing the file name onto the home path.
        if (isWritableDir(dir))
            folder += dir;
    }
    return folder;
}

std::string timeText(bool flag)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t now = tv.tv_sec;
    struct tm local;
    localtime_r(&now, &local);
    char buf[100];
    size_t n = strftime(buf, sizeof buf, "%c", &local);
    std::string text(buf, n);
    if (flag) {
        unsigned short millis = static_cast<unsigned short>(tv.tv_usec / 1000);
        std::ostringstream os;
        os << std::setw(3) << std::setfill('0') << millis;
        if (os.good())
            text += os.str();
    }
    return text;
}

} // namespace

CTAVLog::CTAVLog() = default;
CTAVLog::~CTAVLog() = default;

void CTAVLog::WriteLine(std::string message, LOGLEVEL level,
                        std::string fileName, bool flag)
{
    std::lock_guard<std::mutex> lock(logMutex());
    if (!fileName.empty())
        m_FileName = fileName;
    const std::string folder = logDirLocked(m_FolderName);
    const char* name = levelName(level);
    try {
        if (!folder.empty()) {
            const std::string path = folder + m_FileName + ".log";
            auto* appender = new log4cpp::RollingFileAppender(
                "RollingFileAppender", path, 1048576, 10, true, 0644);
            appender->setLayout(new log4cpp::PatternLayout());
            log4cpp::Category& cat = log4cpp::Category::getInstance("main_cat");
            cat.setAdditivity(false);
            cat.addAppender(appender);
            cat.setPriority(log4cpp::Priority::NOTSET);
            cat.log(0, "%s:  %s:   %s", timeText(flag).c_str(), name,
                    message.c_str());
        }
        std::printf("%s:  %s:   %s\n", timeText(flag).c_str(), name,
                    message.c_str());
        std::fflush(stdout);
    } catch (const std::exception&) {
        // A log line must never take the caller down.
    }
    log4cpp::Category::shutdown();
}

void CTAVLog::WriteLine(int value, std::string message, bool flag,
                        LOGLEVEL level, std::string fileName)
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
    std::lock_guard<std::mutex> lock(logMutex());
    m_FileName = name;
}

std::string CTAVLog::getLogDir()
{
    std::lock_guard<std::mutex> lock(logMutex());
    return logDirLocked(m_FolderName);
}

std::string CTAVLog::getTime()
{
    return timeText(false);
}

std::string CTAVLog::getTime(bool flag)
{
    return timeText(flag);
}

} // namespace LibTAVData
