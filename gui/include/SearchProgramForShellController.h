// The "Search Program" dialog of the shell controller (teacher machine):
// asks every online student, through the teacher daemon, to search the
// folder, counts the answers on the progress bar, and merges each answer
// into the search results, which it saves to SearchResult.xml after every
// answer.
#ifndef TAV_GUI_SEARCHPROGRAMFORSHELLCONTROLLER_H
#define TAV_GUI_SEARCHPROGRAMFORSHELLCONTROLLER_H

#include "SearchProgramBase.h"
#include "TeacherAPICallbackBase.h"

#include <string>

namespace IPCAPI {
class IPCTeacherAPI;
}

namespace LibTAVGUI {

class CSearchProgramForShellController : public CSearchProgramBase, public CTeacherAPICallbackBase {
public:
    CSearchProgramForShellController();
    // Cancels a running search and stops taking answers before the window
    // and the API object go (see CSearchProgramBase on threads).
    ~CSearchProgramForShellController() override;

    // Builds the window and registers for the students' answers.
    int Init() override;
    int OnSearchBtnClicked() override;
    int CancelSearch() override;
    // One student's answer (IPC worker thread); an empty student id ends
    // the search.
    void SearchProgramCallBack(std::string studentID, std::string programsXML) override;

protected:
    // The API object as what it is; null when there is none.
    IPCAPI::IPCTeacherAPI* TeacherAPI() const;

    int m_iAnswersReceived;
    int m_iAnswersExpected;
};

} // namespace LibTAVGUI

#endif
