// The catalogue of every message of the system: who sends it, how it
// travels, what its envelope carries and what answers it. The library
// builds its requests and dispatches its notifications by these entries,
// daemons answer the bus's introspection from them, and docs/protocol.md
// and the installed D-Bus interface descriptions are generated from them.
// The names themselves are in TAVProtocol.h.
#ifndef TAV_IPC_TAVCATALOGUE_H
#define TAV_IPC_TAVCATALOGUE_H

#include "TAVProtocol.h"

#include <string>
#include <vector>

namespace IPCAPI {
namespace Catalogue {

enum class Side { Student, Teacher };

enum class Kind {
    Call,        // blocking method call, application to its daemon; one reply
    Signal,      // request signal, application to its daemon; no reply
    Post,        // signal of an application to every application of its side
    Notification // signal of the daemon to every application of its side
};

enum class Type {
    String,     // "string" parameter
    Int,        // "int" parameter
    List,       // "listmember" entries, one per text
    StudentList // "list_student_info" records
};

struct Parameter {
    const char* name; // empty for the two list types
    Type type;
    const char* about;
};

struct Message {
    const char* name;
    Side side;
    Kind kind;
    // What the envelope's student-id field carries.
    const char* studentID;
    // The parameters in the order they are written.
    std::vector<Parameter> parameters;
    // Calls: what the reply envelope's result field means; notifications:
    // what their result field carries ("" when it is not read).
    const char* result;
    // Calls: the parameters of the reply envelope besides the result.
    std::vector<Parameter> reply;
    // Requests: the notifications a daemon answers with (per student on the
    // teacher side); a notification: the request that answers it.
    std::vector<const char*> answers;
    // The API operation that sends it, or the callback that receives it.
    const char* api;
    const char* about;
};

// Every message, student side first; requests before notifications.
const std::vector<Message>& Messages();
// The message of a side with this name, null when there is none. For
// "POSTMESSAGE" it is the posted message of that side.
const Message* Find(Side side, const std::string& name);

// The interface a message of this kind travels on.
const char* Interface(Side side, Kind kind);
// The bus name of the side's daemon.
const char* DaemonName(Side side);
// "string", "int", "list", "student records".
const char* TypeName(Type type);
// "student" or "teacher".
const char* SideName(Side side);

// The D-Bus interface description of one of the four interfaces
// (an <interface> element), "" for an unknown name.
std::string InterfaceXml(const std::string& interface);
// A whole introspection document for the side's daemon at path: the
// standard interfaces and both interfaces of the side at the object path,
// the child node on the way to it, "" for any other path.
std::string DaemonIntrospection(Side side, const std::string& path);

} // namespace Catalogue
} // namespace IPCAPI

#endif
