// One run of tavctl against one side's daemon: the check that the bus and
// the daemon are there, the API object (made only once the command line
// has been checked), and waiting for notifications.
//
// SIGINT, SIGTERM and SIGHUP are blocked in every thread from the start, so
// that the library's worker thread never takes them; the main thread takes
// them with sigtimedwait while it waits, and lets them through (default
// action: the process ends) while a blocking request is under way. A signal
// taken while waiting ends the wait; once the output is complete and the
// API object gone, the process ends by that signal (DieIfInterrupted).
#ifndef TAVCTL_SESSION_H
#define TAVCTL_SESSION_H

#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

namespace IPCAPI {
class IPCAPIBase;
class IPCStudentAPI;
class IPCTeacherAPI;
class IIPCStudentAPICallback;
class IIPCTeacherAPICallback;
} // namespace IPCAPI

namespace tavctl {

// The request got no answer (no bus, no daemon, send failed, answers
// missing): the message is printed and the exit status is 1.
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

enum class Side { Teacher, Student };

// Counts the notifications that answer a request. Fed from the worker
// thread, read from the main thread.
class Waiter {
public:
    // kinds: the callback names that count (empty: every notification).
    // One answer is expected from each of students.
    void ExpectStudents(std::set<std::string> kinds, std::set<std::string> students);
    // count answers are expected; 0: a number not known, wait the whole time.
    // Without verdicts, what the answers carry is not the daemon's verdict
    // on a request (listen).
    void ExpectCount(std::set<std::string> kinds, int count, bool verdicts = true);
    // An answer of kind from student; verdict is the result it carries
    // (0 done), remembered when the answer counts.
    void Note(const std::string& kind, const std::string& student, int verdict = 0);
    bool Done();
    int Matched();
    // The number expected, or -1 when it is not known.
    int Expected();
    // The first non-zero verdict of an answer that counted (0: none).
    int Verdict();

private:
    std::mutex m_mutex;
    std::set<std::string> m_kinds;
    std::set<std::string> m_students;
    int m_expected = 0;
    int m_matched = 0;
    int m_verdict = 0;
    bool m_verdicts = true;
    bool m_byStudent = false;
};

class Session {
public:
    explicit Session(Side side);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Side GetSide() const { return m_side; }
    const char* SideName() const;
    const char* DaemonName() const;

    // Failure unless the system bus answers and, with needDaemon, the
    // side's daemon owns its name. Sends nothing to the daemon.
    void CheckBus(bool needDaemon);

    // The API object, made on first use with the callback registered.
    IPCAPI::IPCTeacherAPI& Teacher(IPCAPI::IIPCTeacherAPICallback* callback);
    IPCAPI::IPCStudentAPI& Student(IPCAPI::IIPCStudentAPICallback* callback);
    // Destroys the API object: no notification is delivered after this.
    void Close();

    // Runs a blocking request with the terminal signals let through.
    int Blocking(const std::function<int()>& request);

    enum class WaitEnd { Done, TimedOut, Interrupted };
    // Until the waiter is done, seconds have passed (negative: forever) or a
    // terminal signal arrives.
    WaitEnd Wait(double seconds);

    Waiter& GetWaiter() { return m_waiter; }

    // The result code of a blocking request; the first non-zero one is kept.
    void NoteResult(int code);
    // The daemon's first non-zero verdict: a blocking request's result code,
    // else that of an answer waited for (0 when everything succeeded).
    int Verdict();

    // Where the log of this run goes, for messages.
    static std::string LogFile();

private:
    Side m_side;
    IPCAPI::IPCAPIBase* m_api = nullptr;
    Waiter m_waiter;
    int m_result = 0;
};

// Runs fn with the terminal signals let through in the calling thread:
// one that arrives meanwhile ends the process (default action).
int WithTerminalSignals(const std::function<int()>& fn);

// Blocks the terminal signals in the calling thread (and the threads it
// starts). Called once at start, before any library call.
void BlockTerminalSignals();
// After a terminal signal (taken while waiting, or still pending): ends
// the process by that signal, so that a calling shell sees the interruption
// and stops as well. Returns when there was none. Call once the API object
// is gone.
void DieIfInterrupted();
// The terminal signal taken while waiting, or pending; 0 when none.
int Interruption();

} // namespace tavctl

#endif
