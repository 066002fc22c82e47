// The subcommands of both sides and what they share: the request, sent and
// result items, waiting for the notifications that answer a signal request,
// and checks of ids and texts.
#ifndef TAVCTL_COMMANDS_H
#define TAVCTL_COMMANDS_H

#include "CommandLine.h"
#include "Output.h"
#include "Session.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace LibTAVData {
class CSearchResultData;
}

namespace tavctl {

struct Document;

// "MESSAGE (how)", for the help of a command.
std::string Sends(const char* message, const char* how);

const std::vector<CommandDef>& TeacherCommands();
const std::vector<CommandDef>& StudentCommands();

// A request about to be sent: "request: <message><detail>"; in JSON a
// request object with fields and the document's summary.
void RequestLine(const std::string& message, bool blocking, const std::string& detail = "",
                 const JsonObject& fields = JsonObject(), const Document* document = nullptr);
// A signal request's send result: "sent" (the JSON object also carries
// fields), or Failure.
void SentLine(const std::string& message, int rc, const JsonObject& fields = JsonObject());
// A blocking request: Failure unless answered, else "result: <ret>" and the
// lines of its output parameters, or one result object with fields.
void ResultLine(Session& session, const std::string& message, int rc, int ret,
                const std::vector<std::string>& lines = {},
                const JsonObject& fields = JsonObject());

// A notification as the callback receives it: "notification: Callback(text)",
// or an object with the message, the callback and its arguments. The waiter
// is told of it (verdict: the result it carries, 0 for success).
void NotificationLine(Waiter* waiter, const std::string& message, const std::string& callback,
                      const std::string& student, const std::string& text,
                      const JsonObject& arguments, int verdict = 0);

// --wait and --expect for a request answered by notifications.
std::vector<OptionDef> WaitOptions(const std::string& answers);

// Waiting for the answers of one request: set up before it is sent.
struct WaitPlan {
    bool wait = false;
    double seconds = 0;
};
// Arms the session's waiter from --wait/--expect. The answers that count
// are the notifications named in kinds (all when empty): --expect of them
// when given, else one from each of students when they are known (not
// null), else defaultCount (0: a number not known, wait the whole time).
WaitPlan PlanWait(Session& session, const ParsedArgs& args, std::set<std::string> kinds,
                  const std::vector<std::string>* students, int defaultCount);
// Waits as planned, then closes the session (no notification after this)
// and prints the answers; Failure when expected answers are missing.
void FinishWait(Session& session, const WaitPlan& plan);

// A student id as the envelope can carry it (1 to 64 bytes of UTF-8).
void CheckStudentID(const std::string& id, const std::string& option);
// An int option that must be given.
int RequiredInt(const ParsedArgs& args, const std::string& name);
// "listen": notifications until interrupted, --count or --timeout. connect
// checks the bus and makes the API object, once the options are checked.
int Listen(Session& session, const ParsedArgs& args, const std::string& iface,
           const std::function<void()>& connect);
std::vector<OptionDef> ListenOptions();

// The programs of a programs document (search-result layout) as
// "program: NAME PATH" lines and as {"name", "path"} objects.
void ListPrograms(const LibTAVData::CSearchResultData& doc, std::vector<std::string>& lines,
                  std::vector<JsonObject>& objects);
// The same from its text; false when the text is no such document.
bool ReadPrograms(const std::string& programsXML, std::vector<std::string>& lines,
                  std::vector<JsonObject>& objects);
// A programs document as a notification shows it: the count of programs,
// "" for an empty text, or the size of a text that is no such document.
std::string ProgramsArgument(const std::string& programsXML);
// The callback arguments of a programs document: programsXML as received and
// programs (null when it is no programs document).
JsonObject ProgramsJson(const std::string& programsXML);

// " ids..." and the same as a JSON list.
std::string JoinIds(const std::vector<std::string>& ids);

} // namespace tavctl

#endif
