#include "StudentSim.h"
#include "TAVProtocol.h"

#include "LockScheduleData.h"
#include "StudentInfoData.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"

#include <algorithm>
#include <sstream>

using IPCAPI::CIntfData;
using IPCAPI::kFalse;
using IPCAPI::kNoStudent;
using IPCAPI::kTrue;
namespace Msg = IPCAPI::Msg;
namespace Param = IPCAPI::Param;

namespace simdaemon {

StudentSim::StudentSim(DaemonPort& port, const SimOptions& options)
    : SimDaemon(port, options), m_locked(options.locked), m_teacher(options.connectedTeacher)
{}

void StudentSim::LockChanged(bool locked)
{
    m_locked = locked;
    CIntfData env(Msg::NOTIFYLOCKSTATUSCHANGED, 0, kNoStudent);
    env.m_ParaXml.setString(Param::bLock, locked ? kTrue : kFalse);
    Notify(env);
}

void StudentSim::TeacherState(const std::string& teacher, int state, int delayMs)
{
    CIntfData env(Msg::NOTIFYTEACHERSTATUSCHANGED, 0, kNoStudent);
    env.m_ParaXml.setString(Param::strTeacherID, teacher);
    env.m_ParaXml.setInt(Param::iState, state);
    Notify(env, delayMs);
}

void StudentSim::Changed(const char* note) { Notify(CIntfData(note, 0, kNoStudent)); }

bool StudentSim::Handle(Request& request, CIntfData& reply)
{
    const std::string& n = request.name;
    IPCAPI::CParaXml& in = request.data.m_ParaXml;
    std::string text, text2;
    int code = 0;
    // A document the daemon keeps: code 1 when it is missing or does not load.
    auto document = [&](LibTAVData::CTAVDataProvider&& data, const char* param, std::string& keep) {
        if (in.getString(param, text) && data.LoadFromString(text) >= 0) {
            keep = text;
            return true;
        }
        code = 1;
        return false;
    };

    if (n == Msg::STUDENT_SWITCHTONORMALOS) {
        Log("switch to the normal desktop requested");
    } else if (n == Msg::STUDENT_CANCELOPERATION) {
        int oid = 0;
        if (in.getInt(Param::OID, oid))
            Log("cancel op " + std::to_string(oid) + ": " + std::to_string(Cancel(oid)) +
                " notifications dropped");
        else
            code = 1;
    } else if (n == Msg::VERIFYUSERPASSWORD) {
        code = in.getString(Param::UserName, text) && in.getString(Param::Password, text2) ? 0 : 1;
    } else if (n == Msg::GETCONNECTEDTEACHER) {
        reply.m_ParaXml.setString(Param::strTeacherID, m_teacher);
    } else if (n == Msg::HARDWARECONTROL) {
        document(LibTAVData::CTAVSystemSettingData(), Param::strXML, m_settings);
    } else if (n == Msg::SAVESTUDENTINFO) {
        document(LibTAVData::CStudentInfoData(), Param::strXML, m_studentInfo);
    } else if (n == Msg::SAVELOCALSCHEDULEPOLICY) {
        if (document(LibTAVData::CLockScheduleData(), Param::strXML, m_schedulePolicy) &&
            ResultFor({n}, 0) == 0)
            Changed(Msg::NOTIFYSCHEDULEPOLICYCHANGED);
    } else if (n == Msg::SAVELOCALTABNAVPOLICY) {
        if (document(LibTAVData::CTabNavigationData(), Param::strXML, m_tabNavPolicy) &&
            ResultFor({n}, 0) == 0)
            Changed(Msg::NOTIFYTABNAVPOLICYCHANGED);
    } else if (n == Msg::DISCONNECTSTUDENT) {
        if (!m_teacher.empty() && ResultFor({n}, 0) == 0) {
            TeacherState(m_teacher, kDisconnected);
            m_teacher.clear();
        }
    } else if (n == Msg::MANUALUNLOCKLOCALSTUDENT) {
        if (ResultFor({n}, 0) == 0)
            LockChanged(false);
    } else if (n == Msg::MANUALLOCKLOCALSTUDENT) {
        LibTAVData::CLockScheduleData policy;
        if (in.getString(Param::lockPolicy, text) && policy.LoadFromString(text) >= 0) {
            if (ResultFor({n}, 0) == 0)
                LockChanged(true);
        } else {
            code = 1;
        }
    } else if (n == Msg::SEARCHLOCALPROGRAM) {
        std::string folder;
        in.getString(Param::targetFolder, folder);
        const tavtools::ProgramListing listing = ListForSearch(folder);
        const bool listed = listing.listed;
        const std::string& xml = listing.xml;
        const int count = listing.count;
        Log("search op " + std::to_string(request.opid) + ": " + std::to_string(count) +
            " programs in " + folder);
        // The answer comes one step later, so that the search can be cancelled.
        CIntfData env(Msg::SEARCHLOCALPROGRAMCALLBACK, request.opid, kNoStudent);
        env.SetResult(ResultFor({Msg::SEARCHLOCALPROGRAMCALLBACK, n}, listed ? 0 : 1));
        env.m_ParaXml.setString(Param::programsXML, listed ? xml : "");
        Notify(env, m_options.stepMs);
    } else if (n == Msg::SEARCHTEACHER) {
        CIntfData env(Msg::SEARCHTEACHERCALLBACK, request.opid, kNoStudent);
        env.SetResult(ResultFor({Msg::SEARCHTEACHERCALLBACK, n}, 0));
        std::list<std::string> teachers(m_options.teachers.begin(), m_options.teachers.end());
        env.m_ParaXml.setListPara(teachers);
        Notify(env, m_options.stepMs);
    } else if (n == Msg::CONNECTTEACHER) {
        const bool named = in.getString(Param::strTeacherID, text);
        const bool known = named && std::find(m_options.teachers.begin(), m_options.teachers.end(),
                                              text) != m_options.teachers.end();
        int result = ResultFor({Msg::CONNECTTEACHERCALLBACK, n}, 0);
        if (!known && result == 0)
            result = 1;
        CIntfData env(Msg::CONNECTTEACHERCALLBACK, request.opid, kNoStudent);
        env.SetResult(result);
        env.m_ParaXml.setString(Param::strTeacherID, text);
        env.m_ParaXml.setInt(Param::iReturn, result);
        Notify(env, m_options.stepMs);
        if (result == 0) {
            m_teacher = text;
            TeacherState(text, kConnected, m_options.stepMs); // after the answer
        }
    } else {
        return false;
    }
    reply.SetResult(ResultFor({n}, code));
    return true;
}

std::string StudentSim::CommandHelp() const
{
    return "state | lock | unlock | teacher-state N | tabnav-changed | schedule-changed | quit";
}

bool StudentSim::Command(const std::string& line, std::string& out)
{
    std::istringstream words(line);
    std::string cmd, arg, extra;
    words >> cmd >> arg >> extra;
    if (cmd == "state" && arg.empty()) {
        out = std::string(m_locked ? "locked" : "unlocked") + ", teacher " +
              (m_teacher.empty() ? "(none)" : m_teacher) + "\n";
        return true;
    }
    if ((cmd == "lock" || cmd == "unlock") && arg.empty()) {
        LockChanged(cmd == "lock");
        out = cmd + "ed\n";
        return true;
    }
    if (cmd == "teacher-state" && !arg.empty() && extra.empty()) {
        std::istringstream num(arg);
        int state = 0;
        if (!(num >> state) || !num.eof()) {
            out = "teacher-state needs a number\n";
            return false;
        }
        const std::string teacher = m_teacher.empty() ? m_options.teachers.front() : m_teacher;
        TeacherState(teacher, state);
        out = "teacher " + teacher + " state " + std::to_string(state) + "\n";
        return true;
    }
    if ((cmd == "tabnav-changed" || cmd == "schedule-changed") && arg.empty()) {
        Changed(cmd == "tabnav-changed" ? Msg::NOTIFYTABNAVPOLICYCHANGED
                                        : Msg::NOTIFYSCHEDULEPOLICYCHANGED);
        out = "sent\n";
        return true;
    }
    out = "unknown command '" + line + "'; commands: " + CommandHelp() + "\n";
    return false;
}

} // namespace simdaemon
