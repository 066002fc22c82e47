// The subcommands of both sides and what they share: the request and result
// lines, waiting for the notifications that answer a signal request, and
// checks of ids and texts.
#ifndef TAVCTL_COMMANDS_H
#define TAVCTL_COMMANDS_H

#include "CommandLine.h"
#include "Session.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tavctl {

const std::vector<CommandSpec>& TeacherCommands();
const std::vector<CommandSpec>& StudentCommands();

// "request: <message><detail>", printed before the request is sent.
void RequestLine(const std::string& message, const std::string& detail = "");
// A signal request's send result: "sent", or Failure.
void SentLine(const std::string& message, int rc);
// A blocking request: Failure unless answered, else "result: <ret>".
void ResultLine(Session& session, const std::string& message, int rc, int ret);

// --wait and --expect for a request answered by notifications.
std::vector<OptionSpec> WaitOptions(const std::string& answers);

// Waiting for the answers of one request: set up before it is sent.
struct WaitPlan {
    bool wait = false;
    double seconds = 0;
};
// Arms the session's waiter from --wait/--expect. The answers that count
// are the notifications named in kinds (all when empty): one from each of
// students when given, else --expect of them, else defaultCount (0: none
// in particular, wait the whole time).
WaitPlan PlanWait(Session& session, const ParsedArgs& args, std::set<std::string> kinds,
                  std::set<std::string> students, int defaultCount);
// Waits as planned, then closes the session (no notification after this)
// and prints "answers: ..."; Failure when expected answers are missing.
void FinishWait(Session& session, const WaitPlan& plan);

// A student id as the envelope can carry it (1 to 64 bytes of UTF-8).
void CheckStudentID(const std::string& id, const std::string& option);
// An int option that must be given.
int RequiredInt(const ParsedArgs& args, const std::string& name);
// "listen": notifications until interrupted, --count or --timeout. connect
// checks the bus and makes the API object, once the options are checked.
int Listen(Session& session, const ParsedArgs& args, const std::string& iface,
           const std::function<void()>& connect);
std::vector<OptionSpec> ListenOptions();

// Programs of a programs document (search-result layout): "program: ..."
// lines, or the count when the text is no such document.
std::vector<std::string> ProgramLines(const std::string& programsXML);
// The number of programs in a programs document (0 when none or unreadable).
std::size_t ProgramCount(const std::string& programsXML);

} // namespace tavctl

#endif
