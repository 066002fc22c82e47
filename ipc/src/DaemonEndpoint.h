// The daemon end of the bus, shared by IPCStudentDaemonAPI and
// IPCTeacherDaemonAPI (internal). The two classes differ only in their
// names; each forwards to a DaemonEndpoint bound to its own members.
#ifndef TAV_IPC_DAEMONENDPOINT_H
#define TAV_IPC_DAEMONENDPOINT_H

#include "IPCAPIBase.h"
#include "InboundMessage.h"
#include "IntfData.h"
#include "TAVCatalogue.h"

#include <dbus/dbus.h>

#include <string>

namespace IPCAPI {

class IPCController;

// Names of one daemon role.
struct DaemonRole {
    const char* className;     // prefix of the log lines
    const char* busName;       // requested on the bus
    const char* matchRule;     // the applications' request signals
    const char* acceptedIface; // requests taken by ReceiveMsg
    const char* sendIface;     // notifications
    const char* noArgumentsText;
    Catalogue::Side side; // whose catalogue the daemon serves
};

extern const DaemonRole kStudentDaemonRole;
extern const DaemonRole kTeacherDaemonRole;

class DaemonEndpoint {
public:
    // Works on the members of the API object it is made for; cheap, made
    // per call.
    DaemonEndpoint(const DaemonRole& role, IPCAPIBase* api, IPCController*& controller,
                   DBusMessage*& request, int& requestType)
        : m_role(role), m_api(api), m_controller(controller), m_request(request),
          m_requestType(requestType)
    {}

    // For a daemon API class that declares DaemonEndpoint its friend.
    template <class Api>
    static DaemonEndpoint For(const DaemonRole& role, Api& api)
    {
        return DaemonEndpoint(role, &api, api.m_pController, api.m_pRequest, api.m_iRequestType);
    }

    int Initialize();
    int UnInitialize();
    int ReceiveMsg(std::string& message, std::string& payload);
    int ReceiveMsg(CIntfData& data);
    bool IsBlock();
    int GetRequestSender(unsigned long& uid, unsigned long& pid);
    int ReplyMsg(const std::string& payload);
    int ReplyMsg(CIntfData* data);
    int SendMsg(const std::string& message, const std::string& payload);
    int SendMsg(CIntfData* data);
    int WaitForMsg(int timeoutMs);
    int GetWaitFD();

private:
    std::string Prefix(const char* operation) const;
    void DropRequest();
    void SkipMalformedRequest(DBusMessage* msg, const EnvelopeArg& arg);
    // Method calls the daemon answers itself: introspection, the peer
    // interface, and an error for any call it cannot hand to the host.
    // True when msg was answered here.
    bool ServeBusConventions(DBusMessage* msg);
    void ReplyError(DBusMessage* call, const char* error, const std::string& text);

    const DaemonRole& m_role;
    IPCAPIBase* m_api;
    IPCController*& m_controller;
    DBusMessage*& m_request;
    int& m_requestType;
};

} // namespace IPCAPI

#endif
