#include "TAVCatalogue.h"

#include <cstring>

namespace IPCAPI {
namespace Catalogue {

namespace {

using K = Kind;
using T = Type;
constexpr Side S = Side::Student;
constexpr Side Te = Side::Teacher;

const char* const kNull = "\"null\"";
const char* const kTarget = "the student's id";
const char* const kVerdict = "the daemon's verdict (0 done)";

// Student ids as list entries (the list forms of the teacher requests).
const Parameter kStudentIds{"", T::List, "the students' ids, one entry each"};

std::vector<Message> build()
{
    using namespace Msg;
    namespace P = Param;
    const Parameter message{P::Message, T::String, "the text"};
    const Parameter messageId{P::MessageID, T::Int, "a number the applications agree on"};
    const Parameter folder{P::targetFolder, T::String, "folder to search for programs"};
    const Parameter teacherId{P::strTeacherID, T::String, "the teacher's id"};
    const Parameter oid{P::OID, T::Int, "operation id of the request to cancel"};
    const Parameter lockPolicy{P::lockPolicy, T::String, "lock-schedule document"};
    const Parameter iReturn{P::iReturn, T::Int, "the outcome (0 done)"};
    const Parameter programs{P::programsXML, T::String,
                             "programs document in the search-result layout"};
    const Parameter success{P::bSuccess, T::String, "\"TRUE\" when the policy was applied"};

    // One row a message, in the columns of Message: kept as a table.
    // clang-format off
    return {
        // Student application.
        {POSTMESSAGE, S, K::Post, kNull, {messageId, message}, "", {}, {},
         "IPCStudentAPI::PostMessage(id, text); received as IIPCStudentAPICallback::OnMessage(id, text)",
         "A message to every student application; the daemon does not receive it."},
        {SEARCHLOCALPROGRAM, S, K::Signal, kNull, {folder}, "", {}, {SEARCHLOCALPROGRAMCALLBACK},
         "IPCStudentAPI::SearchLocalProgram(targetFolder, opid)",
         "Searches a folder of this machine for programs; the operation id lets CancelOperation stop it."},
        {SEARCHTEACHER, S, K::Signal, kNull, {}, "", {}, {SEARCHTEACHERCALLBACK}, "IPCStudentAPI::SearchTeacher()",
         "Looks for the teachers that can be joined."},
        {CONNECTTEACHER, S, K::Signal, kNull, {teacherId}, "", {}, {CONNECTTEACHERCALLBACK, NOTIFYTEACHERSTATUSCHANGED},
         "IPCStudentAPI::ConnectTeacher(teacherID)", "Joins the class of a teacher."},
        {STUDENT_SWITCHTONORMALOS, S, K::Call, kNull, {}, kVerdict, {}, {}, "IPCStudentAPI::SwitchToNormalOS(ret)",
         "Leaves the locked-down shell for the normal desktop."},
        {STUDENT_CANCELOPERATION, S, K::Call, kNull, {oid}, kVerdict, {}, {},
         "IPCStudentAPI::CancelOperation(oid, ret)", "Stops a running search; its answers are not sent."},
        {VERIFYUSERPASSWORD, S, K::Call, kNull,
         {{P::UserName, T::String, "the user name"}, {P::Password, T::String, "the password (never logged)"}},
         kVerdict, {}, {}, "IPCStudentAPI::VerifyUserPassword(userName, password, ret)",
         "Checks a user's password."},
        {GETCONNECTEDTEACHER, S, K::Call, kNull, {}, kVerdict, {teacherId}, {},
         "IPCStudentAPI::GetConnectedTeacher(teacherID, ret)", "The teacher this machine is connected to."},
        {HARDWARECONTROL, S, K::Call, kNull, {{P::strXML, T::String, "system-settings document"}}, kVerdict, {}, {},
         "IPCStudentAPI::HardWareControl(xml, ret)", "Applies the system switches (USB storage)."},
        {SAVESTUDENTINFO, S, K::Call, kNull, {{P::strXML, T::String, "student-information document"}}, kVerdict,
         {}, {}, "IPCStudentAPI::SaveStudentInfo(xml, ret)", "Stores the student information."},
        {SAVELOCALSCHEDULEPOLICY, S, K::Call, kNull, {{P::strXML, T::String, "lock-schedule document"}}, kVerdict,
         {}, {NOTIFYSCHEDULEPOLICYCHANGED}, "IPCStudentAPI::SaveLocalSchedulePolicy(xml, ret)",
         "Replaces this machine's lock schedule."},
        {SAVELOCALTABNAVPOLICY, S, K::Call, kNull, {{P::strXML, T::String, "tab-navigation document"}}, kVerdict,
         {}, {NOTIFYTABNAVPOLICYCHANGED}, "IPCStudentAPI::SaveLocalTabNavPolicy(xml, ret)",
         "Replaces this machine's launcher tabs and programs."},
        {DISCONNECTSTUDENT, S, K::Call, kNull, {}, kVerdict, {}, {NOTIFYTEACHERSTATUSCHANGED},
         "IPCStudentAPI::DisconnectStudent(ret)", "Leaves the teacher's class."},
        {MANUALUNLOCKLOCALSTUDENT, S, K::Call, kNull, {}, kVerdict, {}, {NOTIFYLOCKSTATUSCHANGED},
         "IPCStudentAPI::ManualUnLockLocalStudent(ret)",
         "Unlocks this machine. Privileged: a daemon authorises it by the sender's uid on the bus."},
        {MANUALLOCKLOCALSTUDENT, S, K::Call, kNull, {lockPolicy}, kVerdict, {}, {NOTIFYLOCKSTATUSCHANGED},
         "IPCStudentAPI::ManualLockLocalStudent(lockPolicy, ret)", "Locks this machine."},

        // Student daemon.
        {CONNECTTEACHERCALLBACK, S, K::Notification, kNull, {teacherId, iReturn}, "", {}, {CONNECTTEACHER},
         "IIPCStudentAPICallback::ConnectTeacherCallBack(teacherID, result)", "The answer to CONNECTTEACHER."},
        {SEARCHTEACHERCALLBACK, S, K::Notification, kNull, {{"", T::List, "the teachers' ids, one entry each"}},
         "", {}, {SEARCHTEACHER}, "IIPCStudentAPICallback::SearchTeacherCallBack(teachers)",
         "The answer to SEARCHTEACHER."},
        {NOTIFYLOCKSTATUSCHANGED, S, K::Notification, kNull,
         {{P::bLock, T::String, "\"TRUE\" locked, anything else unlocked"}}, "", {}, {},
         "IIPCStudentAPICallback::NotifyLockStatusChanged(locked)", "The machine was locked or unlocked."},
        {NOTIFYTABNAVPOLICYCHANGED, S, K::Notification, kNull, {}, "", {}, {},
         "IIPCStudentAPICallback::NotifyTabNavPolicyChanged()", "The tab-navigation policy was replaced."},
        {NOTIFYSCHEDULEPOLICYCHANGED, S, K::Notification, kNull, {}, "", {}, {},
         "IIPCStudentAPICallback::NotifySchedulePolicyChanged()", "The lock-schedule policy was replaced."},
        {NOTIFYTEACHERSTATUSCHANGED, S, K::Notification, kNull,
         {teacherId, {P::iState, T::Int, "the teacher's state, as the daemon sets it"}}, "", {}, {},
         "IIPCStudentAPICallback::NotifyTeacherStatusChanged(teacherID, state)",
         "The connected teacher's state changed."},
        {SEARCHLOCALPROGRAMCALLBACK, S, K::Notification, kNull, {programs}, "", {}, {SEARCHLOCALPROGRAM},
         "IIPCStudentAPICallback::SearchLocalProgramCallBack(programsXML)", "The answer to SEARCHLOCALPROGRAM."},

        // Teacher application.
        {TEACHER_UPDATETEACHERINFO, Te, K::Call, kNull,
         {{P::teacherInfoXML, T::String, "teacher-information document"}}, kVerdict, {}, {},
         "IPCTeacherAPI::UpdateTeacherInfo(teacherInfoXML, ret)", "Stores the teacher information."},
        {TEACHER_STARTCONTROLLER, Te, K::Call, kNull, {}, kVerdict, {}, {}, "IPCTeacherAPI::StartController(ret)",
         "Starts managing the class."},
        {TEACHER_STOPCONTROLLER, Te, K::Call, kNull, {}, kVerdict, {}, {}, "IPCTeacherAPI::StopController(ret)",
         "Stops managing the class."},
        {TEACHER_CANCELOPERATION, Te, K::Call, kNull, {oid}, kVerdict, {}, {},
         "IPCTeacherAPI::CancelOperation(oid, ret)", "Stops a running search; its remaining answers are not sent."},
        {TEACHER_GETSTUDENTLIST, Te, K::Call, kNull, {}, kVerdict,
         {{"", T::StudentList, "every student of the class"}}, {}, "IPCTeacherAPI::GetStudentList(students, ret)",
         "The students of the class."},
        {TEACHER_GETSTUDENTSTATUS, Te, K::Call, kTarget, {}, kVerdict,
         {{"", T::StudentList, "the student (the first record counts)"}}, {},
         "IPCTeacherAPI::GetStudentStatus(studentID, student, ret)", "One student's record."},
        {TEACHER_GETSTUDENTLOCKPOLICY, Te, K::Call, kTarget, {}, kVerdict, {lockPolicy}, {},
         "IPCTeacherAPI::GetStudentLockPolicy(studentID, policy, ret)", "One student's lock schedule."},
        {TEACHER_CHANGEPASSWORD, Te, K::Call, kNull,
         {{P::OldPassword, T::String, "the current password (never logged)"},
          {P::NewPassword, T::String, "the new password (never logged)"}},
         kVerdict, {}, {}, "IPCTeacherAPI::ChangePassword(oldPassword, newPassword, ret)",
         "Changes the teacher's password."},
        {TEACHER_IMPORTCERTIFICATE, Te, K::Call, kNull, {{P::Path, T::String, "certificate file (capital P)"}},
         kVerdict, {}, {}, "IPCTeacherAPI::ImportCertificate(path, ret)", "Imports the teacher's certificate."},
        {TEACHER_VERIFYPASSWORD, Te, K::Call, kNull,
         {{P::Password, T::String, "the password (never logged)"},
          {P::path, T::String, "certificate file, may be empty"}},
         kVerdict, {}, {}, "IPCTeacherAPI::VerifyPassword(path, password, ret)", "Checks the teacher's password."},
        {TEACHER_VERIFYCERTIFICATE, Te, K::Call, kNull, {{P::path, T::String, "certificate file, may be empty"}},
         kVerdict, {}, {}, "IPCTeacherAPI::VerifyCertificate(path, ret)", "Checks the teacher's certificate."},
        {POSTMESSAGE, Te, K::Post, kNull, {messageId, message}, "", {}, {},
         "IPCTeacherAPI::PostMessage(id, text); received as IIPCTeacherAPICallback::OnMessage(id, text)",
         "A message to every teacher application; the daemon does not receive it."},
        {TEACHER_SEARCHPROGRAM, Te, K::Signal, kNull, {folder}, "", {}, {TEACHER_SEARCHPROGRAMCALLBACK},
         "IPCTeacherAPI::SearchProgram(targetFolder, opid)",
         "Searches a folder on every student machine; one answer per student."},
        {TEACHER_DEPLOYTABNAVPOLICY, Te, K::Signal, kTarget,
         {{P::tabNavPolicyXML, T::String, "tab-navigation document"}}, "", {}, {TEACHER_DEPLOYTABNAVPOLICYCALLBACK},
         "IPCTeacherAPI::DeployTabNavPolicy(studentID, tabNavPolicyXML)", "Gives one student a tab navigation."},
        {TEACHER_DEPLOYTABNAVPOLICYLIST, Te, K::Signal, "empty",
         {kStudentIds, {P::tabNavPolicyXML, T::String, "tab-navigation document"}}, "", {},
         {TEACHER_DEPLOYTABNAVPOLICYCALLBACK}, "IPCTeacherAPI::DeployTabNavPolicy(studentIDs, tabNavPolicyXML)",
         "Gives several students a tab navigation."},
        {TEACHER_DEPLOYSCHEDULEPOLICY, Te, K::Signal, kTarget,
         {{P::schedulePolicyXML, T::String, "lock-schedule document"}}, "", {},
         {TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK}, "IPCTeacherAPI::DeploySchedulePolicy(studentID, schedulePolicyXML)",
         "Gives one student a lock schedule."},
        {TEACHER_DEPLOYSCHEDULEPOLICYLIST, Te, K::Signal, "empty",
         {kStudentIds, {P::schedulePolicyXML, T::String, "lock-schedule document"}}, "", {},
         {TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK},
         "IPCTeacherAPI::DeploySchedulePolicy(studentIDs, schedulePolicyXML)",
         "Gives several students a lock schedule."},
        {TEACHER_KICKOFFSTUDENT, Te, K::Signal, kTarget, {}, "", {},
         {TEACHER_KICKOFFSTUDENTCALLBACK, TEACHER_NOTIFYSTUDENTSTATUSCHANGED}, "IPCTeacherAPI::KickOffStudent(studentID)",
         "Sends a student out of the class."},
        {TEACHER_CONTROLNEWSTUDENTCONNECT, Te, K::Signal, kTarget,
         {{P::allow, T::String, "\"TRUE\" lets the student join, \"FALSE\" turns it away"}}, "", {},
         {TEACHER_NOTIFYSTUDENTSTATUSCHANGED}, "IPCTeacherAPI::ControlNewStudentConnect(studentID, allow)",
         "The answer to TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK."},
        {TEACHER_MANUALUNLOCKREMOTESTUDEN, Te, K::Signal, kTarget, {}, "", {},
         {TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK}, "IPCTeacherAPI::ManualUnlockRemoteStudent(studentID)",
         "Unlocks a student machine (the name has no final T)."},
        {TEACHER_MANUALLOCKREMOTESTUDENT, Te, K::Signal, kTarget, {lockPolicy}, "", {},
         {TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK}, "IPCTeacherAPI::ManualLockRemotStudent(studentID, lockPolicy)",
         "Locks a student machine."},

        // Teacher daemon.
        {TEACHER_SEARCHPROGRAMCALLBACK, Te, K::Notification, kTarget, {programs},
         "0 when the search succeeded; otherwise programsXML is not read", {}, {TEACHER_SEARCHPROGRAM},
         "IIPCTeacherAPICallback::SearchProgramCallBack(studentID, programsXML)",
         "One student's answer to TEACHER_SEARCHPROGRAM."},
        {TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK, Te, K::Notification, kTarget, {iReturn}, "", {},
         {TEACHER_MANUALLOCKREMOTESTUDENT}, "IIPCTeacherAPICallback::ManualLockRemotStudentCallBack(studentID, result)",
         "One student's answer to TEACHER_MANUALLOCKREMOTESTUDENT."},
        {TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK, Te, K::Notification, kTarget, {iReturn}, "", {},
         {TEACHER_MANUALUNLOCKREMOTESTUDEN},
         "IIPCTeacherAPICallback::ManualUnLockRemotStudentCallBack(studentID, result)",
         "One student's answer to TEACHER_MANUALUNLOCKREMOTESTUDEN."},
        {TEACHER_KICKOFFSTUDENTCALLBACK, Te, K::Notification, kTarget, {iReturn}, "", {}, {TEACHER_KICKOFFSTUDENT},
         "IIPCTeacherAPICallback::KickOffStudentCallBack(studentID, result)",
         "One student's answer to TEACHER_KICKOFFSTUDENT."},
        {TEACHER_NOTIFYSTUDENTSTATUSCHANGED, Te, K::Notification, kTarget,
         {{P::iStatus, T::Int, "the student's status, as the daemon sets it"}}, "", {}, {},
         "IIPCTeacherAPICallback::NotifyStudentStatusChanged(studentID, status)", "A student's status changed."},
        {TEACHER_DEPLOYTABNAVPOLICYCALLBACK, Te, K::Notification, kTarget, {success}, "", {},
         {TEACHER_DEPLOYTABNAVPOLICY}, "IIPCTeacherAPICallback::DeployTabNavPolicyCallBack(studentID, success)",
         "One student's answer to TEACHER_DEPLOYTABNAVPOLICY(LIST)."},
        {TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK, Te, K::Notification, kTarget, {success}, "", {},
         {TEACHER_DEPLOYSCHEDULEPOLICY}, "IIPCTeacherAPICallback::DeploySchedulePolicyCallBack(studentID, success)",
         "One student's answer to TEACHER_DEPLOYSCHEDULEPOLICY(LIST)."},
        {TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK, Te, K::Notification, kTarget,
         {{"", T::StudentList, "the student asking to join (the first record counts)"}}, "", {},
         {TEACHER_CONTROLNEWSTUDENTCONNECT}, "IIPCTeacherAPICallback::NewStudentCallBack(student)",
         "A student asks to join; TEACHER_CONTROLNEWSTUDENTCONNECT answers it."},
    };
    // clang-format on
}

} // namespace

const std::vector<Message>& Messages()
{
    static const std::vector<Message> all = build();
    return all;
}

const Message* Find(Side side, const std::string& name)
{
    for (const Message& m : Messages())
        if (m.side == side && name == m.name)
            return &m;
    return nullptr;
}

const char* Interface(Side side, Kind kind)
{
    const bool toDaemon = kind == Kind::Call || kind == Kind::Signal;
    if (side == Side::Student)
        return toDaemon ? kStudentAppIface : kStudentDaemonIface;
    return toDaemon ? kTeacherAppIface : kTeacherDaemonIface;
}

const char* DaemonName(Side side)
{
    return side == Side::Student ? kStudentDaemonName : kTeacherDaemonName;
}

const char* TypeName(Type type)
{
    switch (type) {
    case Type::String:
        return "string";
    case Type::Int:
        return "int";
    case Type::List:
        return "list";
    case Type::StudentList:
        return "student records";
    }
    return "";
}

const char* SideName(Side side) { return side == Side::Student ? "student" : "teacher"; }

} // namespace Catalogue
} // namespace IPCAPI
