// The control socket of a running tav-classlab: a script of the session
// (it runs outside the student machines) takes a student machine off the
// class and brings it back. One line a connection ("stop S2", "kill S2",
// "start S2"), one answer line ("ok" or "error: why"). The socket is the
// lab folder's, which only root may enter.
#ifndef TAV_DAEMONS_LAB_LABCONTROL_H
#define TAV_DAEMONS_LAB_LABCONTROL_H

#include "UniqueFd.h"

#include <functional>
#include <string>

namespace tavlab {

class ControlServer {
public:
    // Listens at path (replacing a stale socket there).
    bool Listen(const std::string& path, std::string& why);
    // Serves every connection waiting now: reads its line, answers with
    // what handler returns. Never blocks on a client for long.
    void ServeWaiting(const std::function<std::string(const std::string&)>& handler);
    int Fd() const { return m_fd.get(); }

private:
    tavd::UniqueFd m_fd;
};

// Sends one line to the lab at path and returns its answer, or an
// "error: ..." of its own when the lab cannot be reached.
std::string SendControl(const std::string& path, const std::string& line);

} // namespace tavlab

#endif
