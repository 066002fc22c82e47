// The one log of every library: each line is appended to
// $HOME/TAVLog/<name>.log (1 MiB files, 10 backups) and echoed to standard
// output as "<time>:  <LEVEL>:   <message>". Processes of one user may share
// a file; a forked child goes on logging to it. The environment variable
// TAV_LOG_LEVEL (debug|trace|warning|error|fatal, read at the first line)
// drops the lines of lower levels.
#ifndef TAV_DATA_TAVLOG_H
#define TAV_DATA_TAVLOG_H

#include <string>

namespace LibTAVData {

class CTAVLog {
public:
    enum LOGLEVEL { LOG_DEBUG = -1, LOG_TRACE = 0, LOG_WARNING = 1, LOG_ERROR = 2, LOG_FATAL = 3 };

    CTAVLog();
    virtual ~CTAVLog();

    // Writes one line. A non-empty fileName replaces the log file's base
    // name for this and every later line. The message is written as it
    // stands ("%s" in it is text, not a format), except that control
    // characters (below 0x20 but tab, and DEL) appear as \n, \r or \xHH;
    // line breaks at its very end are dropped.
    // flag is passed to getTime(bool). The line is in the file when the call
    // returns. Never fails towards the caller; safe from any thread.
    static void WriteLine(std::string message, LOGLEVEL level, std::string fileName, bool flag);

    // Appends the decimal text of value directly to message, then writes it.
    static void WriteLine(int value, std::string message, bool flag, LOGLEVEL level,
                          std::string fileName);

    // Base name of the log file, without folder and extension.
    static void SetLogFileName(std::string name);

    // The log folder: $HOME/TAVLog/ (HOME unset: /root/TAVLog/), created
    // with mode 0700 on first use and then fixed for the process. Returns
    // an empty text when that folder cannot be used (home not writable,
    // TAVLog not a writable folder); lines then go to standard output only.
    static std::string getLogDir();

    // Local time as strftime "%c".
    static std::string getTime();

    // false: as getTime(). true: the same text directly followed by the
    // milliseconds of the current second, three digits ("...2026042").
    static std::string getTime(bool flag);

protected:
    static std::string m_FileName;   // "publicLog" until changed
    static std::string m_FolderName; // computed once, see getLogDir()
};

} // namespace LibTAVData

#endif
