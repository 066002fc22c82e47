// The names of the request and notification protocol, for host programs
// (applications and daemons) and for the library itself: bus names,
// interfaces, the object path, match rules, message names and parameter
// names. Each name is written here once; TAVCatalogue.h describes what
// every message carries, and docs/protocol.md is generated from it.
//
//   #include "TAVProtocol.h"
//   CIntfData reply(IPCAPI::Msg::TEACHER_GETSTUDENTLIST, opid, "null");
//   request.m_ParaXml.getString(IPCAPI::Param::targetFolder, folder);
#ifndef TAV_IPC_TAVPROTOCOL_H
#define TAV_IPC_TAVPROTOCOL_H

namespace IPCAPI {

// Every message, signal or method call, uses this object path.
constexpr const char* kObjectPath = "/orvelix/message/object";

// Well-known bus names of the four roles.
constexpr const char* kTeacherAppName = "tav.teacher.app";
constexpr const char* kStudentAppName = "tav.student.app";
constexpr const char* kTeacherDaemonName = "tav.teacher.daemon";
constexpr const char* kStudentDaemonName = "tav.student.daemon";

// Interfaces: an application sends its requests on its own interface, a
// daemon its notifications on its own.
constexpr const char* kTeacherAppIface = "tav.teacherapp.type";
constexpr const char* kStudentAppIface = "tav.studentapp.type";
constexpr const char* kTeacherDaemonIface = "tav.teacherdaemon.type";
constexpr const char* kStudentDaemonIface = "tav.studentdaemon.type";

// Each role listens to the signals of its peer's interface.
constexpr const char* kTeacherAppMatch = "type='signal',interface='tav.teacherdaemon.type'";
constexpr const char* kStudentAppMatch = "type='signal',interface='tav.studentdaemon.type'";
constexpr const char* kTeacherDaemonMatch = "type='signal',interface='tav.teacherapp.type'";
constexpr const char* kStudentDaemonMatch = "type='signal',interface='tav.studentapp.type'";

// Message names: the bus member name and the envelope's message field.
namespace Msg {

// Posted by an application to every application of its side (both sides).
constexpr const char* POSTMESSAGE = "POSTMESSAGE";

// Student application requests.
constexpr const char* SEARCHLOCALPROGRAM = "SEARCHLOCALPROGRAM";
constexpr const char* SEARCHTEACHER = "SEARCHTEACHER";
constexpr const char* CONNECTTEACHER = "CONNECTTEACHER";
constexpr const char* STUDENT_SWITCHTONORMALOS = "STUDENT_SWITCHTONORMALOS";
constexpr const char* STUDENT_CANCELOPERATION = "STUDENT_CANCELOPERATION";
constexpr const char* VERIFYUSERPASSWORD = "VERIFYUSERPASSWORD";
constexpr const char* GETCONNECTEDTEACHER = "GETCONNECTEDTEACHER";
constexpr const char* HARDWARECONTROL = "HARDWARECONTROL";
constexpr const char* SAVESTUDENTINFO = "SAVESTUDENTINFO";
constexpr const char* SAVELOCALSCHEDULEPOLICY = "SAVELOCALSCHEDULEPOLICY";
constexpr const char* SAVELOCALTABNAVPOLICY = "SAVELOCALTABNAVPOLICY";
constexpr const char* DISCONNECTSTUDENT = "DISCONNECTSTUDENT";
constexpr const char* MANUALUNLOCKLOCALSTUDENT = "MANUALUNLOCKLOCALSTUDENT";
constexpr const char* MANUALLOCKLOCALSTUDENT = "MANUALLOCKLOCALSTUDENT";

// Student daemon notifications.
constexpr const char* CONNECTTEACHERCALLBACK = "CONNECTTEACHERCALLBACK";
constexpr const char* SEARCHTEACHERCALLBACK = "SEARCHTEACHERCALLBACK";
constexpr const char* NOTIFYLOCKSTATUSCHANGED = "NOTIFYLOCKSTATUSCHANGED";
constexpr const char* NOTIFYTABNAVPOLICYCHANGED = "NOTIFYTABNAVPOLICYCHANGED";
constexpr const char* NOTIFYSCHEDULEPOLICYCHANGED = "NOTIFYSCHEDULEPOLICYCHANGED";
constexpr const char* NOTIFYTEACHERSTATUSCHANGED = "NOTIFYTEACHERSTATUSCHANGED";
constexpr const char* SEARCHLOCALPROGRAMCALLBACK = "SEARCHLOCALPROGRAMCALLBACK";

// Teacher application requests.
constexpr const char* TEACHER_UPDATETEACHERINFO = "TEACHER_UPDATETEACHERINFO";
constexpr const char* TEACHER_STARTCONTROLLER = "TEACHER_STARTCONTROLLER";
constexpr const char* TEACHER_STOPCONTROLLER = "TEACHER_STOPCONTROLLER";
constexpr const char* TEACHER_CANCELOPERATION = "TEACHER_CANCELOPERATION";
constexpr const char* TEACHER_GETSTUDENTLIST = "TEACHER_GETSTUDENTLIST";
constexpr const char* TEACHER_GETSTUDENTSTATUS = "TEACHER_GETSTUDENTSTATUS";
constexpr const char* TEACHER_GETSTUDENTLOCKPOLICY = "TEACHER_GETSTUDENTLOCKPOLICY";
constexpr const char* TEACHER_CHANGEPASSWORD = "TEACHER_CHANGEPASSWORD";
constexpr const char* TEACHER_IMPORTCERTIFICATE = "TEACHER_IMPORTCERTIFICATE";
constexpr const char* TEACHER_VERIFYPASSWORD = "TEACHER_VERIFYPASSWORD";
constexpr const char* TEACHER_VERIFYCERTIFICATE = "TEACHER_VERIFYCERTIFICATE";
constexpr const char* TEACHER_SEARCHPROGRAM = "TEACHER_SEARCHPROGRAM";
constexpr const char* TEACHER_DEPLOYTABNAVPOLICY = "TEACHER_DEPLOYTABNAVPOLICY";
constexpr const char* TEACHER_DEPLOYTABNAVPOLICYLIST = "TEACHER_DEPLOYTABNAVPOLICYLIST";
constexpr const char* TEACHER_DEPLOYSCHEDULEPOLICY = "TEACHER_DEPLOYSCHEDULEPOLICY";
constexpr const char* TEACHER_DEPLOYSCHEDULEPOLICYLIST = "TEACHER_DEPLOYSCHEDULEPOLICYLIST";
constexpr const char* TEACHER_KICKOFFSTUDENT = "TEACHER_KICKOFFSTUDENT";
constexpr const char* TEACHER_CONTROLNEWSTUDENTCONNECT = "TEACHER_CONTROLNEWSTUDENTCONNECT";
// 32 characters, without the final T: the name the daemons know.
constexpr const char* TEACHER_MANUALUNLOCKREMOTESTUDEN = "TEACHER_MANUALUNLOCKREMOTESTUDEN";
constexpr const char* TEACHER_MANUALLOCKREMOTESTUDENT = "TEACHER_MANUALLOCKREMOTESTUDENT";

// Teacher daemon notifications.
constexpr const char* TEACHER_SEARCHPROGRAMCALLBACK = "TEACHER_SEARCHPROGRAMCALLBACK";
constexpr const char* TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK =
    "TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK";
constexpr const char* TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK =
    "TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK";
constexpr const char* TEACHER_KICKOFFSTUDENTCALLBACK = "TEACHER_KICKOFFSTUDENTCALLBACK";
constexpr const char* TEACHER_NOTIFYSTUDENTSTATUSCHANGED = "TEACHER_NOTIFYSTUDENTSTATUSCHANGED";
constexpr const char* TEACHER_DEPLOYTABNAVPOLICYCALLBACK = "TEACHER_DEPLOYTABNAVPOLICYCALLBACK";
constexpr const char* TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK = "TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK";
constexpr const char* TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK =
    "TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK";

} // namespace Msg

// Parameter names of the parameter document (case matters: "Path" and
// "path" are two names).
namespace Param {

constexpr const char* MessageID = "MessageID";
constexpr const char* Message = "Message";
constexpr const char* targetFolder = "targetFolder";
constexpr const char* strTeacherID = "strTeacherID";
constexpr const char* OID = "OID";
constexpr const char* UserName = "UserName";
constexpr const char* Password = "Password";
constexpr const char* strXML = "strXML";
constexpr const char* lockPolicy = "lockPolicy";
constexpr const char* iReturn = "iReturn";
constexpr const char* bLock = "bLock";
constexpr const char* iState = "iState";
constexpr const char* programsXML = "programsXML";
constexpr const char* teacherInfoXML = "teacherInfoXML";
constexpr const char* OldPassword = "OldPassword";
constexpr const char* NewPassword = "NewPassword";
constexpr const char* Path = "Path";
constexpr const char* path = "path";
constexpr const char* tabNavPolicyXML = "tabNavPolicyXML";
constexpr const char* schedulePolicyXML = "schedulePolicyXML";
constexpr const char* allow = "allow";
constexpr const char* iStatus = "iStatus";
constexpr const char* bSuccess = "bSuccess";

} // namespace Param

// Booleans cross the bus as text; only the exact "TRUE" counts as true.
constexpr const char* kTrue = "TRUE";
constexpr const char* kFalse = "FALSE";
// The student id of a message that concerns no student.
constexpr const char* kNoStudent = "null";

} // namespace IPCAPI

#endif
