// What both "Search Program" variants must do alike, written once and run
// over each: a test program instantiates the suite with its side, a struct
// that names the variant and drives its daemon:
//
//   struct Side {
//       using Dialog = ...;                 // the variant
//       static const char* const kVariant;  // its class name in log lines
//       static const char* const kSide;     // "student" / "teacher"
//       static const char* const kCancelRequest;
//       static const char* const kAnswerEntered;  // trace lines of its
//       static const char* const kAnswerDone;     // answer callback
//       // Types path and presses "Search": the search request sent.
//       static Request Start(GtkWidget* window, const std::string& path);
//       // The daemon's answer to search opid (one student's on the teacher side).
//       static IPCAPI::CIntfData Answer(int opid, const std::string& programsXML);
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, SearchDialogTest, Side);
#ifndef TAV_GUI_TESTS_SEARCHDIALOGCASES_H
#define TAV_GUI_TESTS_SEARCHDIALOGCASES_H

#include "FakeDaemon.h"
#include "SearchTestUtil.h"
#include "TestShellSetting.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tavguitest {

template <class Side>
class SearchDialogTest : public ShellSettingTest {
protected:
    using Dialog = typename Side::Dialog;

    // The variant whose callback base got no API object.
    class WithoutAPI : public Dialog {
    public:
        WithoutAPI() { this->ReleaseAPI(); }
    };

    void SetUp() override
    {
        ShellSettingTest::SetUp();
        ASSERT_TRUE(FreshDaemon());
    }

    // Sends an answer and runs the loop until the dialog has taken it.
    static bool Answer(int opid, const std::string& programsXML)
    {
        const int before = CountInLog(Side::kAnswerDone);
        return Daemon().Send(Side::Answer(opid, programsXML)) &&
               PumpUntil([&] { return CountInLog(Side::kAnswerDone) > before; }, 8000);
    }
};

TYPED_TEST_SUITE_P(SearchDialogTest);

TYPED_TEST_P(SearchDialogTest, AnEmptyPathIsRefusedWithAMessage)
{
    typename TestFixture::Dialog dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowClass(window), "Search Program/TAV");
    MessageBoxAnswerer answerer;
    ASSERT_TRUE(Click(FindButton(window, "Search")));
    EXPECT_EQ(answerer.Texts(), std::vector<std::string>{"Please input search path first!"});
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
    EXPECT_NE(FindButton(window, "Search"), nullptr);
}

TYPED_TEST_P(SearchDialogTest, CancelSendsTheRunningSearchsIDAndGoesBackToSearch)
{
    typename TestFixture::Dialog dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    const Request search = TypeParam::Start(window, "/opt/apps");
    EXPECT_FALSE(search.blocking);
    EXPECT_EQ(search.String("targetFolder"), "/opt/apps");
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    const Request cancel = Daemon().Take();
    EXPECT_EQ(cancel.message, TypeParam::kCancelRequest);
    EXPECT_TRUE(cancel.blocking);
    EXPECT_EQ(cancel.Int("OID"), search.OperationID());
    EXPECT_NE(FindButton(window, "Search"), nullptr);
    EXPECT_DOUBLE_EQ(Progress(window), 0.0);
}

TYPED_TEST_P(SearchDialogTest, ARefusedCancelKeepsTheSearchRunningAndTheNextPressAsksAgain)
{
    typename TestFixture::Dialog dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    const Request search = TypeParam::Start(window, "/opt/apps");
    ASSERT_TRUE(Daemon().SetGarbageReply(TypeParam::kCancelRequest));
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    EXPECT_EQ(Daemon().Take().Int("OID"), search.OperationID());
    EXPECT_TRUE(Logged("ERROR", "CancelSearch Failure!"));
    EXPECT_NE(FindButton(window, "Cancel"), nullptr);

    ASSERT_TRUE(Daemon().ResetReplies());
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    const Request cancel = Daemon().Take();
    EXPECT_EQ(cancel.message, TypeParam::kCancelRequest);
    EXPECT_EQ(cancel.Int("OID"), search.OperationID());
    EXPECT_NE(FindButton(window, "Search"), nullptr);
}

