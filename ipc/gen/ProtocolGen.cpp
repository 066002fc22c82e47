// Writes what is generated from the message catalogue: docs/protocol.md
// for the people who write daemons, and the D-Bus description of each of
// the four interfaces.
//
//   tav-protocol-gen OUTDIR
#include "InputLimits.h"
#include "IntfData.h"
#include "TAVCatalogue.h"
#include "XmlGuard.h"

#include <cstdio>
#include <fstream>
#include <list>
#include <sstream>
#include <string>

using namespace IPCAPI;
using namespace IPCAPI::Catalogue;

namespace {

const char* kindText(Kind kind)
{
    switch (kind) {
    case Kind::Call:
        return "blocking call to the daemon";
    case Kind::Signal:
        return "signal to the daemon";
    case Kind::Post:
        return "signal to every application of the side";
    case Kind::Notification:
        return "signal from the daemon to every application of the side";
    }
    return "";
}

std::string parameterRows(const std::vector<Parameter>& parameters)
{
    std::string out = "| Parameter | Type | Carries |\n|---|---|---|\n";
    for (const Parameter& p : parameters)
        out += std::string("| ") +
               (*p.name ? "`" + std::string(p.name) + "`" : std::string("(entries)")) + " | " +
               TypeName(p.type) + " | " + p.about + " |\n";
    return out;
}

// Sample values by type, so that every example envelope is what the
// library writes.
void fill(CParaXml& doc, const std::vector<Parameter>& parameters)
{
    for (const Parameter& p : parameters) {
        if (p.type == Type::String) {
            doc.setString(p.name, "text");
        } else if (p.type == Type::Int) {
            doc.setInt(p.name, 1);
        } else if (p.type == Type::List) {
            std::list<std::string> ids{"S1", "S2"};
            doc.setListPara(ids);
        } else {
            tagStudent_t s;
            s.studentID = "S1";
            s.username = "student1";
            s.hostname = "pc-01";
            s.IP = "10.0.0.11";
            s.start_time = 1700000000;
            s.bLocked = 0;
            s.status = 1;
            std::list<tagStudent_t> one{s};
            doc.setStudentInfoList(one);
        }
    }
}

std::string example(const Message& m, const std::vector<Parameter>& parameters, int result)
{
    const std::string student = std::string(m.studentID) == "the student's id" ? "S1"
                                : std::string(m.studentID) == "empty"          ? ""
                                                                               : kNoStudent;
    CIntfData data(m.name, 7, student);
    data.SetResult(result);
    fill(data.m_ParaXml, parameters);
    std::string text;
    data.toString(text);
    return "```\n" + text + "\n```\n";
}

std::string joined(const std::vector<const char*>& names)
{
    std::string out;
    for (const char* n : names)
        out += (out.empty() ? "" : ", ") + std::string("`") + n + "`";
    return out;
}

std::string section(const Message& m)
{
    std::ostringstream out;
    out << "#### `" << m.name << "`\n\n" << m.about << "\n\n";
    out << "- Travels as: " << kindText(m.kind) << ", interface `" << Interface(m.side, m.kind)
        << "`";
    if (m.kind == Kind::Call)
        out << ", destination `" << DaemonName(m.side) << "`";
    out << "\n- Student id field: " << m.studentID << "\n- API: `" << m.api << "`\n";
    if (m.kind == Kind::Call)
        out << "- Reply: an envelope that repeats the operation id; result field: " << m.result
            << "\n";
    else if (*m.result)
        out << "- Result field: " << m.result << "\n";
    if (!m.answers.empty())
        out << (m.kind == Kind::Notification ? "- Answers: " : "- Answered with: ")
            << joined(m.answers) << "\n";
    out << "\n";
    if (!m.parameters.empty())
        out << parameterRows(m.parameters) << "\n";
    else
        out << "No parameters.\n\n";
    out << "Example:\n\n" << example(m, m.parameters, 0) << "\n";
    if (m.kind == Kind::Call) {
        if (!m.reply.empty())
            out << "Reply parameters:\n\n" << parameterRows(m.reply) << "\n";
        out << "Example reply:\n\n" << example(m, m.reply, 0) << "\n";
    }
    return out.str();
}

std::string markdown()
{
    std::ostringstream out;
    out << "# The request and notification protocol\n\n"
           "<!-- Generated from the message catalogue (ipc/src/Catalogue.cpp) by "
           "tav-protocol-gen;\n"
           "     edit the catalogue, then run `cmake --build build --target update-protocol-doc`. "
           "-->\n\n"
           "For the people who write a daemon, or a program that talks to one\n"
           "without the library. The names are in the installed header\n"
           "`TAVProtocol.h`, the descriptions below in `TAVCatalogue.h`, and the\n"
           "D-Bus description of each interface is installed as\n"
           "`<datadir>/dbus-1/interfaces/<interface>.xml`.\n\n";

    out << "## The bus\n\n"
           "Every message, signal or method call, uses the object path\n`"
        << kObjectPath
        << "` and carries exactly one argument of type string:\nthe envelope text below. A reply "
           "carries one string too, the reply envelope. The\n"
           "member name is the message name.\n\n"
           "| Role | Owns | Listens to (match rule) | Sends on |\n|---|---|---|---|\n"
           "| teacher application | `"
        << kTeacherAppName << "` | `" << kTeacherAppMatch << "` | `" << kTeacherAppIface
        << "` (requests), `" << kTeacherDaemonIface << "` (posts) |\n| student application | `"
        << kStudentAppName << "` | `" << kStudentAppMatch << "` | `" << kStudentAppIface
        << "` (requests), `" << kStudentDaemonIface << "` (posts) |\n| teacher daemon | `"
        << kTeacherDaemonName << "` | `" << kTeacherDaemonMatch << "` | `" << kTeacherDaemonIface
        << "` |\n| student daemon | `" << kStudentDaemonName << "` | `" << kStudentDaemonMatch
        << "` | `" << kStudentDaemonIface
        << "` |\n\n"
           "An application sends a request either as a signal on its interface\n"
           "(no answer, or answers later as notifications) or as a blocking method\n"
           "call to its daemon's name on the same interface; the daemon answers a\n"
           "call once, with an envelope that repeats the operation id, before it\n"
           "takes its next request. Notifications are signals on the daemon's\n"
           "interface. An application talks only to the daemon of its side.\n\n"
           "The daemon library answers by itself, inside `ReceiveMsg`, what the\n"
           "bus asks of any object: `org.freedesktop.DBus.Introspectable.Introspect`\n"
           "(this catalogue as D-Bus XML) and `org.freedesktop.DBus.Peer` (`Ping`,\n"
           "`GetMachineId`). A method call it cannot hand to the host gets an\n"
           "error at once and a log line: `org.freedesktop.DBus.Error.UnknownMethod`\n"
           "for another interface, `org.freedesktop.DBus.Error.InvalidArgs` for a\n"
           "call on the request interface without one string argument or with an\n"
           "envelope over the size limit. Every other member name on the request\n"
           "interface reaches the host, which answers names it does not know with\n"
           "a failure result.\n\n";

    out << "## The envelope\n\n"
           "A fixed-width header of 148 characters, padded with spaces, then the\n"
           "parameter document:\n\n"
           "| Offset | Width | Field |\n|---|---|---|\n"
           "| 0 | 64 | message name, left-aligned |\n"
           "| 64 | 10 | operation id in decimal, left-aligned |\n"
           "| 74 | 64 | student id, left-aligned (`null` when the message concerns no student) |\n"
           "| 138 | 10 | result in decimal, left-aligned |\n"
           "| 148 | to the end | the parameter document, or nothing |\n\n"
           "A field wider than its column is not written (the envelope would not\n"
           "read back). Reading drops the trailing spaces of the name and the\n"
           "student id; a text shorter than 148 characters is no envelope.\n"
           "Operation ids run from 1 to 65535 and wrap to 1; an answer repeats the\n"
           "id of its request.\n\n"
           "### The parameter document\n\n"
           "```\n"
           "document   = '<?xml version=\"1.0\" ?>' '<Parameters>' parameter* '</Parameters>'\n"
           "parameter  = '<Parameter name=\"' NAME '\" type=\"' ('string' | 'int') '\" value=\"' "
           "VALUE '\" />'\n"
           "           | '<Parameter name=\"listmember\" type=\"string\" value=\"' TEXT '\" />'\n"
           "           | '<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" "
           "value=\"\">'\n"
           "               member{7} '</Parameter>'\n"
           "member     = '<Member name=\"' FIELD '\" type=\"' ('string' | 'int') '\" value=\"' "
           "VALUE '\" />'\n"
           "FIELD      = studentID | username | hostname | IP   (string)\n"
           "           | bLocked | start_time | status          (int), in this order\n"
           "```\n\n"
           "No whitespace between nodes; attributes in the order name, type, value.\n"
           "A reader takes the first parameter with the name and type it looks for,\n"
           "under the first element whatever its name; an int reads its leading\n"
           "decimal digits. Booleans are the texts `"
        << kTrue << "` and `" << kFalse << "`; only the exact\n`" << kTrue
        << "` is true.\n\n"
           "Escaping in attribute values: `&amp;`, `&lt;`, `&gt;`, `&quot;`,\n"
           "`&apos;`, and characters below 32 as `&#xHH;` (two upper-case hex\n"
           "digits); a value whose text holds a double quote is enclosed in single\n"
           "quotes. Text is UTF-8.\n\n"
           "### Limits\n\n"
           "A receiver refuses, unparsed and with a log line: an envelope over "
        << tav_common::kMaxDocumentBytes
        << " bytes (4 MiB), a\ndocument that would build more than " << tav_common::kMaxXmlNodes
        << " nodes (elements, attributes,\ntext runs and other markup alike), nested deeper than "
        << tav_common::kMaxXmlNesting << " levels, with more\nthan "
        << tav_common::kMaxXmlAttributes
        << " attributes in one tag, or with broken UTF-8 next to markup. A bus\n"
           "message over 4 MiB and 64 KiB is refused by the bus library from its\n"
           "header. A search answer of 1000 programs is about 240 KiB.\n\n";

    for (Side side : {Side::Student, Side::Teacher}) {
        const std::string name = SideName(side);
        out << "## The " << name << " side\n\n### Requests of the " << name << " application\n\n";
        for (const Message& m : Messages())
            if (m.side == side && m.kind != Kind::Notification)
                out << section(m);
        out << "### Notifications of the " << name << " daemon\n\n"
            << "Posted messages (`" << Msg::POSTMESSAGE
            << "`) reach the applications the same way.\n\n";
        for (const Message& m : Messages())
            if (m.side == side && m.kind == Kind::Notification)
                out << section(m);
    }
    return out.str();
}

bool write(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    f.close();
    if (!f) {
        std::fprintf(stderr, "tav-protocol-gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tav-protocol-gen OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = write(dir + "/protocol.md", markdown());
    for (const char* iface :
         {kStudentAppIface, kStudentDaemonIface, kTeacherAppIface, kTeacherDaemonIface})
        ok =
            write(
                dir + "/" + iface + ".xml",
                "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n" +
                    InterfaceXml(iface) + "</node>\n") &&
            ok;
    return ok ? 0 : 1;
}
