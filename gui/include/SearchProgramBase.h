// The "Search Program" dialog: a path entry, a progress bar and one button
// that reads "Search" while idle and "Cancel" while a search runs. The
// search itself is done by the daemons; a variant starts it, cancels it and
// takes the answers, which arrive through the IPC callback interfaces on the
// IPC worker thread.
//
// Answers touch the dialog only inside the GDK lock. Like every call that
// destroys widgets, deleting a search dialog belongs on the GTK thread with
// the GDK lock held (inside a handler, or between gdk_threads_enter and
// gdk_threads_leave); the destructor then waits for an answer that is
// already on its way instead of leaving it blocked on that lock.
#ifndef TAV_GUI_SEARCHPROGRAMBASE_H
#define TAV_GUI_SEARCHPROGRAMBASE_H

#include "SearchResultData.h"
#include "TAVWindowBase.h"

#include <atomic>
#include <string>

namespace LibTAVGUI {

class CSearchProgramBase : public CTAVWindowBase {
public:
    CSearchProgramBase();
    ~CSearchProgramBase() override;

    // Starts a search, or cancels the running one.
    virtual int OnSearchBtnClicked() = 0;
    // Cancels the running search: above 0 when a search was cancelled.
    virtual int CancelSearch() = 0;
    // Builds the window; target is the object every GTK handler works on.
    // -2 for a null target, else -1.
    virtual int AttachBaseClassGTKHandler(CSearchProgramBase* target);

    // "Search" / "Cancel" pressed.
    static void GtkSearchBtnClicked(GtkWidget* widget, void* dialog);
    // The window's close box: cancels the running search, then closes.
    static gboolean GtkOnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, void* dialog);

protected:
    // --- What both variants share (defined inside the library). variant
    // and side name the variant's class and its API's side ("student",
    // "teacher") in log lines. ---

    // Init of a variant: builds the window with this dialog as handler
    // target, registers callback with api for the answers (without api it
    // logs that searching is not available), and sets built. Returns 0.
    template <class API, class Callback>
    int InitVariant(API* api, Callback* callback, const char* variant, const char* side);
    // The common start of a "Search" press. While a search runs it cancels
    // it (the button reads "Search" again only when the search stopped) and
    // returns false. Otherwise it reads the path into m_strSearchPath and
    // returns true when a search may be sent: false, after a message box,
    // for an empty path or when hasAPI is false.
    bool BeginSearch(bool hasAPI, const char* variant, const char* side);
    // A search request went out as operationID: it runs from now on, the
    // button reads "Cancel" and the bar starts from nothing.
    void SearchStarted(int operationID);
    // First thing in a variant's destructor (GTK thread, GDK lock held):
    // cancels a running search, then StopCallbacks.
    void StopSearching();

    // The path entry's text.
    std::string ReadSearchPath();
    // The button's label: "Search" or "Cancel" (translated here).
    void SetButtonLabel(const char* text);
    void SetProgress(double fraction);
    void SetSearchButtonSensitive(bool sensitive);
    // An information box with one OK button on the dialog.
    void ShowInformation(const char* text);

    // Worker thread, at the start of an answer: true with the GDK lock
    // held, false (no lock) once the dialog is going away.
    bool EnterCallback();
    // Worker thread, at the end of an answer that EnterCallback admitted.
    void LeaveCallback();
    // GTK thread, GDK lock held, first thing in a variant's destructor:
    // later answers are turned away, one on its way is waited for.
    void StopCallbacks();

    GtkWidget* m_pPathEntry;
    GtkWidget* m_pSearchBtn;
    GtkWidget* m_pProgressBar;
    CSearchProgramBase* m_pHandlerTarget;
    std::string m_strSearchPath;
    // Of the running search; 0 while none runs.
    int m_iOperationID;
    LibTAVData::CSearchResultData m_SearchResult;

private:
    static void OnWindowDestroyed(GtkWidget* widget, gpointer self);

    std::atomic<bool> m_bStopping;
    std::atomic<int> m_iCallbacksInside;
};

} // namespace LibTAVGUI

#endif
