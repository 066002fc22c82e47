#include "DaemonEndpoint.h"

#include "BusCalls.h"
#include "DBusHandles.h"
#include "IPCCommonUtil.h"
#include "IPCController.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "InboundMessage.h"

#include <cstring>
#include <utility>

namespace IPCAPI {

const DaemonRole kStudentDaemonRole = {
    "IPCStudentDaemonAPI",   kStudentDaemonName,
    kStudentDaemonMatch,     kStudentAppIface,
    kStudentDaemonIface,     "IPCStudentDaemonAPI::ReplyMsg --Message has no arguments!",
    Catalogue::Side::Student};

const DaemonRole kTeacherDaemonRole = {
    "IPCTeacherDaemonAPI",   kTeacherDaemonName,
    kTeacherDaemonMatch,     kTeacherAppIface,
    kTeacherDaemonIface,     "IPCTeacherDaemonAPI::ReplyMsg --Message has no arguments",
    Catalogue::Side::Teacher};

std::string DaemonEndpoint::Prefix(const char* operation) const
{
    return LogScope::Join(m_role.className, "::", operation);
}

// The request is ours until the next ReceiveMsg: another API object of the
// process may make the controller drop its current message meanwhile.
void DaemonEndpoint::DropRequest()
{
    if (m_request) {
        dbus_message_unref(m_request);
        m_request = nullptr;
    }
}

int DaemonEndpoint::Initialize()
{
    const std::string name = Prefix("Initialize()");
    LogScope scope(name.c_str());
    // Counted once per object, or the last object would never release the
    // controller and its bus name.
    if (m_controller) {
        LogScope::Trace(name + " --Already initialized");
        return 0;
    }
    m_controller = IPCController::CreateInstance(m_role.busName, m_role.matchRule);
    if (!m_controller) {
        LogScope::Error(name + " --CreateInstance Failed");
        return 1;
    }
    m_controller->SetAPI(m_api);
    return 0;
}

int DaemonEndpoint::UnInitialize()
{
    const std::string name = Prefix("UnInitialize()");
    LogScope scope(name.c_str());
    DropRequest();
    // Once only: a second RemoveAPI would take another object's count.
    if (m_controller) {
        IPCController::RemoveAPI(m_api);
        m_controller = nullptr;
    }
    return 0;
}

// Polled by the daemon's loop: silent while nothing arrives, so the log is
// not flooded by empty polls. Unusable requests are skipped within the same
// call, so a flood of them cannot end the host's polling round early.
int DaemonEndpoint::ReceiveMsg(std::string& message, std::string& payload)
{
    DropRequest();
    if (!m_controller)
        return 1;
    for (;;) {
        DBusMessage* msg = nullptr;
        if (m_controller->ReceiveMsg(&msg) != 0 || !msg)
            return 1;
        if (ServeBusConventions(msg))
            continue;
        DaemonRequest request = DecodeDaemonRequest(msg, m_role.acceptedIface);
        if (request.status == DaemonRequest::OtherInterface)
            continue;
        if (request.status == DaemonRequest::Malformed) {
            SkipMalformedRequest(msg, request.arg);
            continue;
        }
        message = std::move(request.member);
        payload = std::move(request.payload);
        m_request = dbus_message_ref(msg);
        m_requestType = request.type;
        LogScope::Trace(PayloadLine(Prefix("ReceiveMsg [string] --ReceiveMsg :"), payload));
        return 0;
    }
}

void DaemonEndpoint::ReplyError(DBusMessage* call, const char* error, const std::string& text)
{
    const char* sender = dbus_message_get_sender(call);
    LogScope::Error(Prefix("ReceiveMsg --Answered a call from ") + (sender ? sender : "(unknown)") +
                    " with " + error + ": " + text);
    if (dbus_message_get_no_reply(call) || !m_controller)
        return;
    // Our text goes on the bus: keep it valid whatever the caller sent.
    const std::string safe =
        dbus_validate_utf8(text.c_str(), nullptr) ? text : std::string("invalid request");
    m_controller->SendMsg(Bus().message_new_error(call, error, safe.c_str()));
}

bool DaemonEndpoint::ServeBusConventions(DBusMessage* msg)
{
    if (dbus_message_get_type(msg) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return false;
    const char* ifaceText = dbus_message_get_interface(msg);
    // Requests, the usual case, are told apart before anything is copied.
    if (ifaceText && std::strcmp(ifaceText, m_role.acceptedIface) == 0)
        return false;
    const std::string iface = ifaceText ? ifaceText : "";
    const std::string member = dbus_message_get_member(msg) ? dbus_message_get_member(msg) : "";
    // Calls that name no interface are resolved among the standard ones.
    const bool introspectable =
        iface == DBUS_INTERFACE_INTROSPECTABLE || (iface.empty() && member == "Introspect");
    const bool peer = iface == DBUS_INTERFACE_PEER ||
                      (iface.empty() && (member == "Ping" || member == "GetMachineId"));
    MessagePtr answer;
    if (introspectable && member == "Introspect") {
        const char* path = dbus_message_get_path(msg);
        const std::string xml = Catalogue::DaemonIntrospection(m_role.side, path ? path : "");
        if (xml.empty()) {
            ReplyError(msg, DBUS_ERROR_UNKNOWN_OBJECT,
                       std::string("No object at ") + (path ? path : "(no path)") +
                           "; the daemon serves " + kObjectPath);
            return true;
        }
        answer.reset(Bus().message_new_method_return(msg));
        const char* text = xml.c_str();
        if (answer &&
            !Bus().message_append_args(answer.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID))
            answer.reset();
    } else if (peer && member == "Ping") {
        answer.reset(Bus().message_new_method_return(msg));
    } else if (peer && member == "GetMachineId") {
        DBusError error;
        dbus_error_init(&error);
        char* id = dbus_try_get_local_machine_id(&error);
        if (!id) {
            ReplyError(msg, DBUS_ERROR_FAILED,
                       std::string("No machine id: ") + (error.message ? error.message : ""));
            dbus_error_free(&error);
            return true;
        }
        answer.reset(Bus().message_new_method_return(msg));
        if (answer &&
            !Bus().message_append_args(answer.get(), DBUS_TYPE_STRING, &id, DBUS_TYPE_INVALID))
            answer.reset();
        dbus_free(id);
    } else {
        const std::string where =
            iface.empty() ? std::string("a call that names no interface") : "interface " + iface;
        ReplyError(msg, DBUS_ERROR_UNKNOWN_METHOD,
                   "No method " + member + " on " + where + "; requests go to " +
                       m_role.acceptedIface);
        return true;
    }
    if (!answer) {
        LogScope::Error(Prefix("ReceiveMsg --Out Of Memory!dbus_message_new_method_return"));
        return true;
    }
    LogScope::Trace(Prefix("ReceiveMsg --Answered ") + iface + "." + member);
    if (!dbus_message_get_no_reply(msg))
        m_controller->SendMsg(answer.release());
    return true;
}

// The one place that decides what becomes of a request on our interface
// that carries no usable envelope: logged and skipped, never handed to the
// host; a caller waiting for an answer gets an error at once.
void DaemonEndpoint::SkipMalformedRequest(DBusMessage* msg, const EnvelopeArg& arg)
{
    if (dbus_message_get_type(msg) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
        const char* member = dbus_message_get_member(msg);
        ReplyError(msg, DBUS_ERROR_INVALID_ARGS,
                   arg.status == EnvelopeArg::Oversized
                       ? DescribeOversized(member, arg)
                       : std::string(member ? member : "(no name)") +
                             " takes one string argument, the envelope");
    }
    switch (arg.status) {
    case EnvelopeArg::NoArgument:
        LogScope::Error(Prefix("ReceiveMsg [string] --dbus_message_iter_init() Failure"));
        break;
    case EnvelopeArg::NotString:
        LogScope::Error(
            Prefix("ReceiveMsg [string] --dbus_message_iter_get_arg_type is not string"));
        break;
    case EnvelopeArg::Oversized:
        LogScope::Error(Prefix("ReceiveMsg [string] --Refused ") +
                        DescribeOversized(dbus_message_get_member(msg), arg));
        break;
    case EnvelopeArg::Ok:
        break;
    }
}

int DaemonEndpoint::WaitForMsg(int timeoutMs)
{
    if (!m_controller)
        return 1;
    return m_controller->WaitForMessage(timeoutMs);
}

int DaemonEndpoint::GetWaitFD() { return m_controller ? m_controller->GetWaitFD() : -1; }

int DaemonEndpoint::ReceiveMsg(CIntfData& data)
{
    std::string message, payload;
    if (ReceiveMsg(message, payload) != 0)
        return 1;
    if (IPCCommonUtil::LoadString(data, std::move(payload)) != 0) {
        LogScope::Error(Prefix("ReceiveMsg [CIntfData] --Load Data Failure"));
        return 1;
    }
    return 0;
}

bool DaemonEndpoint::IsBlock()
{
    if (m_requestType != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return false;
    LogScope::Trace(Prefix("IsBlock --return true;DBUS_MESSAGE_TYPE_METHOD_CALL"));
    return true;
}

int DaemonEndpoint::GetRequestSender(unsigned long& uid, unsigned long& pid)
{
    if (!m_request || !m_controller) {
        LogScope::Warning(Prefix("GetRequestSender --No request held"));
        return 1;
    }
    if (m_controller->GetSenderCredentials(m_request, uid, pid) != 0) {
        LogScope::Warning(Prefix("GetRequestSender --The bus could not tell who sent the request"));
        return 1;
    }
    return 0;
}

int DaemonEndpoint::ReplyMsg(const std::string& payload)
{
    if (!m_request) {
        LogScope::Error(Prefix("ReplyMsg --Request Msg is NULL"));
        return 1;
    }
    if (!m_controller)
        return 1;
    DBusMessageIter probe;
    if (!dbus_message_iter_init(m_request, &probe))
        LogScope::Warning(m_role.noArgumentsText);
    // The bus library ends the process on text it considers invalid.
    if (!TextIsSendable(payload)) {
        LogScope::Error(Prefix("ReplyMsg --Invalid payload (not valid UTF-8 text), nothing sent"));
        return 1;
    }
    MessagePtr reply(Bus().message_new_method_return(m_request));
    if (!reply) {
        LogScope::Error(Prefix("ReplyMsg --Out Of Memory!dbus_message_new_method_return"));
        return 1;
    }
    DBusMessageIter args;
    dbus_message_iter_init_append(reply.get(), &args);
    const char* text = payload.c_str();
    if (!Bus().message_iter_append_basic(&args, DBUS_TYPE_STRING, &text)) {
        LogScope::Error(Prefix("ReplyMsg --Out Of Memory!dbus_message_iter_init_append"));
        return 1;
    }
    // The controller sends it and drops the reference, also on failure.
    return m_controller->SendMsg(reply.release());
}

int DaemonEndpoint::ReplyMsg(CIntfData* data)
{
    if (!data) {
        LogScope::Error(Prefix("ReplyMsg() [CIntfData] --InfoData is NULL"));
        return 1;
    }
    std::string text;
    if (!data->toString(text)) {
        LogScope::Error(Prefix("ReplyMsg() [CIntfData] --InfoData->toString(inArgs) Failure"));
        return 1;
    }
    LogScope::Trace(PayloadLine(Prefix("ReplyMsg() [CIntfData] --Message:"), text));
    return ReplyMsg(text);
}

int DaemonEndpoint::SendMsg(const std::string& message, const std::string& payload)
{
    if (!m_controller)
        return 1;
    return m_controller->SendMsg(m_role.sendIface, message, payload);
}

int DaemonEndpoint::SendMsg(CIntfData* data)
{
    if (!data) {
        LogScope::Error(Prefix("SendMsg() [CIntfData] --InfoData is NULL"));
        return 1;
    }
    std::string message, text;
    data->GetMessage(message);
    // A text that does not print is not sent half-made.
    if (!data->toString(text)) {
        LogScope::Error(Prefix("SendMsg() [CIntfData] --InfoData->toString(inArgs) Failure"));
        return 1;
    }
    return SendMsg(message, text);
}

} // namespace IPCAPI
