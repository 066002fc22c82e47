// Building and sending one application request (internal): the steps are
// the same for the student and the teacher application, only the names of
// the side differ.
#ifndef TAV_IPC_IPCREQUEST_H
#define TAV_IPC_IPCREQUEST_H

#include "IPCLogging.h"
#include "IntfData.h"

#include <exception>
#include <list>
#include <string>

namespace IPCAPI {

class IPCController;

// The bus names one application side uses.
struct RequestSide {
    const char* daemonName;  // destination of blocking calls
    const char* appIface;    // interface of requests (signals and calls)
    const char* daemonIface; // interface PostMessage broadcasts on
    const char* resultLabel; // "<op> --<label> = <result>" trace line
};

extern const RequestSide kStudentSide;
extern const RequestSide kTeacherSide;

// One request envelope: the next operation id, the message name, student id
// "null" unless replaced, parameters in the order they are added.
class IPCRequest {
public:
    // op names the operation in log lines, e.g. "IPCStudentAPI::HardWareControl()".
    IPCRequest(const RequestSide& side, IPCController* controller, const char* op,
               const char* message);

    int OperationID() const { return m_iOPID; }
    IPCRequest& StudentID(const std::string& id);
    IPCRequest& Int(const char* name, int value);
    // Logged as "<op> --<name> = <value>" unless it is a password.
    IPCRequest& Text(const char* name, const std::string& value);
    IPCRequest& List(std::list<std::string>& entries);

    // Fire and forget on the side's request interface (Signal) or on the
    // daemon's interface (Broadcast): the controller's result, 1 when
    // nothing could be sent.
    int Signal();
    int Broadcast();
    // Blocking call to the side's daemon: 0 with the answer in reply (a fresh
    // envelope); 1 on any transport failure, error reply or unreadable
    // answer, each logged with the operation's name.
    int Call(CIntfData& reply);
    // Call, then the reply's result into ret (traced unless quiet). On
    // failure ret is untouched.
    int CallForResult(int& ret, bool traceResult = true);
    // The trace line of a result read from a reply.
    void TraceResult(int ret) const;

private:
    bool Print(std::string& text) const;
    int Send(const char* iface);

    const RequestSide& m_side;
    IPCController* m_pController;
    const char* m_op;
    const char* m_message;
    int m_iOPID;
    CIntfData m_data;
};

// Runs one request operation between its entry and exit log lines; a
// std::exception on the way is logged and reported as failure (1).
template <class Body>
int RunRequest(const char* op, Body body)
{
    LogScope scope(op);
    try {
        return body();
    } catch (const std::exception& e) {
        LogScope::Error(std::string(op) + " --Exception: " + e.what());
        return 1;
    }
}

} // namespace IPCAPI

#endif
