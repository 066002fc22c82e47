#include "LabControl.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavlab {

namespace {

bool Address(const std::string& path, sockaddr_un& addr)
{
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Reads up to the first line break, waiting at most timeoutMs in all.
std::string ReadLine(int fd, int timeoutMs)
{
    std::string line;
    char buf[256];
    pollfd p{fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && line.size() < 4096 &&
           ::poll(&p, 1, timeoutMs) == 1) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool ControlServer::Listen(const std::string& path, std::string& why)
{
    sockaddr_un addr;
    if (!Address(path, addr)) {
        why = "the control socket's path is too long: " + path;
        return false;
    }
    m_fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ::unlink(path.c_str());
    const mode_t old = ::umask(077);
    const bool bound =
        m_fd.get() >= 0 && ::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::umask(old);
    if (!bound || ::listen(m_fd.get(), 8) != 0) {
        why = "cannot listen at " + path + ": " + std::strerror(errno);
        m_fd.reset();
        return false;
    }
    return true;
}

void ControlServer::ServeWaiting(const std::function<std::string(const std::string&)>& handler)
{
    for (;;) {
        tavd::UniqueFd client(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.get() < 0)
            return;
        const std::string line = ReadLine(client.get(), 2000);
        WriteAll(client.get(), handler(line) + "\n");
    }
}

std::string SendControl(const std::string& path, const std::string& line)
{
    sockaddr_un addr;
    if (!Address(path, addr))
        return "error: the control socket's path is too long: " + path;
    tavd::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return "error: no lab answers at " + path + ": " + std::strerror(errno);
    if (!WriteAll(fd.get(), line + "\n"))
        return "error: the lab hung up";
    // Starting a machine waits until it is in the class.
    const std::string answer = ReadLine(fd.get(), 200000);
    return answer.empty() ? "error: the lab did not answer" : answer;
}

} // namespace tavlab