TYPED_TEST_P(SearchDialogTest, AnAnswerToACancelledSearchChangesNothing)
{
    typename TestFixture::Dialog dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    const Request search = TypeParam::Start(window, "/opt/apps");
    ASSERT_TRUE(Click(FindButton(window, "Cancel")));
    ASSERT_EQ(Daemon().Take().message, TypeParam::kCancelRequest);
    ASSERT_TRUE(TestFixture::Answer(search.OperationID(), ProgramsDoc({"Late"})));
    EXPECT_DOUBLE_EQ(Progress(window), 0.0);
    EXPECT_NE(FindButton(window, "Search"), nullptr);
    EXPECT_FALSE(tavtest::FileExists("/etc/TAV/SearchResult.xml"));
}

TYPED_TEST_P(SearchDialogTest, ClosingTheWindowDuringASearchCancelsItFirst)
{
    typename TestFixture::Dialog dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    const Request search = TypeParam::Start(window, "/opt");
    CloseFromWindowManager(window);
    Pump(30);
    const Request cancel = Daemon().Take();
    EXPECT_EQ(cancel.message, TypeParam::kCancelRequest);
    EXPECT_EQ(cancel.Int("OID"), search.OperationID());
    EXPECT_EQ(FindWindow("Search Program"), nullptr);
    // Nothing runs any more: no second cancel.
    EXPECT_EQ(dialog.CancelSearch(), 0);
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TYPED_TEST_P(SearchDialogTest, WithoutAnAPIObjectTheSearchRefusesCleanly)
{
    typename TestFixture::WithoutAPI dialog;
    GtkWidget* window = TestFixture::OpenSearch(dialog);
    ASSERT_NE(window, nullptr);
    const std::string variant = TypeParam::kVariant;
    const std::string side = TypeParam::kSide;
    EXPECT_TRUE(Logged("ERROR", variant + "::Init() --No " + side +
                                    " API object: searching is not available!"));
    Type(PathEntry(window), "/opt");
    MessageBoxAnswerer answerer;
    ASSERT_TRUE(Click(FindButton(window, "Search")));
    ASSERT_EQ(answerer.Boxes().size(), 1u);
    EXPECT_EQ(answerer.Boxes()[0].type, GTK_MESSAGE_ERROR);
    EXPECT_EQ(answerer.Boxes()[0].text, "Cannot search: the search service is not available!");
    EXPECT_TRUE(Logged("ERROR", variant + "::OnSearchBtnClicked() --No " + side +
                                    " API object, search refused!"));
    EXPECT_NE(FindButton(window, "Search"), nullptr);
    CloseFromWindowManager(window);
    Pump(30);
    EXPECT_EQ(FindWindow("Search Program"), nullptr);
    EXPECT_TRUE(Daemon().TakeAll(100).empty());
}

TYPED_TEST_P(SearchDialogTest, DeletingTheDialogWhileAnAnswerWaitsForTheGdkLockDoesNotHang)
{
    auto dialog = std::make_unique<typename TestFixture::Dialog>();
    GtkWidget* window = TestFixture::OpenSearch(*dialog);
    const Request search = TypeParam::Start(window, "/opt");
    const int before = CountInLog(TypeParam::kAnswerEntered);
    ASSERT_TRUE(Daemon().Send(TypeParam::Answer(search.OperationID(), ProgramsDoc({"Paint"}))));
    // This thread holds the GDK lock and does not run the loop: the answer
    // gets into the dialog's callback and waits there.
    ASSERT_TRUE(
        tavtest::WaitFor([&] { return CountInLog(TypeParam::kAnswerEntered) > before; }, 8000));
    dialog.reset();
    EXPECT_EQ(CountInLog(TypeParam::kAnswerDone), CountInLog(TypeParam::kAnswerEntered));
    // The running search was cancelled on the way out, and the answer was
    // not taken.
    EXPECT_EQ(Daemon().Take().message, TypeParam::kCancelRequest);
    EXPECT_EQ(FindWindow("Search Program"), nullptr);
    EXPECT_FALSE(tavtest::FileExists("/etc/TAV/SearchResult.xml"));
}

REGISTER_TYPED_TEST_SUITE_P(SearchDialogTest, AnEmptyPathIsRefusedWithAMessage,
                            CancelSendsTheRunningSearchsIDAndGoesBackToSearch,
                            ARefusedCancelKeepsTheSearchRunningAndTheNextPressAsksAgain,
                            AnAnswerToACancelledSearchChangesNothing,
                            ClosingTheWindowDuringASearchCancelsItFirst,
                            WithoutAnAPIObjectTheSearchRefusesCleanly,
                            DeletingTheDialogWhileAnAnswerWaitsForTheGdkLockDoesNotHang);

} // namespace tavguitest

#endif
