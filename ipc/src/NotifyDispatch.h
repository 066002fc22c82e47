// What the student and the teacher notification dispatchers share
// (internal): the walk over a route table, and the steps of every handler
// (parse the envelope, read the parameters, find the host's callback, call
// it).
#ifndef TAV_IPC_NOTIFYDISPATCH_H
#define TAV_IPC_NOTIFYDISPATCH_H

#include "IPCCommonUtil.h"
#include "IPCLogging.h"
#include "IntfData.h"
#include "TAVProtocol.h"

#include <atomic>
#include <cstddef>
#include <exception>
#include <list>
#include <string>
#include <tuple>
#include <utility>

namespace IPCAPI {

// Reads parameters in order; a missing one reads as empty text or 0 and
// makes the handler's result 1.
class NotifyReader {
public:
    explicit NotifyReader(CIntfData& data) : m_data(data) {}

    std::string Text(const char* name)
    {
        std::string value;
        if (!m_data.m_ParaXml.getString(name, value))
            m_result = 1;
        return value;
    }
    int Number(const char* name)
    {
        int value = 0;
        if (!m_data.m_ParaXml.getInt(name, value))
            m_result = 1;
        return value;
    }
    // Only the exact text "TRUE" means true.
    bool Flag(const char* name) { return Text(name) == kTrue; }
    std::list<std::string> List()
    {
        std::list<std::string> values;
        if (!m_data.m_ParaXml.getListPara(values))
            m_result = 1;
        return values;
    }
    std::string StudentID() const
    {
        std::string id;
        m_data.GetStudentID(id);
        return id;
    }
    CIntfData& Data() { return m_data; }
    int Result() const { return m_result; }

private:
    CIntfData& m_data;
    int m_result = 0;
};

// Nobody listens: the notification is dropped and the handler reports 1.
inline int NoCallBack(const char* handler)
{
    LogScope::Trace(std::string(handler) + " --No CallBack registered");
    return 1;
}

// One handler: read(reader) returns the callback's arguments as a tuple,
// then (callback->*method)(arguments...) runs. The callback is called
// whenever the envelope parses and one is registered, even with parameters
// missing; the result is 1 when the envelope does not parse, nobody is
// registered or a parameter was missing.
template <class Callback, class Read, class Method>
int DeliverNotification(const char* name, const std::string& payload,
                        const std::atomic<Callback*>& stored, Read read, Method method)
{
    LogScope scope(name);
    CIntfData data;
    if (IPCCommonUtil::LoadString(data, payload) != 0)
        return 1;
    NotifyReader reader(data);
    auto arguments = read(reader);
    Callback* callback = stored;
    if (!callback)
        return NoCallBack(name);
    std::apply([&](auto&... a) { (callback->*method)(a...); }, arguments);
    return reader.Result();
}

template <class Notify>
struct NotifyRoute {
    const char* message;
    int (Notify::*handler)(std::string, std::string&);
};

// Runs the handler of message (exact, case-sensitive name); 1 for a name
// no route knows. owner names the dispatcher in the log.
template <class Notify, std::size_t N>
int RouteNotification(const char* owner, Notify& notify, const NotifyRoute<Notify> (&routes)[N],
                      std::string message, std::string payload, std::string& result)
{
    const std::string name = std::string(owner) + "::DoAction()";
    LogScope scope(name.c_str());
    try {
        LogScope::Trace(PayloadLine(LogScope::Join(owner, " Receive Msg:"), payload));
        for (const NotifyRoute<Notify>& route : routes)
            if (message == route.message)
                return (notify.*route.handler)(std::move(payload), result);
    } catch (const std::exception& e) {
        // Also what a host callback throws: the worker thread must live on.
        LogScope::Error(name + " --Exception: " + e.what());
    }
    return 1;
}

} // namespace IPCAPI

#endif
