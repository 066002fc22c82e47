// Stand-in for the vendor's device SDK: one connection per process, an
// event thread that reads key codes from a named pipe, and one handler.
#include "DcsSdk.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct Connection {
    int pipeFd = -1; // the button pipe, -1 when no pipe is configured
    int wakeFd = -1; // eventfd that stops the event thread
    std::thread thread;
    std::thread::id threadId; // set before the connection is published

    std::mutex mutex; // guards handler and delivering
    std::condition_variable idle;
    DCS_FnKeyCallback handler = nullptr;
    bool delivering = false;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection()
    {
        if (pipeFd >= 0)
            close(pipeFd);
        if (wakeFd >= 0)
            close(wakeFd);
    }

    // Clears the handler and waits for a call already running, unless that
    // call is on this very thread (a handler unregistering itself).
    void DropHandler()
    {
        std::unique_lock<std::mutex> lock(mutex);
        handler = nullptr;
        if (std::this_thread::get_id() != threadId)
            idle.wait(lock, [this] { return !delivering; });
    }
};

std::mutex g_mutex; // guards g_connection
std::shared_ptr<Connection> g_connection;

std::shared_ptr<Connection> CurrentConnection()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_connection;
}

void Report(const std::string& what) { std::fprintf(stderr, "DcsSdk: %s\n", what.c_str()); }

std::string Printable(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size() && i < 32; ++i)
        out += (text[i] >= 0x20 && text[i] < 0x7f) ? text[i] : '?';
    return text.size() > 32 ? out + "..." : out;
}

void Deliver(Connection& c, int keyCode)
{
    DCS_FnKeyCallback handler;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        handler = c.handler;
        if (!handler)
            return;
        c.delivering = true;
    }
    DCS_VKbd_Data_E data;
    std::memset(&data, 0, sizeof data);
    data.keyCode = keyCode;
    try {
        handler(&data);
    } catch (...) {
        Report("event handler threw an exception");
    }
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.delivering = false;
    }
    c.idle.notify_all();
}

bool IsSeparator(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f' ||
           ch == ',' || ch == '\0';
}

// A key code: an optional minus and at most ten digits, within int.
bool ParseKeyCode(const std::string& token, int& keyCode)
{
    const size_t digits = token[0] == '-' ? 1 : 0;
    if (token.size() == digits || token.size() - digits > 10)
        return false;
    for (size_t k = digits; k < token.size(); ++k)
        if (token[k] < '0' || token[k] > '9')
            return false;
    const long long value = std::strtoll(token.c_str(), nullptr, 10);
    if (value < INT_MIN || value > INT_MAX)
        return false;
    keyCode = static_cast<int>(value);
    return true;
}

// One read's worth of pipe text: key codes separated by white space or
// commas; anything else is reported and skipped. The end of the text ends
// a number too, so "printf 4" works as well as "echo 4".
void DeliverText(Connection& c, const char* text, size_t n)
{
    size_t i = 0;
    for (;;) {
        while (i < n && IsSeparator(text[i]))
            ++i;
        if (i == n)
            return;
        const size_t start = i;
        while (i < n && !IsSeparator(text[i]))
            ++i;
        const std::string token(text + start, i - start);
        int keyCode = 0;
        if (ParseKeyCode(token, keyCode))
            Deliver(c, keyCode);
        else
            Report("ignored '" + Printable(token) + "': not a key code");
    }
}

void EventThread(std::shared_ptr<Connection> c)
{
    char buf[PIPE_BUF];
    bool watchPipe = c->pipeFd >= 0;
    for (;;) {
        pollfd fds[2] = {{c->wakeFd, POLLIN, 0}, {c->pipeFd, POLLIN, 0}};
        if (poll(fds, watchPipe ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            Report(std::string("event thread stops: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (!watchPipe)
            continue;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(c->pipeFd, buf, sizeof buf);
            if (n > 0)
                DeliverText(*c, buf, static_cast<size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                watchPipe = false;
        } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            watchPipe = false;
        }
        if (!watchPipe)
            Report("button pipe failed; no more events");
    }
}

// Opens (creating if missing) the button pipe for reading. Read-write, so
// that writers coming and going never give the reader an end of file.
int OpenButtonPipe(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0) {
        if (errno != ENOENT) {
            Report(std::string(path) + ": " + std::strerror(errno));
            return -1;
        }
        if (mkfifo(path, 0600) != 0 && errno != EEXIST) {
            Report(std::string("cannot create ") + path + ": " + std::strerror(errno));
            return -1;
        }
    } else if (!S_ISFIFO(st.st_mode)) {
        Report(std::string(path) + " is not a named pipe");
        return -1;
    }
    const int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        Report(std::string("cannot open ") + path + ": " + std::strerror(errno));
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        Report(std::string(path) + " is not a named pipe");
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

extern "C" {

int DCS_Initialize(void)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_connection)
        return 0;
    auto c = std::make_shared<Connection>();
    const char* path = std::getenv(DCS_BEZEL_PIPE_ENV);
    if (path != nullptr && *path != '\0') {
        c->pipeFd = OpenButtonPipe(path);
        if (c->pipeFd < 0)
            return -1;
    } else {
        Report(DCS_BEZEL_PIPE_ENV " is not set: no bezel-button events");
    }
    c->wakeFd = eventfd(0, EFD_CLOEXEC);
    if (c->wakeFd < 0) {
        Report(std::string("eventfd: ") + std::strerror(errno));
        return -1;
    }
    try {
        c->thread = std::thread(EventThread, c);
    } catch (const std::exception& e) {
        Report(std::string("cannot start the event thread: ") + e.what());
        return -1;
    }
    c->threadId = c->thread.get_id();
    g_connection = std::move(c);
    return 0;
}

int DCS_Uninitialize(void)
{
    std::shared_ptr<Connection> c;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        c.swap(g_connection);
    }
    if (!c)
        return -1;
    c->DropHandler();
    const std::uint64_t one = 1;
    const bool woken = write(c->wakeFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
    if (!woken)
        Report(std::string("cannot stop the event thread: ") + std::strerror(errno));
    // From inside the handler the thread cannot wait for itself: it ends on
    // its own once the handler returns, holding its share of the connection.
    // (Unwoken, it idles on without a handler rather than hang the caller.)
    if (woken && std::this_thread::get_id() != c->threadId)
        c->thread.join();
    else
        c->thread.detach();
    return 0;
}

int DCS_RegisterFnKeyCallback(DCS_FnKeyCallback handler)
{
    const std::shared_ptr<Connection> c = CurrentConnection();
    if (!c)
        return -1;
    std::lock_guard<std::mutex> lock(c->mutex);
    c->handler = handler;
    return 0;
}

int DCS_UnregisterFnKeyCallback(void)
{
    const std::shared_ptr<Connection> c = CurrentConnection();
    if (!c)
        return -1;
    c->DropHandler();
    return 0;
}

} // extern "C"
