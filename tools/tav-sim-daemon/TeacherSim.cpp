#include "TeacherSim.h"
#include "TAVProtocol.h"

#include "LockScheduleData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"

#include <ctime>
#include <sstream>

using IPCAPI::CIntfData;
using IPCAPI::kFalse;
using IPCAPI::kNoStudent;
using IPCAPI::kTrue;
using IPCAPI::tagStudent_t;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

namespace simdaemon {

namespace {
// Students one request may address; more are ignored (and logged).
constexpr std::size_t kMaxTargets = 1000;
} // namespace

TeacherSim::TeacherSim(DaemonPort& port, const SimOptions& options)
    : SimDaemon(port, options), m_class(options.students.begin(), options.students.end())
{
    LibTAVData::CLockScheduleData policy;
    policy.Save2String(m_defaultPolicy);
    const int now = static_cast<int>(std::time(nullptr));
    for (tagStudent_t& s : m_class) {
        s.start_time = now;
        m_lockPolicy[s.studentID] = m_defaultPolicy;
    }
}

tagStudent_t* TeacherSim::Find(const std::string& id)
{
    for (tagStudent_t& s : m_class)
        if (s.studentID == id)
            return &s;
    return nullptr;
}

std::vector<std::string> TeacherSim::Targets(Request& request, bool listForm)
{
    std::vector<std::string> ids;
    if (listForm) {
        std::list<std::string> listed;
        request.data.m_ParaXml.getListPara(listed);
        ids.assign(listed.begin(), listed.end());
    } else if (request.studentID.empty() || request.studentID == kNoStudent) {
        for (const tagStudent_t& s : m_class)
            ids.push_back(s.studentID);
    } else {
        ids.push_back(request.studentID);
    }
    if (ids.size() > kMaxTargets) {
        LogError("request " + request.name + " addresses " + std::to_string(ids.size()) +
                 " students; only the first " + std::to_string(kMaxTargets) + " are answered");
        ids.resize(kMaxTargets);
    }
    return ids;
}

template <class Succeed>
void TeacherSim::PerStudent(Request& request, const std::vector<std::string>& ids,
                            const std::string& note, bool boolean, Succeed succeed,
                            int firstDelayMs)
{
    int delay = firstDelayMs;
    for (const std::string& id : ids) {
        tagStudent_t* s = Find(id);
        int code = ResultFor({note, request.name}, 0);
        if (!s || s->status != kOnline) {
            // Unknown or offline students cannot act on it.
            if (code == 0)
                code = 1;
        } else if (code == 0 && !succeed(*s, delay)) {
            code = 1;
        }
        CIntfData env(note, request.opid, id);
        env.SetResult(code);
        if (boolean)
            env.m_ParaXml.setString(Param::bSuccess, code == 0 ? kTrue : kFalse);
        else
            env.m_ParaXml.setInt(Param::iReturn, code);
        Notify(env, delay);
        delay += m_options.stepMs;
    }
}

void TeacherSim::StatusChanged(const std::string& id, int status, int delayMs)
{
    CIntfData env(Msg::TEACHER_NOTIFYSTUDENTSTATUSCHANGED, 0, id);
    env.m_ParaXml.setInt(Param::iStatus, status);
    Notify(env, delayMs);
}

void TeacherSim::Search(Request& request)
{
    std::string folder;
    request.data.m_ParaXml.getString(Param::targetFolder, folder);
    const tavtools::ProgramListing listing = ListForSearch(folder);
    const bool listed = listing.listed;
    const std::string& xml = listing.xml;
    const int count = listing.count;
    if (listed)
        Log("search op " + std::to_string(request.opid) + ": " + std::to_string(count) +
            " programs in " + folder);
    else
        LogError("search: folder " + folder + " cannot be read either; every student answers 1");
    // The answers come one step apart, the first after one step, so that the
    // search runs long enough to be cancelled.
    int delay = m_options.stepMs;
    for (const std::string& id : Targets(request, false)) {
        tagStudent_t* s = Find(id);
        int code = ResultFor({Msg::TEACHER_SEARCHPROGRAMCALLBACK, request.name}, 0);
        if ((!s || s->status != kOnline || !listed) && code == 0)
            code = 1;
        CIntfData env(Msg::TEACHER_SEARCHPROGRAMCALLBACK, request.opid, id);
        env.SetResult(code);
        if (code == 0)
            env.m_ParaXml.setString(Param::programsXML, xml);
        Notify(env, delay);
        delay += m_options.stepMs;
    }
}

bool TeacherSim::Handle(Request& request, CIntfData& reply)
{
    const std::string& n = request.name;
    IPCAPI::CParaXml& in = request.data.m_ParaXml;
    std::string text, text2;
    int code = 0;
    auto present = [&](const char* name) { return in.getString(name, text); };

    if (n == Msg::TEACHER_UPDATETEACHERINFO) {
        LibTAVData::CTeacherInfoData info;
        const bool ok = present(Param::teacherInfoXML) && info.LoadFromString(text) >= 0;
        if (ok)
            m_teacherInfo = text;
        code = ok ? 0 : 1;
    } else if (n == Msg::TEACHER_STARTCONTROLLER || n == Msg::TEACHER_STOPCONTROLLER) {
        m_controllerRunning = n == Msg::TEACHER_STARTCONTROLLER;
    } else if (n == Msg::TEACHER_CANCELOPERATION) {
        int oid = 0;
        if (in.getInt(Param::OID, oid))
            Log("cancel op " + std::to_string(oid) + ": " + std::to_string(Cancel(oid)) +
                " notifications dropped");
        else
            code = 1;
    } else if (n == Msg::TEACHER_GETSTUDENTLIST) {
        std::list<tagStudent_t> all(m_class.begin(), m_class.end());
        reply.m_ParaXml.setStudentInfoList(all);
    } else if (n == Msg::TEACHER_GETSTUDENTSTATUS) {
        if (tagStudent_t* s = Find(request.studentID)) {
            std::list<tagStudent_t> one{*s};
            reply.m_ParaXml.setStudentInfoList(one);
        } else {
            code = 1;
        }
    } else if (n == Msg::TEACHER_GETSTUDENTLOCKPOLICY) {
        if (Find(request.studentID))
            reply.m_ParaXml.setString(Param::lockPolicy, m_lockPolicy[request.studentID]);
        else
            code = 1;
    } else if (n == Msg::TEACHER_CHANGEPASSWORD) {
        code = in.getString(Param::OldPassword, text) && in.getString(Param::NewPassword, text2)
                   ? 0
                   : 1;
    } else if (n == Msg::TEACHER_IMPORTCERTIFICATE) {
        code = present(Param::Path) ? 0 : 1;
    } else if (n == Msg::TEACHER_VERIFYPASSWORD) {
        code = in.getString(Param::Password, text) && in.getString(Param::path, text2) ? 0 : 1;
    } else if (n == Msg::TEACHER_VERIFYCERTIFICATE) {
        code = present(Param::path) ? 0 : 1;
    } else if (n == Msg::TEACHER_SEARCHPROGRAM) {
        Search(request);
    } else if (n == Msg::TEACHER_DEPLOYTABNAVPOLICY || n == Msg::TEACHER_DEPLOYTABNAVPOLICYLIST) {
        LibTAVData::CTabNavigationData policy;
        const bool ok = present(Param::tabNavPolicyXML) && policy.LoadFromString(text) >= 0;
        PerStudent(request, Targets(request, n == Msg::TEACHER_DEPLOYTABNAVPOLICYLIST),
                   Msg::TEACHER_DEPLOYTABNAVPOLICYCALLBACK, true,
                   [ok](tagStudent_t&, int) { return ok; });
    } else if (n == Msg::TEACHER_DEPLOYSCHEDULEPOLICY ||
               n == Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST) {
        LibTAVData::CLockScheduleData policy;
        const bool ok = present(Param::schedulePolicyXML) && policy.LoadFromString(text) >= 0;
        PerStudent(request, Targets(request, n == Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST),
                   Msg::TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK, true, [&](tagStudent_t& s, int) {
                       if (ok)
                           m_lockPolicy[s.studentID] = text;
                       return ok;
                   });
    } else if (n == Msg::TEACHER_KICKOFFSTUDENT) {
        std::vector<std::pair<std::string, int>> gone;
        PerStudent(request, Targets(request, false), Msg::TEACHER_KICKOFFSTUDENTCALLBACK, false,
                   [&gone](tagStudent_t& s, int delay) {
                       s.status = kOffline;
                       gone.emplace_back(s.studentID, delay);
                       return true;
                   });
        // Each status change follows its student's answer.
        for (const auto& g : gone)
            StatusChanged(g.first, kOffline, g.second);
    } else if (n == Msg::TEACHER_MANUALLOCKREMOTESTUDENT) {
        LibTAVData::CLockScheduleData policy;
        const bool stored = present(Param::lockPolicy) && policy.LoadFromString(text) >= 0;
        PerStudent(request, Targets(request, false), Msg::TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK,
                   false, [&](tagStudent_t& s, int) {
                       s.bLocked = 1;
                       if (stored)
                           m_lockPolicy[s.studentID] = text;
                       return true;
                   });
    } else if (n == Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN) {
        PerStudent(request, Targets(request, false), Msg::TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK,
                   false, [](tagStudent_t& s, int) {
                       s.bLocked = 0;
                       return true;
                   });
    } else if (n == Msg::TEACHER_CONTROLNEWSTUDENTCONNECT) {
        const bool allow = in.getString(Param::allow, text) && text == kTrue;
        auto it = m_waiting.begin();
        while (it != m_waiting.end() && it->studentID != request.studentID)
            ++it;
        if (it == m_waiting.end()) {
            Log("student '" + request.studentID + "' is not waiting to join");
            code = 1;
        } else {
            tagStudent_t joining = *it;
            m_waiting.erase(it);
            if (allow) {
                joining.status = kOnline;
                m_class.push_back(joining);
                m_lockPolicy[joining.studentID] = m_defaultPolicy;
                StatusChanged(joining.studentID, kOnline);
            }
            Log("student " + joining.studentID + (allow ? " joins the class" : " is turned away"));
        }
    } else {
        return false;
    }
    reply.SetResult(ResultFor({n}, code));
    return true;
}

std::string TeacherSim::CommandHelp() const
{
    return "list | new-student ID [USER [HOST [IP]]] | status ID N | quit";
}

bool TeacherSim::Command(const std::string& line, std::string& out)
{
    std::istringstream words(line);
    std::string cmd;
    words >> cmd;
    std::vector<std::string> args;
    for (std::string w; words >> w;)
        args.push_back(w);
    if (cmd == "list" && args.empty()) {
        std::ostringstream os;
        for (const tagStudent_t& s : m_class)
            os << s.studentID << " " << s.username << " " << s.hostname << " " << s.IP << " status "
               << s.status << (s.bLocked ? " locked" : "") << "\n";
        for (const tagStudent_t& s : m_waiting)
            os << s.studentID << " " << s.username << " " << s.hostname << " " << s.IP
               << " waiting to join\n";
        out = os.str();
        return true;
    }
    if (cmd == "new-student" && !args.empty() && args.size() <= 4) {
        for (const tagStudent_t& w : m_waiting)
            if (w.studentID == args[0]) {
                out = "student " + args[0] + " is waiting to join already\n";
                return false;
            }
        if (Find(args[0])) {
            out = "student " + args[0] + " is in the class already\n";
            return false;
        }
        SimOptions one;
        std::string error, row = args[0];
        for (std::size_t i = 1; i < args.size(); ++i)
            row += "," + args[i];
        bool help = false;
        if (!ParseOptions({"teacher", "--student", row}, one, error, help)) {
            out = error + "\n";
            return false;
        }
        tagStudent_t s =
            MakeStudent(static_cast<int>(m_class.size() + m_waiting.size()) + 1, args[0],
                        args.size() > 1 ? args[1] : "", args.size() > 2 ? args[2] : "",
                        args.size() > 3 ? args[3] : "");
        s.start_time = static_cast<int>(std::time(nullptr));
        s.status = kOffline;
        m_waiting.push_back(s);
        CIntfData env(Msg::TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK, 0, s.studentID);
        std::list<tagStudent_t> one_record{s};
        env.m_ParaXml.setStudentInfoList(one_record);
        Notify(env);
        out = "announced " + s.studentID + "; it joins when an application allows it\n";
        return true;
    }
    if (cmd == "status" && args.size() == 2) {
        tagStudent_t* s = Find(args[0]);
        int status = 0;
        std::istringstream num(args[1]);
        if (!s || !(num >> status) || !num.eof()) {
            out = !s ? "no student " + args[0] + "\n" : "status needs a number\n";
            return false;
        }
        s->status = status;
        StatusChanged(s->studentID, status);
        out = "status of " + s->studentID + " is " + std::to_string(status) + "\n";
        return true;
    }
    out = "unknown command '" + line + "'; commands: " + CommandHelp() + "\n";
    return false;
}

} // namespace simdaemon
