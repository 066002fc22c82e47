// The "Application Selection" window: lists the programs found by earlier
// searches (SearchResult.xml) and lets the user pick several. The opener
// shows it with ShowModal and a destroy callback, then reads the choice with
// GetSelectApplicationList from the object, which outlives its window.
#ifndef TAV_GUI_ADDAPPLICATIONWINDOW_H
#define TAV_GUI_ADDAPPLICATIONWINDOW_H

#include "SearchResultData.h"
#include "TAVWindowBase.h"
#include "TabNavigationData.h"

#include <list>

namespace LibTAVGUI {

class CAddApplicationWindow : public CTAVWindowBase {
public:
    CAddApplicationWindow();
    ~CAddApplicationWindow() override;

    int Init() override;

    // Fills the list from SearchResult.xml; returns the number of rows.
    int LoadXMLData();
    // Replaces out by copies of the chosen programs in order; returns their
    // number.
    int GetSelectApplicationList(std::list<LibTAVData::CApplicationInfo>& out);
    // Appends a copy to the choice; returns the choice's new size.
    int AddNewApplication(const LibTAVData::CApplicationInfo& app);

    static void GtkOKBtnClicked(GtkWidget* widget, void* window);
    static void GtkCancelBtnClicked(GtkWidget* widget, void* window);
    static gboolean GtkOnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, void* window);
    static void GtkTreeSelectionForeachFunc(GtkTreeModel* model, GtkTreePath* path,
                                            GtkTreeIter* iter, void* window);

protected:
    enum { COL_PIXBUF = 0, COL_NAME, COL_APP, N_COLUMNS };

    LibTAVData::CSearchResultData m_SearchResult;
    GtkListStore* m_pProgramStore;
    GtkWidget* m_pProgramView;
    std::list<LibTAVData::CApplicationInfo> m_listSelection;
};

} // namespace LibTAVGUI

#endif
