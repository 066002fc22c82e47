#include "Commands.h"

#include "Policies.h"
#include "SearchResultData.h"

#include <climits>
#include <sstream>

using namespace LibTAVData;

namespace tavctl {

namespace {

std::string seconds(double s)
{
    std::ostringstream os;
    os << s << " s";
    return os.str();
}

} // namespace

std::string Sends(const char* message, const char* how)
{
    return std::string(message) + " (" + how + ")";
}

void RequestLine(const std::string& message, bool blocking, const std::string& detail,
                 const JsonObject& fields, const Document* document)
{
    JsonObject o = Output::Object("request");
    o.Str("message", message).Bool("blocking", blocking).Merge(fields);
    if (document)
        o.Obj("document", document->json);
    Output::Emit({"request: " + message + detail}, o);
}

void SentLine(const std::string& message, int rc, const JsonObject& fields)
{
    if (rc != 0)
        throw Failure(message + " could not be sent (details in " + Session::LogFile() + ")");
    Output::Emit({"sent"}, Output::Object("sent").Str("message", message).Merge(fields));
}

void ResultLine(Session& session, const std::string& message, int rc, int ret,
                const std::vector<std::string>& lines, const JsonObject& fields)
{
    if (rc != 0)
        throw Failure(message + " got no answer from the " + session.SideName() +
                      " daemon (details in " + Session::LogFile() + ")");
    session.NoteResult(ret);
    std::vector<std::string> text = {"result: " + std::to_string(ret)};
    text.insert(text.end(), lines.begin(), lines.end());
    Output::Emit(text,
                 Output::Object("result").Str("message", message).Int("result", ret).Merge(fields));
}

void NotificationLine(Waiter* waiter, const std::string& message, const std::string& callback,
                      const std::string& student, const std::string& text,
                      const JsonObject& arguments, int verdict)
{
    Output::Emit({"notification: " + callback + "(" + text + ")"}, Output::Object("notification")
                                                                       .Str("message", message)
                                                                       .Str("callback", callback)
                                                                       .Merge(arguments));
    if (waiter)
        waiter->Note(callback, student, verdict);
}

std::vector<OptionDef> WaitOptions(const std::string& answers)
{
    return {
        {"wait", "SECONDS", "wait up to SECONDS for " + answers + " and print them as they arrive"},
        {"expect", "N",
         "stop waiting once N answers arrived (implies --wait 10 when --wait is not given)"},
    };
}

WaitPlan PlanWait(Session& session, const ParsedArgs& args, std::set<std::string> kinds,
                  const std::vector<std::string>* students, int defaultCount)
{
    WaitPlan plan;
    plan.wait = args.Has("wait") || args.Has("expect");
    if (!plan.wait)
        return plan;
    plan.seconds = args.Seconds("wait", 10, 3600);
    if (args.Has("expect"))
        session.GetWaiter().ExpectCount(std::move(kinds), args.Int("expect", 0, 1, 100000));
    else if (students)
        session.GetWaiter().ExpectStudents(
            std::move(kinds), std::set<std::string>(students->begin(), students->end()));
    else
        session.GetWaiter().ExpectCount(std::move(kinds), defaultCount);
    return plan;
}

void FinishWait(Session& session, const WaitPlan& plan)
{
    if (!plan.wait)
        return;
    const Session::WaitEnd end = session.Wait(plan.seconds);
    session.Close();
    Waiter& w = session.GetWaiter();
    const int got = w.Matched(), expected = w.Expected();
    JsonObject o = Output::Object("answers");
    o.Int("received", got);
    if (expected < 0) {
        Output::Emit({"answers: " + std::to_string(got) + " within " + seconds(plan.seconds)},
                     o.Null("expected").Num("seconds", plan.seconds));
        return;
    }
    Output::Emit({"answers: " + std::to_string(got) + " of " + std::to_string(expected)},
                 o.Int("expected", expected));
    if (got < expected && end == Session::WaitEnd::Interrupted)
        throw Failure("interrupted: only " + std::to_string(got) + " of " +
                      std::to_string(expected) + " answers arrived");
    if (got < expected)
        throw Failure("only " + std::to_string(got) + " of " + std::to_string(expected) +
                      " answers arrived within " + seconds(plan.seconds));
}

void CheckStudentID(const std::string& id, const std::string& option)
{
    if (id.empty())
        throw UsageError(option + " needs a student id");
    if (id.size() > 64)
        throw UsageError(option + " " + id + ": a student id has at most 64 bytes");
    CheckText(id, option);
}

int RequiredInt(const ParsedArgs& args, const std::string& name)
{
    return args.Int(name, 0, INT_MIN, INT_MAX);
}

std::vector<OptionDef> ListenOptions()
{
    return {
        {"count", "N", "end after N notifications"},
        {"timeout", "SECONDS", "end after SECONDS"},
    };
}

int Listen(Session& session, const ParsedArgs& args, const std::string& iface,
           const std::function<void()>& connect)
{
    const int count = args.Int("count", 0, 1, 1000000);
    const double timeout = args.Seconds("timeout", -1, 1e7);
    connect();
    session.GetWaiter().ExpectCount({}, count, false);
    Output::Emit({"listening: " + iface}, Output::Object("listening").Str("interface", iface));
    const Session::WaitEnd end = session.Wait(timeout);
    session.Close();
    const int got = session.GetWaiter().Matched();
    Output::Emit({"notifications: " + std::to_string(got)},
                 Output::Object("notifications").Int("count", got));
    if (end == Session::WaitEnd::Interrupted)
        return 0; // the normal end of listening; main ends by the signal
    if (count > 0 && got < count)
        throw Failure("only " + std::to_string(got) + " of " + std::to_string(count) +
                      " notifications arrived");
    return 0;
}

void ListPrograms(const CSearchResultData& doc, std::vector<std::string>& lines,
                  std::vector<JsonObject>& objects)
{
    if (!doc.GetPApplicationInfoList())
        return;
    for (const CApplicationInfo* app : *doc.GetPApplicationInfoList()) {
        if (!app)
            continue;
        lines.push_back("program: " + Output::Quote(app->GetName()) + " " +
                        Output::Word(app->GetPath()));
        objects.push_back(JsonObject().Str("name", app->GetName()).Str("path", app->GetPath()));
    }
}

bool ReadPrograms(const std::string& programsXML, std::vector<std::string>& lines,
                  std::vector<JsonObject>& objects)
{
    CSearchResultData result;
    if (programsXML.empty() || result.LoadFromString(programsXML) != 0 ||
        !result.GetPApplicationInfoList())
        return false;
    ListPrograms(result, lines, objects);
    return true;
}

std::string ProgramsArgument(const std::string& programsXML)
{
    if (programsXML.empty())
        return "\"\"";
    std::vector<std::string> lines;
    std::vector<JsonObject> objects;
    if (!ReadPrograms(programsXML, lines, objects))
        return std::to_string(programsXML.size()) + " bytes, no programs document";
    return std::to_string(lines.size()) + (lines.size() == 1 ? " program" : " programs");
}

JsonObject ProgramsJson(const std::string& programsXML)
{
    JsonObject o;
    o.Str("programsXML", programsXML);
    std::vector<std::string> lines;
    std::vector<JsonObject> objects;
    if (ReadPrograms(programsXML, lines, objects))
        o.Objs("programs", objects);
    else
        o.Null("programs");
    return o;
}

std::string JoinIds(const std::vector<std::string>& ids)
{
    std::string text;
    for (const std::string& id : ids)
        text += (text.empty() ? "" : " ") + Output::Word(id);
    return text;
}

} // namespace tavctl
