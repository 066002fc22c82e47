#include "Commands.h"

#include "Output.h"
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

void RequestLine(const std::string& message, const std::string& detail)
{
    Output::Line("request: " + message + detail);
}

void SentLine(const std::string& message, int rc)
{
    if (rc != 0)
        throw Failure(message + " could not be sent (details in " + Session::LogFile() + ")");
    Output::Line("sent");
}

void ResultLine(Session& session, const std::string& message, int rc, int ret)
{
    if (rc != 0)
        throw Failure(message + " got no answer from the " + session.SideName() + " daemon (details in " +
                      Session::LogFile() + ")");
    Output::Line("result: " + std::to_string(ret));
}

std::vector<OptionSpec> WaitOptions(const std::string& answers)
{
    return {
        {"wait", "SECONDS", "wait up to SECONDS for " + answers + " and print them as they arrive"},
        {"expect", "N", "stop waiting once N answers arrived (implies --wait 10 when --wait is not given)"},
    };
}

WaitPlan PlanWait(Session& session, const ParsedArgs& args, std::set<std::string> kinds,
                  std::set<std::string> students, int defaultCount)
{
    WaitPlan plan;
    plan.wait = args.Has("wait") || args.Has("expect");
    if (!plan.wait)
        return plan;
    plan.seconds = args.Seconds("wait", 10, 3600);
    if (args.Has("expect")) {
        session.GetWaiter().Expect(std::move(kinds), {}, args.Int("expect", 0, 1, 100000));
    } else if (!students.empty()) {
        session.GetWaiter().Expect(std::move(kinds), std::move(students), 0);
    } else {
        session.GetWaiter().Expect(std::move(kinds), {}, defaultCount);
    }
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
    if (expected <= 0) {
        Output::Line("answers: " + std::to_string(got) + " within " + seconds(plan.seconds));
        return;
    }
    Output::Line("answers: " + std::to_string(got) + " of " + std::to_string(expected));
    if (got < expected && end == Session::WaitEnd::Interrupted)
        throw Failure("interrupted: only " + std::to_string(got) + " of " + std::to_string(expected) +
                      " answers arrived");
    if (got < expected)
        throw Failure("only " + std::to_string(got) + " of " + std::to_string(expected) + " answers arrived within " +
                      seconds(plan.seconds));
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

std::vector<OptionSpec> ListenOptions()
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
    session.GetWaiter().Expect({}, {}, count);
    Output::Line("listening: " + iface);
    const Session::WaitEnd end = session.Wait(timeout);
    session.Close();
    const int got = session.GetWaiter().Matched();
    Output::Line("notifications: " + std::to_string(got));
    if (end == Session::WaitEnd::Interrupted)
        return 0;  // the normal end of listening; main ends by the signal
    if (count > 0 && got < count)
        throw Failure("only " + std::to_string(got) + " of " + std::to_string(count) + " notifications arrived");
    return 0;
}

std::size_t ProgramCount(const std::string& programsXML)
{
    CSearchResultData result;
    if (programsXML.empty() || result.LoadFromString(programsXML) != 0 || !result.GetPApplicationInfoList())
        return 0;
    return result.GetPApplicationInfoList()->size();
}

std::vector<std::string> ProgramLines(const std::string& programsXML)
{
    std::vector<std::string> lines;
    CSearchResultData result;
    if (programsXML.empty() || result.LoadFromString(programsXML) != 0 || !result.GetPApplicationInfoList())
        return lines;
    for (const CApplicationInfo* app : *result.GetPApplicationInfoList())
        if (app)
            lines.push_back("program: " + Output::Quote(app->GetName()) + " " + Output::Word(app->GetPath()));
    return lines;
}

} // namespace tavctl
