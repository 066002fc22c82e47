// The student daemon's end of the bus: takes the student applications'
// requests off the bus, answers the blocking ones and sends notifications
// to every student application. No worker thread: the daemon host polls
// ReceiveMsg from its own loop, on one thread:
//
//   CIntfData request;
//   if (api->ReceiveMsg(request) == 0) {
//       ... handle it ...
//       if (api->IsBlock())
//           api->ReplyMsg(&answer);   // before the next ReceiveMsg
//   }
//   api->SendMsg(&notification);      // whenever needed
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
    friend class DaemonEndpoint;  // the shared implementation of both daemons

    // The last request taken (this object holds a reference until its next
    // ReceiveMsg), null when none.
    DBusMessage* m_pRequest;
    // Bus message type of the last request taken: 1 method call, 4 signal.
    int m_iRequestType;
};

} // namespace IPCAPI

#endif
