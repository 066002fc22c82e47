#include "StudentMessageNotify.h"

#include "NotifyDispatch.h"

#include <tuple>
#include <utility>

namespace IPCAPI {

namespace {

using Route = NotifyRoute<StudentMessageNotify>;
using CB = IIPCStudentAPICallback;

const Route kRoutes[] = {
    {Msg::CONNECTTEACHERCALLBACK, &StudentMessageNotify::ConnectTeacherCallBack},
    {Msg::SEARCHTEACHERCALLBACK, &StudentMessageNotify::SearchTeacherCallBack},
    {Msg::NOTIFYLOCKSTATUSCHANGED, &StudentMessageNotify::NotifyLockStatusChanged},
    {Msg::NOTIFYTABNAVPOLICYCHANGED, &StudentMessageNotify::NotifyTabNavPolicyChanged},
    {Msg::NOTIFYSCHEDULEPOLICYCHANGED, &StudentMessageNotify::NotifySchedulePolicyChanged},
    {Msg::NOTIFYTEACHERSTATUSCHANGED, &StudentMessageNotify::NotifyTeacherStatusChanged},
    {Msg::SEARCHLOCALPROGRAMCALLBACK, &StudentMessageNotify::SearchLocalProgramCallBack},
    {Msg::POSTMESSAGE, &StudentMessageNotify::OnMessage},
};

std::tuple<> nothing(NotifyReader&) { return {}; }

} // namespace

StudentMessageNotify::StudentMessageNotify() : m_pCallBack(nullptr) {}

StudentMessageNotify::~StudentMessageNotify() = default;

void StudentMessageNotify::SetCallBack(IIPCStudentAPICallback* callback) { m_pCallBack = callback; }

int StudentMessageNotify::DoAction(std::string message, std::string payload, std::string& result)
{
    return RouteNotification("StudentMessageNotify", *this, kRoutes, std::move(message),
                             std::move(payload), result);
}

int StudentMessageNotify::ConnectTeacherCallBack(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::ConnectTeacherCallBack()", payload, m_pCallBack,
        [](NotifyReader& r) {
            return std::make_tuple(r.Text(Param::strTeacherID), r.Number(Param::iReturn));
        },
        &CB::ConnectTeacherCallBack);
}

int StudentMessageNotify::SearchTeacherCallBack(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::SearchTeacherCallBack()", payload, m_pCallBack,
        [](NotifyReader& r) { return std::make_tuple(r.List()); }, &CB::SearchTeacherCallBack);
}

int StudentMessageNotify::NotifyLockStatusChanged(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::NotifyLockStatusChanged()", payload, m_pCallBack,
        [](NotifyReader& r) { return std::make_tuple(r.Flag(Param::bLock)); },
        &CB::NotifyLockStatusChanged);
}

int StudentMessageNotify::NotifyTabNavPolicyChanged(std::string payload, std::string&)
{
    return DeliverNotification("StudentMessageNotify::NotifyTabNavPolicyChanged()", payload,
                               m_pCallBack, nothing, &CB::NotifyTabNavPolicyChanged);
}

int StudentMessageNotify::NotifySchedulePolicyChanged(std::string payload, std::string&)
{
    return DeliverNotification("StudentMessageNotify::NotifySchedulePolicyChanged()", payload,
                               m_pCallBack, nothing, &CB::NotifySchedulePolicyChanged);
}

int StudentMessageNotify::NotifyTeacherStatusChanged(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::NotifyTeacherStatusChanged()", payload, m_pCallBack,
        [](NotifyReader& r) {
            return std::make_tuple(r.Text(Param::strTeacherID), r.Number(Param::iState));
        },
        &CB::NotifyTeacherStatusChanged);
}

int StudentMessageNotify::SearchLocalProgramCallBack(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::SearchLocalProgramCallBack()", payload, m_pCallBack,
        [](NotifyReader& r) { return std::make_tuple(r.Text(Param::programsXML)); },
        &CB::SearchLocalProgramCallBack);
}

int StudentMessageNotify::OnMessage(std::string payload, std::string&)
{
    return DeliverNotification(
        "StudentMessageNotify::OnMessage()", payload, m_pCallBack,
        [](NotifyReader& r) {
            return std::make_tuple(r.Number(Param::MessageID), r.Text(Param::Message));
        },
        &CB::OnMessage);
}

} // namespace IPCAPI
