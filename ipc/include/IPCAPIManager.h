// The exported boundary of the IPC library: one API object per call, for a
// role code, handed back when done.
//
//   role 0 teacher application  -> IPCTeacherAPI
//   role 1 student application  -> IPCStudentAPI
//   role 2 teacher daemon       -> IPCTeacherDaemonAPI
//   role 3 student daemon       -> IPCStudentDaemonAPI
//
// The object is connected when returned (application roles also receive
// notifications from then on); cast it to the class of the role passed.
// Requests may come from any thread, but create and destroy the objects of
// a process on one thread at a time: they share one counted connection.
#ifndef TAV_IPC_IPCAPIMANAGER_H
#define TAV_IPC_IPCAPIMANAGER_H

#include "IPCAPIBase.h"

namespace IPCAPI {

// 0 and a new object in *api; 2 (API_INVALID_ARG) for another role code or a
// null api, *api untouched.
int InitializeTAVLibrary(int type, IPCAPIBase** api);
// Destroys an object from InitializeTAVLibrary: 0, or 2 for null.
int UninitializeTAVLibrary(IPCAPIBase* api);

// The same creation as a process-wide singleton.
class IPCAPIManager {
public:
    // The singleton if it exists (whatever type says); otherwise a new
    // object for type. 2 for a bad role code (the singleton is then null).
    static int GetInstance(int type, IPCAPIBase** api);
    // 0 after destroying the singleton, 2 when there is none.
    static int Release();

    static IPCAPIBase* m_Instance;
};

} // namespace IPCAPI

#endif
