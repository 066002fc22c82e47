#include "Session.h"
#include "TAVProtocol.h"

#include "IPCAPIManager.h"
#include "IPCStudentAPI.h"
#include "IPCTeacherAPI.h"
#include "TAVLog.h"

#include <dbus/dbus.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tavctl {

namespace {

sigset_t terminalSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// The terminal signal a wait took, if any.
int g_takenSignal = 0;

std::string busAddress()
{
    const char* env = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return env && *env ? env : "unix:path=/var/run/dbus/system_bus_socket";
}

} // namespace

void BlockTerminalSignals()
{
    sigset_t set = terminalSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int Interruption()
{
    if (g_takenSignal != 0)
        return g_takenSignal;
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0)
        return 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&pending, s) == 1)
            return s;
    return 0;
}

void DieIfInterrupted()
{
    const int sig = Interruption();
    if (sig == 0)
        return;
    std::fflush(nullptr);
    ::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    ::raise(sig);                                // stays pending while blocked...
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr); // ...and ends the process here
}

void Waiter::ExpectStudents(std::set<std::string> kinds, std::set<std::string> students)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_verdicts = true;
    m_kinds = std::move(kinds);
    m_byStudent = true;
    m_expected = static_cast<int>(students.size());
    m_students = std::move(students);
    m_matched = 0;
}

void Waiter::ExpectCount(std::set<std::string> kinds, int count, bool verdicts)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_verdicts = verdicts;
    m_kinds = std::move(kinds);
    m_byStudent = false;
    m_expected = count;
    m_students.clear();
    m_matched = 0;
}

void Waiter::Note(const std::string& kind, const std::string& student, int verdict)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_kinds.empty() && m_kinds.count(kind) == 0)
        return;
    if (m_byStudent) {
        // An answer from a student not addressed, or a second one, is
        // printed but does not count.
        if (m_students.erase(student) == 0)
            return;
    }
    ++m_matched;
    if (m_verdicts && m_verdict == 0)
        m_verdict = verdict;
}

bool Waiter::Done()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_byStudent)
        return m_students.empty();
    return m_expected > 0 && m_matched >= m_expected;
}

int Waiter::Matched()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_matched;
}

int Waiter::Expected()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_byStudent || m_expected > 0 ? m_expected : -1;
}

int Waiter::Verdict()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_verdict;
}

Session::Session(Side side) : m_side(side) {}

Session::~Session() { Close(); }

void Session::NoteResult(int code)
{
    if (m_result == 0)
        m_result = code;
}

int Session::Verdict() { return m_result != 0 ? m_result : m_waiter.Verdict(); }

const char* Session::SideName() const { return m_side == Side::Teacher ? "teacher" : "student"; }

const char* Session::DaemonName() const
{
    return m_side == Side::Teacher ? IPCAPI::kTeacherDaemonName : IPCAPI::kStudentDaemonName;
}

std::string Session::LogFile()
{
    const std::string dir = LibTAVData::CTAVLog::getLogDir();
    return dir.empty() ? "standard output with --verbose" : dir + "tavctl.log";
}

void Session::CheckBus(bool needDaemon)
{
    DBusError err;
    dbus_error_init(&err);
    // A private connection of our own: the library's shared one is made
    // later, by the API object.
    DBusConnection* conn = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    if (!conn) {
        const std::string why = dbus_error_is_set(&err) ? err.message : "no connection";
        dbus_error_free(&err);
        throw Failure("cannot reach the system bus at " + busAddress() + ": " + why);
    }
    dbus_connection_set_exit_on_disconnect(conn, FALSE);
    bool owned = true;
    std::string why;
    if (needDaemon) {
        owned = dbus_bus_name_has_owner(conn, DaemonName(), &err);
        if (dbus_error_is_set(&err)) {
            why = err.message;
            dbus_error_free(&err);
        }
    }
    dbus_connection_close(conn);
    dbus_connection_unref(conn);
    if (!why.empty())
        throw Failure("cannot ask the system bus at " + busAddress() + " for the " + SideName() +
                      " daemon: " + why);
    if (!owned)
        throw Failure(std::string("no ") + SideName() + " daemon on the bus at " + busAddress() +
                      " (nobody owns " + DaemonName() + ")");
}

IPCAPI::IPCTeacherAPI& Session::Teacher(IPCAPI::IIPCTeacherAPICallback* callback)
{
    if (!m_api) {
        IPCAPI::IPCAPIBase* api = nullptr;
        if (IPCAPI::InitializeTAVLibrary(0, &api) != 0 || !api)
            throw Failure("the IPC library gave no teacher API object");
        m_api = api;
        static_cast<IPCAPI::IPCTeacherAPI*>(m_api)->RegisterCallBack(callback);
    }
    return *static_cast<IPCAPI::IPCTeacherAPI*>(m_api);
}

IPCAPI::IPCStudentAPI& Session::Student(IPCAPI::IIPCStudentAPICallback* callback)
{
    if (!m_api) {
        IPCAPI::IPCAPIBase* api = nullptr;
        if (IPCAPI::InitializeTAVLibrary(1, &api) != 0 || !api)
            throw Failure("the IPC library gave no student API object");
        m_api = api;
        static_cast<IPCAPI::IPCStudentAPI*>(m_api)->RegisterCallBack(callback);
    }
    return *static_cast<IPCAPI::IPCStudentAPI*>(m_api);
}

void Session::Close()
{
    if (m_api) {
        IPCAPI::UninitializeTAVLibrary(m_api);
        m_api = nullptr;
    }
}

int WithTerminalSignals(const std::function<int()>& fn)
{
    sigset_t set = terminalSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    const int rc = fn();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return rc;
}

int Session::Blocking(const std::function<int()>& request) { return WithTerminalSignals(request); }

Session::WaitEnd Session::Wait(double seconds)
{
    const sigset_t set = terminalSignals();
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (m_waiter.Done())
            return WaitEnd::Done;
        long sliceMs = 50;
        if (seconds >= 0) {
            const double left =
                seconds -
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (left <= 0)
                return WaitEnd::TimedOut;
            sliceMs = std::min(sliceMs, static_cast<long>(std::ceil(left * 1000)));
        }
        struct timespec slice = {sliceMs / 1000, (sliceMs % 1000) * 1000000L};
        const int sig = sigtimedwait(&set, nullptr, &slice);
        if (sig > 0) {
            g_takenSignal = sig;
            return WaitEnd::Interrupted;
        }
    }
}

} // namespace tavctl
