#include "IPCStudentAPI.h"

#include "IPCController.h"
#include "IPCLogging.h"
#include "IPCNames.h"
#include "IPCRequest.h"
#include "StudentMessageNotify.h"

#include <utility>

namespace IPCAPI {

IPCStudentAPI::IPCStudentAPI() : m_pCallBack(nullptr), m_pMessageNotify(nullptr)
{
    Initialize();
}

IPCStudentAPI::~IPCStudentAPI()
{
    UnInitialize();
}

int IPCStudentAPI::Initialize()
{
    LogScope scope("IPCStudentAPI::Initialize()");
    // A second registration would deliver everything twice and outlive
    // UnInitialize.
    if (m_pController) {
        LogScope::Trace("IPCStudentAPI::Initialize() --Already initialized");
        return 0;
    }
    if (!m_pMessageNotify)
        m_pMessageNotify = new StudentMessageNotify;
    m_pController = IPCController::CreateInstance(kStudentAppName, kStudentAppMatch);
    if (!m_pController || m_pController->SetAPI(this) != 0) {
        LogScope::Error("IPCStudentAPI::Initialize() --Set API Failed");
        return 1;
    }
    if (!m_pController->Start()) {
        LogScope::Error("IPCStudentAPI::Initialize() --Start Thread Failed");
        return 1;
    }
    return 0;
}

int IPCStudentAPI::UnInitialize()
{
    LogScope scope("IPCStudentAPI::UnInitialize()");
    // Only once: the destructor runs it again after a host's own call, and a
    // second RemoveAPI would take another object's count.
    if (m_pController) {
        IPCController::RemoveAPI(this);
        m_pController = nullptr;
    }
    // No dispatch reaches this object any more.
    delete m_pMessageNotify;
    m_pMessageNotify = nullptr;
    m_pCallBack = nullptr;
    return 0;
}

int IPCStudentAPI::RegisterCallBack(IIPCStudentAPICallback* callback)
{
    LogScope scope("IPCStudentAPI::RegisterCallBack()");
    if (!m_pMessageNotify) {
        LogScope::Error("IPCStudentAPI::RegisterCallBack() --Not initialized");
        return 1;
    }
    m_pCallBack = callback;
    m_pMessageNotify->SetCallBack(callback);
    return 0;
}

int IPCStudentAPI::DoAction(std::string message, std::string payload, std::string& result)
{
    if (!m_pMessageNotify)
        return 1;
    return m_pMessageNotify->DoAction(std::move(message), std::move(payload), result);
}

int IPCStudentAPI::PostMessage(int id, std::string text)
{
    const char* op = "IPCStudentAPI::PostMessage()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "POSTMESSAGE")
            .Int("MessageID", id)
            .Text("Message", text)
            .Broadcast();
    });
}

int IPCStudentAPI::SearchLocalProgram(std::string targetFolder, int& opid)
{
    const char* op = "IPCStudentAPI::SearchLocalProgram()";
    return RunRequest(op, [&] {
        IPCRequest request(kStudentSide, m_pController, op, "SEARCHLOCALPROGRAM");
        opid = request.OperationID();
        return request.Text("targetFolder", targetFolder).Signal();
    });
}

int IPCStudentAPI::SearchTeacher()
{
    const char* op = "IPCStudentAPI::SearchTeacher()";
    return RunRequest(op, [&] { return IPCRequest(kStudentSide, m_pController, op, "SEARCHTEACHER").Signal(); });
}

int IPCStudentAPI::ConnectTeacher(std::string teacherID)
{
    const char* op = "IPCStudentAPI::ConnectTeacher()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "CONNECTTEACHER")
            .Text("strTeacherID", teacherID)
            .Signal();
    });
}

int IPCStudentAPI::SwitchToNormalOS(int& ret)
{
    const char* op = "IPCStudentAPI::SwitchToNormalOS()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "STUDENT_SWITCHTONORMALOS")
            .CallForResult(ret, false);
    });
}

int IPCStudentAPI::CancelOperation(int oid, int& ret)
{
    const char* op = "IPCStudentAPI::CancelOperation()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "STUDENT_CANCELOPERATION")
            .Int("OID", oid)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::VerifyUserPassword(std::string userName, std::string password, int& ret)
{
    const char* op = "IPCStudentAPI::VerifyUserPassword()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "VERIFYUSERPASSWORD")
            .Text("UserName", userName)
            .Text("Password", password)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::GetConnectedTeacher(std::string& teacherID, int& ret)
{
    const char* op = "IPCStudentAPI::GetConnectedTeacher()";
    return RunRequest(op, [&] {
        IPCRequest request(kStudentSide, m_pController, op, "GETCONNECTEDTEACHER");
        CIntfData reply;
        if (request.Call(reply) != 0)
            return 1;
        std::string teacher;
        if (reply.m_ParaXml.getString("strTeacherID", teacher))
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
        return IPCRequest(kStudentSide, m_pController, op, "HARDWARECONTROL")
            .Text("strXML", xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveStudentInfo(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveStudentInfo()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "SAVESTUDENTINFO")
            .Text("strXML", xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveLocalSchedulePolicy(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveLocalSchedulePolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "SAVELOCALSCHEDULEPOLICY")
            .Text("strXML", xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::SaveLocalTabNavPolicy(std::string xml, int& ret)
{
    const char* op = "IPCStudentAPI::SaveLocalTabNavPolicy()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "SAVELOCALTABNAVPOLICY")
            .Text("strXML", xml)
            .CallForResult(ret);
    });
}

int IPCStudentAPI::DisconnectStudent(int& ret)
{
    const char* op = "IPCStudentAPI::DisconnectStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "DISCONNECTSTUDENT").CallForResult(ret);
    });
}

int IPCStudentAPI::ManualUnLockLocalStudent(int& ret)
{
    const char* op = "IPCStudentAPI::ManualUnLockLocalStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "MANUALUNLOCKLOCALSTUDENT").CallForResult(ret);
    });
}

int IPCStudentAPI::ManualLockLocalStudent(std::string lockPolicy, int& ret)
{
    const char* op = "IPCStudentAPI::ManualLockLocalStudent()";
    return RunRequest(op, [&] {
        return IPCRequest(kStudentSide, m_pController, op, "MANUALLOCKLOCALSTUDENT")
            .Text("lockPolicy", lockPolicy)
            .CallForResult(ret);
    });
}

} // namespace IPCAPI
