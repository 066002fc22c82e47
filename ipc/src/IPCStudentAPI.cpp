#include "IPCStudentAPI.h"

#include "IPCApplication.h"
#include "IPCController.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "IPCRequest.h"
#include "StudentMessageNotify.h"

#include <utility>

namespace IPCAPI {

namespace {
using Members = ApplicationMembers<StudentMessageNotify>;
} // namespace

IPCStudentAPI::IPCStudentAPI() : m_pCallBack(nullptr), m_pMessageNotify(nullptr) { Initialize(); }

IPCStudentAPI::~IPCStudentAPI() { UnInitialize(); }

int IPCStudentAPI::Initialize()
{
    return InitializeApplication(Members{"IPCStudentAPI", this, m_pController, m_pMessageNotify},
                                 kStudentAppName, kStudentAppMatch, kStudentDaemonIface);
}

int IPCStudentAPI::UnInitialize()
{
    return UnInitializeApplication(Members{"IPCStudentAPI", this, m_pController, m_pMessageNotify},
                                   m_pCallBack);
}

int IPCStudentAPI::RegisterCallBack(IIPCStudentAPICallback* callback)
{
    return RegisterApplicationCallBack(
        Members{"IPCStudentAPI", this, m_pController, m_pMessageNotify}, m_pCallBack, callback);
}

int IPCStudentAPI::DoAction(std::string message, std::string payload, std::string& result)
{
    return DispatchToApplication(m_pMessageNotify, std::move(message), std::move(payload), result);
}

int IPCStudentAPI::PostMessage(int id, std::string text)
{
    const char* op = "IPCStudentAPI::PostMessage()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::POSTMESSAGE)
            .Int(Param::MessageID, id)
            .Text(Param::Message, text)
            .Broadcast();
    });
}

int IPCStudentAPI::SearchLocalProgram(std::string targetFolder, int& opid)
{
    const char* op = "IPCStudentAPI::SearchLocalProgram()";
    return RunRequest(op, [&] {
        IPCRequest request(kStudentSide, m_pController, op, Msg::SEARCHLOCALPROGRAM);
        opid = request.OperationID();
        return request.Text(Param::targetFolder, targetFolder).Signal();
    });
}

int IPCStudentAPI::SearchTeacher()
{
    const char* op = "IPCStudentAPI::SearchTeacher()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::SEARCHTEACHER).Signal();
    });
}

int IPCStudentAPI::ConnectTeacher(std::string teacherID)
{
    const char* op = "IPCStudentAPI::ConnectTeacher()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::CONNECTTEACHER)
            .Text(Param::strTeacherID, teacherID)
            .Signal();
    });
}

int IPCStudentAPI::SwitchToNormalOS(int& ret)
{
    const char* op = "IPCStudentAPI::SwitchToNormalOS()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::STUDENT_SWITCHTONORMALOS)
            .CallForResult(ret, false);
    });
}

int IPCStudentAPI::CancelOperation(int oid, int& ret)
{
    const char* op = "IPCStudentAPI::CancelOperation()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::STUDENT_CANCELOPERATION)
            .Int(Param::OID, oid)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::VerifyUserPassword(std::string userName, std::string password, int& ret)
{
    const char* op = "IPCStudentAPI::VerifyUserPassword()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::VERIFYUSERPASSWORD)
            .Text(Param::UserName, userName)
            .Text(Param::Password, password)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::GetConnectedTeacher(std::string& teacherID, int& ret)
{
    const char* op = "IPCStudentAPI::GetConnectedTeacher()";
    return RunRequest(op, [&] {
        IPCRequest request(kStudentSide, m_pController, op, Msg::GETCONNECTEDTEACHER);
        CIntfData reply;
        if (request.Call(reply) != 0)
            return 1;
        std::string teacher;
        if (reply.m_ParaXml.getString(Param::strTeacherID, teacher))
            teacherID.swap(teacher);
        reply.GetResult(ret);
        request.TraceResult(ret);
        return 0;
    });
}

int IPCStudentAPI::HardWareControl(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::HardWareControl()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::HARDWARECONTROL)
            .Text(Param::strXML, xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveStudentInfo(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveStudentInfo()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::SAVESTUDENTINFO)
            .Text(Param::strXML, xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveLocalSchedulePolicy(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveLocalSchedulePolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::SAVELOCALSCHEDULEPOLICY)
            .Text(Param::strXML, xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveLocalTabNavPolicy(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveLocalTabNavPolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::SAVELOCALTABNAVPOLICY)
            .Text(Param::strXML, xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::DisconnectStudent(int& ret)
{
    const char* op = "IPCStudentAPI::DisconnectStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::DISCONNECTSTUDENT)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::ManualUnLockLocalStudent(int& ret)
{
    const char* op = "IPCStudentAPI::ManualUnLockLocalStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::MANUALUNLOCKLOCALSTUDENT)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::ManualLockLocalStudent(std::string lockPolicy, int& ret)
{
    const char* op = "IPCStudentAPI::ManualLockLocalStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, Msg::MANUALLOCKLOCALSTUDENT)
            .Text(Param::lockPolicy, lockPolicy)
            .CallForResult(ret);
    });
}

} // namespace IPCAPI
