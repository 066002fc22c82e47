#include "IPCTeacherAPI.h"

#include "IPCApplication.h"
#include "IPCCommonUtil.h"
#include "IPCController.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "IPCRequest.h"
#include "LockScheduleData.h"
#include "TeacherMessageNotify.h"

#include <utility>

namespace IPCAPI {

namespace {
using Members = ApplicationMembers<TeacherMessageNotify>;
} // namespace

IPCTeacherAPI::IPCTeacherAPI() : m_pCallBack(nullptr), m_pMessageNotify(nullptr) { Initialize(); }

IPCTeacherAPI::~IPCTeacherAPI() { UnInitialize(); }

int IPCTeacherAPI::Initialize()
{
    return InitializeApplication(Members{"IPCTeacherAPI", this, m_pController, m_pMessageNotify},
                                 kTeacherAppName, kTeacherAppMatch, kTeacherDaemonIface);
}

int IPCTeacherAPI::UnInitialize()
{
    return UnInitializeApplication(Members{"IPCTeacherAPI", this, m_pController, m_pMessageNotify},
                                   m_pCallBack);
}

int IPCTeacherAPI::RegisterCallBack(IIPCTeacherAPICallback* callback)
{
    return RegisterApplicationCallBack(
        Members{"IPCTeacherAPI", this, m_pController, m_pMessageNotify}, m_pCallBack, callback);
}

int IPCTeacherAPI::DoAction(std::string message, std::string payload, std::string& result)
{
    return DispatchToApplication(m_pMessageNotify, std::move(message), std::move(payload), result);
}

int IPCTeacherAPI::UpdateTeacherInfo(std::string teacherInfoXML, int& ret)
{
    const char* op = "IPCTeacherAPI::UpdateTeacherInfo()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_UPDATETEACHERINFO)
            .Text(Param::teacherInfoXML, teacherInfoXML)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::StartController(int& ret)
{
    const char* op = "IPCTeacherAPI::StartController()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_STARTCONTROLLER)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::StopController(int& ret)
{
    const char* op = "IPCTeacherAPI::StopController()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_STOPCONTROLLER)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::CancelOperation(int oid, int& ret)
{
    const char* op = "IPCTeacherAPI::CancelOperation()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_CANCELOPERATION)
            .Int(Param::OID, oid)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::GetStudentList(std::list<tagStudent_t>& students, int& ret)
{
    const char* op = "IPCTeacherAPI::GetStudentList()";
    return RunRequest(op, [&] {
        IPCRequest request(kTeacherSide, m_pController, op, Msg::TEACHER_GETSTUDENTLIST);
        CIntfData reply;
        if (request.Call(reply) != 0)
            return 1;
        reply.GetResult(ret);
        request.TraceResult(ret);
        // Replaced only when the answer carries entries.
        std::list<tagStudent_t> answer;
        if (reply.m_ParaXml.getStudentInfoList(answer))
            students.swap(answer);
        int position = 0;
        for (const tagStudent_t& student : students)
            IPCCommonUtil::ShowLogForStudentInfo(
                "IPCTeacherAPI::GetStudentList() --return StudentList No." +
                    IPCCommonUtil::ParseInt2String(++position) + " = ",
                student);
        return 0;
    });
}

int IPCTeacherAPI::GetStudentStatus(std::string studentID, tagStudent_t& student, int& ret)
{
    const char* op = "IPCTeacherAPI::GetStudentStatus()";
    return RunRequest(op, [&] {
        IPCRequest request(kTeacherSide, m_pController, op, Msg::TEACHER_GETSTUDENTSTATUS);
        request.StudentID(studentID);
        CIntfData reply;
        if (request.Call(reply) != 0)
            return 1;
        std::list<tagStudent_t> answer;
        if (reply.m_ParaXml.getStudentInfoList(answer) && !answer.empty())
            student = std::move(answer.front());
        reply.GetResult(ret);
        request.TraceResult(ret);
        IPCCommonUtil::ShowLogForStudentInfo(
            "IPCTeacherAPI::GetStudentStatus() --return StudentInfo = ", student);
        return 0;
    });
}

int IPCTeacherAPI::GetStudentLockPolicy(std::string studentID,
                                        LibTAVData::CLockScheduleData& policy, int& ret)
{
    const char* op = "IPCTeacherAPI::GetStudentLockPolicy()";
    return RunRequest(op, [&] {
        IPCRequest request(kTeacherSide, m_pController, op, Msg::TEACHER_GETSTUDENTLOCKPOLICY);
        request.StudentID(studentID);
        CIntfData reply;
        if (request.Call(reply) != 0)
            return 1;
        reply.GetResult(ret);
        request.TraceResult(ret);
        // The policy travels as text; an answer without one still counts.
        std::string text;
        reply.m_ParaXml.getString(Param::lockPolicy, text);
        policy.LoadFromString(text);
        return 0;
    });
}

int IPCTeacherAPI::ChangePassword(std::string oldPassword, std::string newPassword, int& ret)
{
    const char* op = "IPCTeacherAPI::ChangePassword()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_CHANGEPASSWORD)
            .Text(Param::OldPassword, oldPassword)
            .Text(Param::NewPassword, newPassword)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::ImportCertificate(std::string path, int& ret)
{
    const char* op = "IPCTeacherAPI::ImportCertificate()";
    return RunRequest(op, [&] {
        // "Path" with a capital P here, "path" in the verification requests.
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_IMPORTCERTIFICATE)
            .Text(Param::Path, path)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::VerifyPassword(std::string path, std::string password, int& ret)
{
    const char* op = "IPCTeacherAPI::VerifyPassword()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_VERIFYPASSWORD)
            .Text(Param::Password, password)
            .Text(Param::path, path)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::VerifyPassword(std::string password, int& ret)
{
    return VerifyPassword(std::string(), std::move(password), ret);
}

int IPCTeacherAPI::VerifyCertificate(std::string path, int& ret)
{
    const char* op = "IPCTeacherAPI::VerifyCertificate()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_VERIFYCERTIFICATE)
            .Text(Param::path, path)
            .CallForResult(ret);
    });
}

int IPCTeacherAPI::VerifyCertificate(int& ret) { return VerifyCertificate(std::string(), ret); }

int IPCTeacherAPI::PostMessage(int id, std::string text)
{
    const char* op = "IPCTeacherAPI::PostMessage()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::POSTMESSAGE)
            .Int(Param::MessageID, id)
            .Text(Param::Message, text)
            .Broadcast();
    });
}

int IPCTeacherAPI::SearchProgram(std::string targetFolder, int& opid)
{
    const char* op = "IPCTeacherAPI::SearchProgram()";
    return RunRequest(op, [&] {
        IPCRequest request(kTeacherSide, m_pController, op, Msg::TEACHER_SEARCHPROGRAM);
        opid = request.OperationID();
        return request.Text(Param::targetFolder, targetFolder).Signal();
    });
}

int IPCTeacherAPI::DeployTabNavPolicy(std::string studentID, std::string tabNavPolicyXML)
{
    const char* op = "IPCTeacherAPI::DeployTabNavPolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_DEPLOYTABNAVPOLICY)
            .StudentID(studentID)
            .Text(Param::tabNavPolicyXML, tabNavPolicyXML)
            .Signal();
    });
}

int IPCTeacherAPI::DeployTabNavPolicy(std::list<std::string> studentIDs,
                                      std::string tabNavPolicyXML)
{
    const char* op = "IPCTeacherAPI::DeployTabNavPolicy(list)";
    return RunRequest(op, [&] {
        // The students travel as list entries; the student id stays empty.
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_DEPLOYTABNAVPOLICYLIST)
            .StudentID("")
            .List(studentIDs)
            .Text(Param::tabNavPolicyXML, tabNavPolicyXML)
            .Signal();
    });
}

int IPCTeacherAPI::DeploySchedulePolicy(std::string studentID, std::string schedulePolicyXML)
{
    const char* op = "IPCTeacherAPI::DeploySchedulePolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_DEPLOYSCHEDULEPOLICY)
            .StudentID(studentID)
            .Text(Param::schedulePolicyXML, schedulePolicyXML)
            .Signal();
    });
}

