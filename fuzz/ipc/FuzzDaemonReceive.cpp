// Feeds a daemon's receive path with what a peer can put on the bus and
// checks that the decode step only ever hands over a text within the size
// limit, equal to the message's argument, which then loads (or not) and
// reads without harm.
//
// Input: byte 0 picks the message's shape, byte 1 the size limit (0: the
// real one, else byte * 16), the rest is the envelope text, or with shape 3
// a whole message in wire format.
#include "IPCCommonUtil.h"
#include "IPCNames.h"
#include "InboundMessage.h"
#include "IntfData.h"

#include <dbus/dbus.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>

using namespace IPCAPI;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_daemon_receive: %s\n", what);
        std::abort();
    }
}

// A message as a peer could send it, or null when the bus library would
// not build one from this input.
DBusMessage* makeMessage(unsigned shape, const std::string& text)
{
    if ((shape & 3) == 3)
        return dbus_message_demarshal(text.data(), static_cast<int>(text.size()), nullptr);
    const char* iface = (shape & 3) == 2 ? "tav.other.type" : kStudentAppIface;
    DBusMessage* m = (shape & 3) == 1 ? dbus_message_new_signal(kObjectPath, iface, "REQUEST")
                                      : dbus_message_new_method_call(kStudentDaemonName,
                                                                     kObjectPath, iface, "REQUEST");
    if (!m)
        return nullptr;
    if (shape & 4)
        return m; // no argument
    if (shape & 8) {
        dbus_int32_t n = static_cast<dbus_int32_t>(text.size());
        dbus_message_append_args(m, DBUS_TYPE_INT32, &n, DBUS_TYPE_INVALID);
        return m;
    }
    // What the bus would refuse never reaches a daemon.
    const std::string arg = text.substr(0, text.find('\0'));
    const char* p = arg.c_str();
    if (!dbus_validate_utf8(p, nullptr) ||
        !dbus_message_append_args(m, DBUS_TYPE_STRING, &p, DBUS_TYPE_INVALID)) {
        dbus_message_unref(m);
        return nullptr;
    }
    return m;
}

void readAsAHost(const std::string& payload)
{
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return;
    std::string s;
    int n = 0;
    data.GetMessage(s);
    data.GetStudentID(s);
    data.GetOperationID(n);
    data.GetResult(n);
    for (const char* name :
         {"strXML", "targetFolder", "UserName", "Password", "OID", "lockPolicy", "MessageID"}) {
        data.m_ParaXml.getString(name, s);
        data.m_ParaXml.getInt(name, n);
    }
    std::list<std::string> list;
    data.m_ParaXml.getListPara(list);
    std::list<tagStudent_t> students;
    data.m_ParaXml.getStudentInfoList(students);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The log goes nowhere: no file (home not writable), no output.
    setenv("HOME", "/proc", 1);
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned shape = data[0];
    const std::size_t limit = data[1] ? data[1] * 16u : tav_common::kMaxDocumentBytes;
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    DBusMessage* message = makeMessage(shape, text);
    if (!message)
        return 0;
    const DaemonRequest request = DecodeDaemonRequest(message, kStudentAppIface, limit);
    if (request.status == DaemonRequest::Taken) {
        const EnvelopeArg arg = ReadEnvelopeArg(message, limit);
        check(arg.status == EnvelopeArg::Ok, "a request was taken without a usable argument");
        check(request.payload.size() <= limit, "a request over the limit was taken");
        check(request.payload == std::string(arg.text, arg.size),
              "the payload differs from the argument");
        readAsAHost(request.payload);
    } else if (request.status == DaemonRequest::Malformed &&
               request.arg.status == EnvelopeArg::Oversized) {
        check(request.arg.size > limit, "a text within the limit was refused");
    }
    dbus_message_unref(message);
    return 0;
}
