// Common base of the four API objects (teacher application, student
// application, teacher daemon, student daemon) and the result codes of the
// IPC library.
#ifndef TAV_IPC_IPCAPIBASE_H
#define TAV_IPC_IPCAPIBASE_H

#include <string>

namespace IPCAPI {

enum APIResult {
    API_SUCCESS = 0,     // done
    API_FAILED = 1,      // allocation, bus call or XML parse failed
    API_INVALID_ARG = 2, // bad role code, null object, nothing to release
    API_ERROR_REPLY = 3  // a blocking call was answered with a bus error
};

class IPCController;

class IPCAPIBase {
public:
    IPCAPIBase();
    virtual ~IPCAPIBase();

    // The controller delivers every incoming message here: the message name,
    // the envelope text, and a scratch result the controller ignores. The
    // base does nothing and returns 0.
    virtual int DoAction(std::string message, std::string payload, std::string& result);

    // Do-nothing members returning 0; the daemon classes declare their own
    // of the same names (call those through the concrete class).
    int SendMsg(int& opid, std::string message, std::string payload);
    int ReceiveMsg(int& opid, std::string& message, std::string& payload);
    bool IsBlock();
    int ReplyMsg(std::string payload);

    // Next operation identifier: 1 to 65535, then 1 again; never 0. Shared by
    // every API object of the process and safe from any thread.
    static int GetOPID();

protected:
    IPCController* m_pController; // shared, not owned
    static int m_iOPID;           // last identifier handed out
};

} // namespace IPCAPI

#endif
