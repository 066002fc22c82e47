// Second base of the dialogs that talk to the teacher daemon: owns a
// teacher-application API object of their own (role 0) for the dialog's
// whole life and answers every notification with an empty body, so that a
// dialog overrides only what it needs.
//
// The IPC library calls into this sub-object: a dialog registers the
// address of its callback-base part, not of the dialog, with
// IPCTeacherAPI::RegisterCallBack. Notifications arrive on the IPC worker
// thread.
#ifndef TAV_GUI_TEACHERAPICALLBACKBASE_H
#define TAV_GUI_TEACHERAPICALLBACKBASE_H

#include "IIPCTeacherAPICallback.h"
#include "IPCAPIBase.h"

#include <string>

namespace LibTAVGUI {

class CTeacherAPICallbackBase : public IPCAPI::IIPCTeacherAPICallback {
public:
    // Creates the API object; it stays null when the library refuses.
    CTeacherAPICallbackBase();

    void SearchProgramCallBack(std::string studentID, std::string programsXML) override;
    void ManualLockRemotStudentCallBack(std::string studentID, int result) override;
    void ManualUnLockRemotStudentCallBack(std::string studentID, int result) override;
    void KickOffStudentCallBack(std::string studentID, int result) override;
    void NotifyStudentStatusChanged(std::string studentID, int status) override;
    void DeployTabNavPolicyCallBack(std::string studentID, bool success) override;
    void DeploySchedulePolicyCallBack(std::string studentID, bool success) override;
    void NewStudentCallBack(const IPCAPI::tagStudent_t& student) override;
    void OnMessage(int id, std::string text) override;

    // Hands the API object back to the library.
    virtual ~CTeacherAPICallbackBase();

protected:
    // Hands the API object back now; a dialog does this first thing in its
    // destructor, so that no notification reaches it while it is being
    // taken apart.
    void ReleaseAPI();

    // Null when the library could not create it.
    IPCAPI::IPCAPIBase* m_pAPI;

private:
    CTeacherAPICallbackBase(const CTeacherAPICallbackBase&) = delete;
    CTeacherAPICallbackBase& operator=(const CTeacherAPICallbackBase&) = delete;
};

} // namespace LibTAVGUI

#endif
