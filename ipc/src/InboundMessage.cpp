#include "InboundMessage.h"

#include <cstdint>
#include <cstring>

namespace IPCAPI {

EnvelopeArg ReadEnvelopeArg(DBusMessage* message, std::size_t limit)
{
    EnvelopeArg arg;
    DBusMessageIter iter;
    if (!message || !dbus_message_iter_init(message, &iter))
        return arg;
    if (dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRING) {
        arg.status = EnvelopeArg::NotString;
        return arg;
    }
    const char* text = nullptr;
    dbus_message_iter_get_basic(&iter, &text);
    arg.text = text ? text : "";
    // The text is already in memory (the bus library's own limit bounds
    // it); measuring it costs no copy.
    arg.size = std::strlen(arg.text);
    arg.status = arg.size > limit ? EnvelopeArg::Oversized : EnvelopeArg::Ok;
    return arg;
}

std::string DescribeOversized(const char* name, const EnvelopeArg& arg, std::size_t limit)
{
    return std::string(name ? name : "(no name)") + ": envelope of " + std::to_string(arg.size) +
           " bytes, over the limit of " + std::to_string(limit) + " bytes";
}

bool TextIsSendable(const std::string& text)
{
    // Envelopes are mostly ASCII: eight bytes at a time while no byte is 0
    // or above 0x7f; the bus library's own check only from the first that is.
    constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if ((w & highs) != 0 || ((w - ones) & ~w & highs) != 0)
            break;
    }
    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c == 0 || c > 0x7f)
            break;
    }
    if (i == n)
        return true;
    return std::memchr(p + i, 0, n - i) == nullptr && dbus_validate_utf8(p + i, nullptr);
}

DaemonRequest DecodeDaemonRequest(DBusMessage* message, const char* acceptedIface,
                                  std::size_t limit)
{
    DaemonRequest request;
    // Other interfaces, the bus's own signals among them, are not ours.
    const char* iface = message ? dbus_message_get_interface(message) : nullptr;
    if (!iface || !acceptedIface || std::strcmp(iface, acceptedIface) != 0)
        return request;
    request.arg = ReadEnvelopeArg(message, limit);
    if (request.arg.status != EnvelopeArg::Ok) {
        request.status = DaemonRequest::Malformed;
        return request;
    }
    const char* member = dbus_message_get_member(message);
    request.status = DaemonRequest::Taken;
    request.member = member ? member : "";
    request.payload.assign(request.arg.text, request.arg.size);
    request.type = dbus_message_get_type(message);
    return request;
}

} // namespace IPCAPI
