// Reading what arrives from the bus (internal): the envelope text a message
// carries, checked before anything copies or parses it, and the decode step
// of a daemon's request.
#ifndef TAV_IPC_INBOUNDMESSAGE_H
#define TAV_IPC_INBOUNDMESSAGE_H

#include "InputLimits.h"

#include <dbus/dbus.h>

#include <cstddef>
#include <string>

namespace IPCAPI {

// A message's first argument as envelope text. text points into the
// message (valid while it is held); nothing is copied.
struct EnvelopeArg {
    enum Status { Ok, NoArgument, NotString, Oversized } status = NoArgument;
    const char* text = nullptr;
    std::size_t size = 0; // also set when Oversized
};

EnvelopeArg ReadEnvelopeArg(DBusMessage* message,
                            std::size_t limit = tav_common::kMaxDocumentBytes);

// "<name>: envelope of N bytes, over the limit of M bytes" for the log
// line of a refused envelope (name: the message name); never its contents.
std::string DescribeOversized(const char* name, const EnvelopeArg& arg,
                              std::size_t limit = tav_common::kMaxDocumentBytes);

// True when text may go on the bus as a string argument: no NUL and valid
// UTF-8 (the bus library ends the process on anything else).
bool TextIsSendable(const std::string& text);

// One message as a daemon's ReceiveMsg sees it.
struct DaemonRequest {
    enum Status {
        Taken,          // member and payload filled
        OtherInterface, // not on the accepted interface: dropped silently
        Malformed       // on the interface but unusable: arg says why
    } status = OtherInterface;
    EnvelopeArg arg;
    std::string member;
    std::string payload;
    int type = 0;
};

// Sorts message for a daemon that accepts requests on acceptedIface; the
// payload is copied only for a usable request.
DaemonRequest DecodeDaemonRequest(DBusMessage* message, const char* acceptedIface,
                                  std::size_t limit = tav_common::kMaxDocumentBytes);

} // namespace IPCAPI

#endif
