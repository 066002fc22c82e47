// The "Search Program" dialog of the administrative tool (student
// machine): asks the student daemon to search the folder locally and takes
// its one answer. The daemon keeps the results file; the dialog loads the
// answer into its own search results.
#ifndef TAV_GUI_SEARCHPROGRAMFORADMINTOOL_H
#define TAV_GUI_SEARCHPROGRAMFORADMINTOOL_H

#include "SearchProgramBase.h"
#include "StudentAPICallbackBase.h"

#include <string>

namespace IPCAPI {
class IPCStudentAPI;
}

namespace LibTAVGUI {

class CSearchProgramForAdminTool : public CSearchProgramBase, public CStudentAPICallbackBase {
public:
    CSearchProgramForAdminTool();
    // Cancels a running search and stops taking answers before the window
    // and the API object go (see CSearchProgramBase on threads).
    ~CSearchProgramForAdminTool() override;

    // Builds the window and registers for the daemon's answers.
    int Init() override;
    int OnSearchBtnClicked() override;
    int CancelSearch() override;
    // The daemon's answer (IPC worker thread).
    void SearchLocalProgramCallBack(std::string programsXML) override;

protected:
    // The API object as what it is; null when there is none.
    IPCAPI::IPCStudentAPI* StudentAPI() const;
};

} // namespace LibTAVGUI

#endif
