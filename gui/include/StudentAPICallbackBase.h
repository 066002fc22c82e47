// Second base of the dialogs that talk to the student daemon: owns a
// student-application API object of their own (role 1) for the dialog's
// whole life and answers every notification with an empty body, so that a
// dialog overrides only what it needs.
//
// The IPC library calls into this sub-object: a dialog registers the
// address of its callback-base part, not of the dialog, with
// IPCStudentAPI::RegisterCallBack. Notifications arrive on the IPC worker
// thread.
#ifndef TAV_GUI_STUDENTAPICALLBACKBASE_H
#define TAV_GUI_STUDENTAPICALLBACKBASE_H

#include "IIPCStudentAPICallback.h"
#include "IPCAPIBase.h"

#include <list>
#include <string>

namespace LibTAVGUI {

class CStudentAPICallbackBase : public IPCAPI::IIPCStudentAPICallback {
public:
    // Creates the API object; it stays null when the library refuses.
    CStudentAPICallbackBase();

    void ConnectTeacherCallBack(std::string teacherID, int result) override;
    void SearchTeacherCallBack(const std::list<std::string>& teachers) override;
    void NotifyLockStatusChanged(bool locked) override;
    void NotifyTabNavPolicyChanged() override;
    void NotifySchedulePolicyChanged() override;
    void NotifyTeacherStatusChanged(std::string teacherID, int state) override;
    void SearchLocalProgramCallBack(std::string programsXML) override;
    void OnMessage(int id, std::string text) override;

    // Hands the API object back to the library.
    virtual ~CStudentAPICallbackBase();

protected:
    // Hands the API object back now; a dialog does this first thing in its
    // destructor, so that no notification reaches it while it is being
    // taken apart.
    void ReleaseAPI();

    // Null when the library could not create it.
    IPCAPI::IPCAPIBase* m_pAPI;

private:
    CStudentAPICallbackBase(const CStudentAPICallbackBase&) = delete;
    CStudentAPICallbackBase& operator=(const CStudentAPICallbackBase&) = delete;
};

} // namespace LibTAVGUI

#endif
