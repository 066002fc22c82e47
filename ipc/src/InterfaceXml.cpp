// D-Bus interface descriptions made from the catalogue: what a daemon
// answers to Introspect, and the interface files installed for developers.
#include "TAVCatalogue.h"

#include <cstring>

namespace IPCAPI {
namespace Catalogue {

namespace {

const char* const kDoctype =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n";

const char* const kStandardInterfaces =
    " <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "  <method name=\"Introspect\">\n"
    "   <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
    "  </method>\n"
    " </interface>\n"
    " <interface name=\"org.freedesktop.DBus.Peer\">\n"
    "  <method name=\"Ping\"/>\n"
    "  <method name=\"GetMachineId\">\n"
    "   <arg name=\"machine_uuid\" type=\"s\" direction=\"out\"/>\n"
    "  </method>\n"
    " </interface>\n";

std::string parameterList(const std::vector<Parameter>& parameters)
{
    if (parameters.empty())
        return "none";
    std::string out;
    for (const Parameter& p : parameters) {
        if (!out.empty())
            out += ", ";
        out += *p.name ? std::string(p.name) + " (" + TypeName(p.type) + ")" : TypeName(p.type);
    }
    return out;
}

// One member: a comment with what its envelope carries, then the method or
// signal with the envelope as its one string argument.
std::string member(const Message& m)
{
    std::string out =
        "  <!-- " + std::string(m.name) + ": parameters " + parameterList(m.parameters);
    if (m.kind == Kind::Call)
        out +=
            "; reply: result" + (m.reply.empty() ? std::string() : ", " + parameterList(m.reply));
    out += " -->\n";
    if (m.kind == Kind::Call)
        return out + "  <method name=\"" + m.name +
               "\">\n"
               "   <arg name=\"envelope\" type=\"s\" direction=\"in\"/>\n"
               "   <arg name=\"reply\" type=\"s\" direction=\"out\"/>\n"
               "  </method>\n";
    return out + "  <signal name=\"" + m.name +
           "\">\n   <arg name=\"envelope\" type=\"s\"/>\n  </signal>\n";
}

} // namespace

std::string InterfaceXml(const std::string& interface)
{
    std::string body;
    for (const Message& m : Messages())
        if (interface == Interface(m.side, m.kind))
            body += member(m);
    if (body.empty())
        return "";
    return " <interface name=\"" + interface + "\">\n" + body + " </interface>\n";
}

std::string DaemonIntrospection(Side side, const std::string& path)
{
    const std::string object = kObjectPath;
    if (path == object)
        return std::string(kDoctype) + "<node>\n" + kStandardInterfaces +
               InterfaceXml(Interface(side, Kind::Call)) +
               InterfaceXml(Interface(side, Kind::Notification)) + "</node>\n";
    // The nodes on the way, so that a tree walk from "/" finds the object.
    const std::string prefix = path == "/" ? "/" : path + "/";
    if (object.compare(0, prefix.size(), prefix) != 0)
        return "";
    const std::string rest = object.substr(prefix.size());
    return std::string(kDoctype) + "<node>\n" + kStandardInterfaces + " <node name=\"" +
           rest.substr(0, rest.find('/')) + "\"/>\n</node>\n";
}

} // namespace Catalogue
} // namespace IPCAPI
