// The lifecycle both application API classes share (internal): register with
// the process's controller and start its worker, unregister once, route
// notifications to the side's dispatcher. The two classes hand in their own
// members, so each keeps the layout its header declares.
#ifndef TAV_IPC_IPCAPPLICATION_H
#define TAV_IPC_IPCAPPLICATION_H

#include "IPCController.h"
#include "IPCLogging.h"

#include <string>
#include <utility>

namespace IPCAPI {

template <class Notify>
struct ApplicationMembers {
    const char* className; // "IPCStudentAPI", prefix of the log lines
    IPCAPIBase* self;
    IPCController*& controller;
    Notify*& notify;
};

template <class Notify>
int InitializeApplication(ApplicationMembers<Notify> m, const char* busName, const char* matchRule,
                          const char* daemonIface)
{
    const std::string name = std::string(m.className) + "::Initialize()";
    LogScope scope(name.c_str());
    // A second registration would deliver everything twice and outlive
    // UnInitialize.
    if (m.controller) {
        LogScope::Trace(name + " --Already initialized");
        return m.controller->MatchRefused() ? 1 : 0;
    }
    if (!m.notify)
        m.notify = new Notify;
    m.controller = IPCController::CreateInstance(busName, matchRule);
    // Only the daemon's notifications reach the object: a signal sent to
    // the application's name on another interface, or a method call, does
    // not.
    if (!m.controller || m.controller->SetAPI(m.self, daemonIface) != 0) {
        LogScope::Error(name + " --Set API Failed");
        return 1;
    }
    // Start returns at once when another object started the worker.
    if (!m.controller->Start()) {
        LogScope::Error(name + " --Start Thread Failed");
        return 1;
    }
    // Requests still work, but no notification would ever arrive.
    if (m.controller->MatchRefused()) {
        LogScope::Error(name + " --The bus refused the match rule: no notification can arrive");
        return 1;
    }
    return 0;
}

template <class Notify, class Callback>
int UnInitializeApplication(ApplicationMembers<Notify> m, Callback*& callback)
{
    const std::string name = std::string(m.className) + "::UnInitialize()";
    LogScope scope(name.c_str());
    // Only once: the destructor runs it again after a host's own call, and a
    // second RemoveAPI would take another object's count.
    if (m.controller) {
        IPCController::RemoveAPI(m.self);
        m.controller = nullptr;
    }
    // No dispatch reaches this object any more.
    delete m.notify;
    m.notify = nullptr;
    callback = nullptr;
    return 0;
}

template <class Notify, class Callback>
int RegisterApplicationCallBack(ApplicationMembers<Notify> m, Callback*& stored, Callback* callback)
{
    const std::string name = std::string(m.className) + "::RegisterCallBack()";
    LogScope scope(name.c_str());
    if (!m.notify) {
        LogScope::Error(name + " --Not initialized");
        return 1;
    }
    stored = callback;
    m.notify->SetCallBack(callback);
    return 0;
}

template <class Notify>
int DispatchToApplication(Notify* notify, std::string message, std::string payload,
                          std::string& result)
{
    if (!notify)
        return 1;
    return notify->DoAction(std::move(message), std::move(payload), result);
}

} // namespace IPCAPI

#endif