int IPCTeacherAPI::DeploySchedulePolicy(std::list<std::string> studentIDs,
                                        std::string schedulePolicyXML)
{
    const char* op = "IPCTeacherAPI::DeploySchedulePolicy(list)";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_DEPLOYSCHEDULEPOLICYLIST)
            .StudentID("")
            .List(studentIDs)
            .Text(Param::schedulePolicyXML, schedulePolicyXML)
            .Signal();
    });
}

int IPCTeacherAPI::KickOffStudent(std::string studentID)
{
    const char* op = "IPCTeacherAPI::KickOffStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_KICKOFFSTUDENT)
            .StudentID(studentID)
            .Signal();
    });
}

int IPCTeacherAPI::ControlNewStudentConnect(std::string studentID, bool allow)
{
    const char* op = "IPCTeacherAPI::ControlNewStudentConnect()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_CONTROLNEWSTUDENTCONNECT)
            .StudentID(studentID)
            .Text(Param::allow, allow ? kTrue : kFalse)
            .Signal();
    });
}

int IPCTeacherAPI::ManualUnlockRemoteStudent(std::string studentID)
{
    const char* op = "IPCTeacherAPI::ManualUnlockRemoteStudent()";
    return RunRequest(op, [&] {
        // The daemons know the request by this shortened name.
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_MANUALUNLOCKREMOTESTUDEN)
            .StudentID(studentID)
            .Signal();
    });
}

int IPCTeacherAPI::ManualLockRemotStudent(std::string studentID, std::string lockPolicy)
{
    const char* op = "IPCTeacherAPI::ManualLockRemotStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kTeacherSide, m_pController, op, Msg::TEACHER_MANUALLOCKREMOTESTUDENT)
            .StudentID(studentID)
            .Text(Param::lockPolicy, lockPolicy)
            .Signal();
    });
}

int IPCTeacherAPI::ManualUnlockRemoteStudent(std::list<std::string>)
{
    LogScope scope("IPCTeacherAPI::ManualUnlockRemoteStudent(list)");
    LogScope::Trace(
        "IPCTeacherAPI::ManualUnlockRemoteStudent(list)--This method is no longer used!");
    return 1;
}

int IPCTeacherAPI::ManualLockRemotStudent(std::list<std::string>, std::string)
{
    LogScope scope("IPCTeacherAPI::ManualLockRemotStudent(list)");
    LogScope::Trace("IPCTeacherAPI::ManualLockRemotStudent(list) --This method is no longer used!");
    return 1;
}

} // namespace IPCAPI
