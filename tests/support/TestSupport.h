// Shared by every test program: the test main gives each process a fresh
// temporary HOME and, on request (tav_add_gtest NEEDS), a private mount
// namespace with temporary /etc/TAV/ and /tmp/, a private system-style
// dbus-daemon and an Xvfb server.
#ifndef TAV_TESTS_SUPPORT_H
#define TAV_TESTS_SUPPORT_H

#include <sys/types.h>

#include <functional>
#include <string>

namespace tavtest {

// Root of this test process's temporary files (removed at exit).
const std::string& TempRoot();
// A new empty folder below TempRoot().
std::string MakeTempDir(const std::string& prefix);
// The temporary HOME of this process.
const std::string& Home();
// True when the process runs in its private mount namespace: /etc/TAV/ is
// an empty temporary folder, and /tmp/ a fresh one in which the machine's
// folders and files appear again, all but its "*.lock" and ".X*" entries.
bool InPrivateNamespace();

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Polls cond every few milliseconds until it holds or timeoutMs passes.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 5000);

// A dbus-daemon of type "system" on a socket in a temporary folder. It dies
// with the test process if that process dies first.
class PrivateBus {
public:
    // Permissive policy admitting the four role names and any test peer.
    static std::string PermissivePolicy();

    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // policyXml is placed verbatim inside <busconfig> (policies, includes).
    bool Start(const std::string& policyXml = PermissivePolicy());
    void Stop();
    // Stops the daemon (if running) and starts it again with the same
    // configuration on the same address, as a restarted system bus:
    // connections made before are lost, new ones reach the new daemon.
    // False when it did not start.
    bool Restart();
    // The socket address, without the daemon's guid, so that it stays the
    // same across Restart().
    const std::string& Address() const { return m_address; }
    pid_t Pid() const { return m_pid; }
    // Points libdbus's system bus at this daemon (DBUS_SYSTEM_BUS_ADDRESS).
    void Export() const;

private:
    bool Launch();

    pid_t m_pid = -1;
    std::string m_address;
    std::string m_dir;
};

// Xvfb on a free display; Export() sets DISPLAY.
class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Start();
    void Stop();
    const std::string& Display() const { return m_display; }
    void Export() const;

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// The bus and X server the test main started for this process (nullptr
// when not requested).
PrivateBus* DefaultBus();
XServer* DefaultX();

// True in a ThreadSanitizer build. There, a fork from a process whose other
// threads are busy has left the child holding a mutex that the fork
// handlers release in every other build (about one run in six), so a test
// of fork safety proves nothing there and skips.
constexpr bool UnderThreadSanitizer()
{
#if defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Runs fn in a forked child and returns its exit status (or -1). The child
// exits with fn's result; gtest failures in the child make it exit 1.
int RunInChild(const std::function<int()>& fn, int timeoutMs = 30000);

// Runs a scenario in a forked child and expects it to pass (exit 0); the
// child's own failures are printed above.
#define EXPECT_CHILD_PASSES(...)                                                                   \
    do {                                                                                           \
        const int tav_child_rc_ = ::tavtest::RunInChild(__VA_ARGS__);                              \
        EXPECT_EQ(tav_child_rc_, 0) << "child scenario failed (output above)";                     \
    } while (0)

// Runs one test of this program in a fresh process (fork and exec of the
// program itself, its own HOME and static state) and returns its exit
// status, 0 when the test passed. Such tests are named DISABLED_* so that
// only this runs them; InFreshProcess() tells them apart inside.
int RunTestInFreshProcess(const std::string& fullName, int timeoutMs = 60000);
bool InFreshProcess();

} // namespace tavtest

#endif
