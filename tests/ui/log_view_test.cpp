// The log box as the progress log's view.
#include <QEvent>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/log_box.h"
#include "ui/resource_names.h"
#include "ui/tool_dialog.h"
#include "ui_support.h"

namespace {

LogBox* LogOf(CToolDialog& dialog) {
  return dialog.findChild<LogBox*>(QStringLiteral(RESOURCE_NAME(IDC_LOG)));
}

struct TranscriptCase {
  const char* name;
  std::vector<std::string> messages;
  // The box's text: each CR LF of the transcript as one line break.
  QString shown;
};

class LogTranscriptTest : public ::testing::TestWithParam<TranscriptCase> {};

TEST_P(LogTranscriptTest, BoxShowsTheTranscriptWithEachCrLfAsOneLineBreak) {
  CToolDialog dialog;
  dialog.show();
  for (const std::string& message : GetParam().messages) LogPrintf("%s", message.c_str());
  EXPECT_EQ(uitest::LogText(dialog), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LogTranscriptTest,
    ::testing::Values(
        TranscriptCase{"OneLine", {"OK!\n"}, "OK!\n"},
        TranscriptCase{"TwoLineFeedsTwoLines", {"a\nb\n"}, "a\nb\n"},
        TranscriptCase{"NoLineFeedContinuesTheLine", {"Saving ", "maps.vrk...\n"}, "Saving maps.vrk...\n"},
        TranscriptCase{"EmptyMessageChangesNothing", {"x\n", ""}, "x\n"},
        // The log widens "\r\n" to CR CR LF: the first CR is the message's own
        // and is shown as a control picture, not as a second line break.
        TranscriptCase{"CarriageReturnOfTheMessageStaysVisible", {"x\r\ny\n"}, QString::fromUtf8("x\u240D\ny\n")},
        TranscriptCase{"EightBitTextPassesThrough", {"Extracting caf\xC3\xA9.txt (3 bytes)\n"},
                       QString::fromUtf8("Extracting caf\u00E9.txt (3 bytes)\n")},
        TranscriptCase{"ExtractTranscript",
                       {"Extracting file maps.vrk...\n", "Extracting a.txt (3 bytes)\n",
                        "Extracting sub\\b.txt (10 bytes)\n", "All done!\n"},
                       "Extracting file maps.vrk...\nExtracting a.txt (3 bytes)\nExtracting sub\\b.txt (10 "
                       "bytes)\nAll done!\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogView, EndOfTheTranscriptStaysInViewEvenAfterTheUserScrolledUp) {
  CToolDialog dialog;
  dialog.show();
  QScrollBar* bar = LogOf(dialog)->verticalScrollBar();
  for (int i = 0; i < 200; ++i) LogPrintf("Compressing file%03d.bin (%d bytes)\n", i, i);
  EXPECT_EQ(dialog.GetLineCount(), 201);
  QCoreApplication::processEvents();  // what the user sees once the loop runs
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  // The user scrolls up; the next message, long enough to bring in the
  // horizontal scroll bar, is still scrolled to, not hidden behind that bar.
  bar->setValue(0);
  const std::string longName(300, 'n');
  LogPrintf("Extracting %s (1 bytes)\n", longName.c_str());
  QCoreApplication::processEvents();
  EXPECT_TRUE(LogOf(dialog)->horizontalScrollBar()->isVisible());
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_TRUE(uitest::LogText(dialog).endsWith(QString::fromStdString("file199.bin (199 bytes)\nExtracting " + longName + " (1 bytes)\n")));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(LogView, CommandRepaintsOnceForABurstAndOnceMoreForItsLastMessage) {
  uitest::ScratchFolder scratch;
  uitest::WriteFile(scratch / "maps.vrk", uitest::ArchiveOf({{"a.txt", "abc"}, {"b.txt", "0123456789"}}));
  uitest::ScriptedDialogs dialogs;
  dialogs.Answer(scratch / "maps.vrk");

  CToolDialog dialog;
  dialog.SetWindowServices(&dialogs);
  // A clock that stands still: every message after the first falls within
  // 40 ms of the repaint before it.
  dialog.SetClock([] { return RepaintThrottle::Clock::time_point{}; });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QCoreApplication::processEvents();
  PaintCounter counter;
  dialog.installEventFilter(&counter);

  dialog.OnExtract();
  EXPECT_EQ(counter.paints, 2) << "the first message, then the held-back last one";
  EXPECT_TRUE(uitest::LogText(dialog).endsWith("All done!\n"));
}

}  // namespace
