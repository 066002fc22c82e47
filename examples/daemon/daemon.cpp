// A small student daemon on the daemon API: waits for requests instead of
// polling, answers the blocking ones, and lets only root unlock the
// machine, judged by the sender's uid on the bus (never by the payload).
//
//   example-daemon [SERVE_MS]     serves SERVE_MS milliseconds, or until
//                                 SIGINT/SIGTERM when none is given
#include "IPCStudentDaemonAPI.h"
#include "IntfData.h"
#include "TAVLog.h"
#include "TAVProtocol.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace IPCAPI;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStop(int) { g_stop = 1; }

// The answer to one request: its result code and any reply parameters.
int serve(IPCStudentDaemonAPI& api, const std::string& name, CIntfData& reply)
{
    if (name == Msg::GETCONNECTEDTEACHER) {
        reply.m_ParaXml.setString(Param::strTeacherID, "T1");
        return 0;
    }
    if (name == Msg::MANUALUNLOCKLOCALSTUDENT) {
        unsigned long uid = 0, pid = 0;
        if (api.GetRequestSender(uid, pid) != 0 || uid != 0) {
            std::printf("example daemon: unlock refused to uid %lu\n", uid);
            return 1;
        }
        CIntfData changed(Msg::NOTIFYLOCKSTATUSCHANGED, 0, kNoStudent);
        changed.m_ParaXml.setString(Param::bLock, kFalse);
        api.SendMsg(&changed);
        return 0;
    }
    // Every other request of the catalogue: accepted, nothing done.
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    struct sigaction sa {};
    sa.sa_handler = onStop; // no SA_RESTART: a signal ends the wait
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    LibTAVData::CTAVLog::SetLogFileName("ExampleDaemon");

    const long serveMs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(serveMs);
    IPCStudentDaemonAPI api;
    std::printf("example daemon: serving as %s\n", kStudentDaemonName);
    std::fflush(stdout);
    while (!g_stop && (serveMs < 0 || std::chrono::steady_clock::now() < end)) {
        std::string name, payload;
        int unused = 0;
        if (api.ReceiveMsg(unused, name, payload) != 0) {
            api.WaitForMsg(serveMs < 0 ? 1000 : 100);
            continue;
        }
        CIntfData request;
        int opid = 0;
        if (request.load(payload))
            request.GetOperationID(opid);
        CIntfData reply(name, opid, kNoStudent);
        reply.SetResult(serve(api, name, reply));
        if (api.IsBlock())
            api.ReplyMsg(&reply);
        std::printf("example daemon: %s answered\n", name.c_str());
        std::fflush(stdout);
    }
    return 0;
}
