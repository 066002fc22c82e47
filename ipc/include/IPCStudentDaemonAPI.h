// The student daemon's end of the bus: takes the student applications'
// requests off the bus, answers the blocking ones and sends notifications
// to every student application. No worker thread: the daemon host polls
// ReceiveMsg from its own loop, on one thread, and waits between requests:
//
//   CIntfData request;
//   if (api->ReceiveMsg(request) != 0) {
//       api->WaitForMsg(1000);        // or poll GetWaitFD() with its own
//   } else {
//       ... handle it ...
//       if (api->IsBlock())
//           api->ReplyMsg(&answer);   // before the next ReceiveMsg
//   }
//   api->SendMsg(&notification);      // whenever needed
//
// The library answers the bus's own calls to the daemon by itself: the
// introspection of the object (generated from TAVCatalogue.h), the peer
// interface (Ping, GetMachineId), and an error at once for a call it
// cannot hand to the host (another interface, no string argument, an
// envelope over the size limit); those never reach ReceiveMsg.
#ifndef TAV_IPC_IPCSTUDENTDAEMONAPI_H
#define TAV_IPC_IPCSTUDENTDAEMONAPI_H

#include "IPCAPIBase.h"
#include "IntfData.h"

#include <dbus/dbus.h>

#include <string>

namespace IPCAPI {

class DaemonEndpoint;

class IPCStudentDaemonAPI : public IPCAPIBase {
public:
    // Connects at once: owns "tav.student.daemon" and listens to the
    // signals on "tav.studentapp.type".
    IPCStudentDaemonAPI();
    virtual ~IPCStudentDaemonAPI();

    int Initialize();
    int UnInitialize();

    // Next request of a student application: 0 with the message name and
    // the envelope text, 1 when nothing usable is waiting. opid is not
    // written.
    int ReceiveMsg(int& opid, std::string& message, std::string& payload);
    // As above, loaded into data (pass a fresh envelope); 1 also when the
    // payload is not an envelope.
    int ReceiveMsg(CIntfData& data);
    // True when the sender of the last request waits for an answer.
    bool IsBlock();

    // Waits for the next request instead of polling: returns 0 as soon as
    // something may be waiting for ReceiveMsg, 1 after timeoutMs (-1: no
    // limit) or when a signal interrupts the wait. Call it once ReceiveMsg
    // returned 1.
    int WaitForMsg(int timeoutMs);
    // For a host that waits on several things with poll(): a descriptor
    // that is readable when a request may be waiting. Ask for it right
    // before each poll (it changes with what waits and when the library
    // connects to the bus again) and never read from it; -1 while there is
    // no bus (poll the others with a timeout of a second at most then).
    int GetWaitFD();

    // Who sent the request the last successful ReceiveMsg returned: the
    // Unix user id and process id of its connection, as the bus reports
    // them (never anything the payload says). 0 with both set; 1 when no
    // request is held or the bus cannot tell (the sender has already left
    // the bus, no bus), leaving both untouched. The bus is asked on the
    // first call for a request only; a host that never calls pays nothing.
    int GetRequestSender(unsigned long& uid, unsigned long& pid);

    // Answers the last request with payload as the reply envelope text.
    // 0 sent, 1 not (no request held, text not valid UTF-8, bus failure).
    int ReplyMsg(std::string payload);
    int ReplyMsg(CIntfData* data);

    // Notification to every student application, a signal on
    // "tav.studentdaemon.type" with message as its name. opid is not used.
    int SendMsg(int& opid, std::string message, std::string payload);
    int SendMsg(CIntfData* data);

protected:
    friend class DaemonEndpoint; // the shared implementation of both daemons

    // The last request taken (this object holds a reference until its next
    // ReceiveMsg), null when none.
    DBusMessage* m_pRequest;
    // Bus message type of the last request taken: 1 method call, 4 signal.
    int m_iRequestType;
};

} // namespace IPCAPI

#endif
