// The window lifecycle every dialog shares: build, show plain or modal,
// hide, close, and destruction by other ways than Close.
#include "GuiTestUtil.h"
#include "TAVWindowBase.h"

#include <gtest/gtest.h>

using namespace tavguitest;

namespace {

// The smallest dialog: a window with one label. finish = false leaves the
// build unfinished (built stays false).
class CPlainWindow : public LibTAVGUI::CTAVWindowBase {
public:
    explicit CPlainWindow(bool finish = true) : m_finish(finish) {}
    int Init() override
    {
        DestoryWindow();
        m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        WatchWindow();
        gtk_container_add(GTK_CONTAINER(m_pWindow), gtk_label_new("plain"));
        m_bBuilt = m_finish;
        return 0;
    }
    GtkWidget* Window() const { return m_pWindow; }
    bool Built() const { return m_bBuilt; }
    bool ShownModal() const { return m_bShownModal; }

private:
    bool m_finish;
};

void CountCall(GtkWidget*, gpointer counter) { ++*static_cast<int*>(counter); }

class WindowBaseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitGtk()); }
    void TearDown() override { Pump(10); }
};

TEST_F(WindowBaseTest, NothingIsShownBeforeInit)
{
    CPlainWindow dialog;
    EXPECT_FALSE(dialog.Show());
    CPlainWindow parent;
    parent.Init();
    EXPECT_FALSE(dialog.ShowModal(parent.Window(), nullptr, nullptr));
    EXPECT_FALSE(dialog.Hidden());
    EXPECT_EQ(dialog.Close(), 0);
    EXPECT_EQ(dialog.Window(), nullptr);
}

TEST_F(WindowBaseTest, ShowModalNeedsAParentAndConnectsTheCallbackOnlyWithData)
{
    CPlainWindow parent;
    parent.Init();
    ASSERT_TRUE(parent.Show());
    EXPECT_FALSE(parent.ShownModal());

    int calls = 0;
    {
        CPlainWindow dialog;
        dialog.Init();
        EXPECT_FALSE(dialog.ShowModal(nullptr, G_CALLBACK(CountCall), &calls));
        EXPECT_FALSE(gtk_widget_get_visible(dialog.Window()));

        // A callback without data is not connected.
        EXPECT_TRUE(dialog.ShowModal(parent.Window(), G_CALLBACK(CountCall), nullptr));
        EXPECT_TRUE(dialog.ShownModal());
        EXPECT_TRUE(gtk_widget_get_visible(dialog.Window()));
        EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog.Window())));
        EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog.Window())),
                  GTK_WINDOW(parent.Window()));
    }
    EXPECT_EQ(calls, 0);

    CPlainWindow dialog;
    dialog.Init();
    EXPECT_TRUE(dialog.ShowModal(parent.Window(), G_CALLBACK(CountCall), &calls));
    EXPECT_EQ(dialog.Close(), 0);
    EXPECT_EQ(calls, 1);
    // Plain Show after a modal one.
    dialog.Init();
    EXPECT_TRUE(dialog.Show());
    EXPECT_FALSE(dialog.ShownModal());
}

TEST_F(WindowBaseTest, ShowingModalAgainRunsTheDestroyCallbackOnce)
{
    CPlainWindow parent;
    parent.Init();
    ASSERT_TRUE(parent.Show());
    int calls = 0;
    int otherCalls = 0;
    CPlainWindow dialog;
    dialog.Init();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(dialog.ShowModal(parent.Window(), G_CALLBACK(CountCall), &calls));
    // Another caller's callback still gets its own connection.
    ASSERT_TRUE(dialog.ShowModal(parent.Window(), G_CALLBACK(CountCall), &otherCalls));
    dialog.Close();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(otherCalls, 1);
}

TEST_F(WindowBaseTest, CloseDestroysOnceAndInitBuildsAgain)
{
    CPlainWindow dialog;
    dialog.Init();
    int destroyed = 0;
    g_signal_connect(dialog.Window(), "destroy", G_CALLBACK(CountCall), &destroyed);
    ASSERT_TRUE(dialog.Show());
    EXPECT_EQ(dialog.Close(), 0);
    EXPECT_EQ(dialog.Close(), 0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_FALSE(dialog.Built());
    EXPECT_FALSE(dialog.Show());

    // A new window after Close is destroyed by the next Close too.
    dialog.Init();
    int destroyedAgain = 0;
    g_signal_connect(dialog.Window(), "destroy", G_CALLBACK(CountCall), &destroyedAgain);
    EXPECT_TRUE(dialog.Show());
    dialog.Close();
    EXPECT_EQ(destroyedAgain, 1);
}

TEST_F(WindowBaseTest, HiddenWorksOnAnUnfinishedWindow)
{
    CPlainWindow dialog(false);
    dialog.Init();
    gtk_widget_show(dialog.Window());
    EXPECT_FALSE(dialog.Show());
    EXPECT_TRUE(dialog.Hidden());
    EXPECT_FALSE(gtk_widget_get_visible(dialog.Window()));
}

TEST_F(WindowBaseTest, WindowDestroyedElsewhereIsForgotten)
{
    // Closed from the window manager: GTK destroys the window itself; the
    // object must neither show nor destroy it again (the destructor of an
    // object whose window went that way runs under the sanitizers here).
    auto* dialog = new CPlainWindow;
    dialog->Init();
    ASSERT_TRUE(dialog->Show());
    Pump(20);
    CloseFromWindowManager(dialog->Window());
    EXPECT_EQ(dialog->Window(), nullptr);
    EXPECT_FALSE(dialog->Built());
    EXPECT_FALSE(dialog->Show());
    EXPECT_FALSE(dialog->Hidden());
    delete dialog;

    // Destroyed together with its parent.
    CPlainWindow parent;
    parent.Init();
    CPlainWindow child;
    child.Init();
    gtk_window_set_destroy_with_parent(GTK_WINDOW(child.Window()), TRUE);
    ASSERT_TRUE(child.ShowModal(parent.Window(), nullptr, nullptr));
    parent.Close();
    EXPECT_EQ(child.Window(), nullptr);
}

TEST_F(WindowBaseTest, TheGdkLockIsMadeOnce)
{
    // A second lock made while the first is held would leave the GUI
    // thread holding a lock nobody else uses.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GMutex* before = gdk_threads_mutex;
    CPlainWindow first;
    CPlainWindow second;
    EXPECT_EQ(gdk_threads_mutex, before);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

} // namespace
