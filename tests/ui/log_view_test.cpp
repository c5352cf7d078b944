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

struct TranscriptCase {
  const char* name;
  std::vector<std::string> messages;
  QString shown;  // the box's text, each CR LF of the transcript as a line break
};

class LogTranscriptTest : public ::testing::TestWithParam<TranscriptCase> {};

TEST_P(LogTranscriptTest, BoxShowsTheTranscriptWithEachCrLfAsOneLineBreak) {
  CToolDialog dialog;
  for (const std::string& message : GetParam().messages) LogPrintf("%s", message.c_str());
  EXPECT_EQ(uitest::LogText(dialog), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LogTranscriptTest,
    ::testing::Values(
        TranscriptCase{"Lines", {"Extracting file maps.vrk...\n", "a\nb\n", "All done!\n"},
                       "Extracting file maps.vrk...\na\nb\nAll done!\n"},
        TranscriptCase{"NoLineFeedContinuesTheLine", {"Saving ", "", "maps.vrk...\n"}, "Saving maps.vrk...\n"},
        // The log widens "\r\n" to CR CR LF: the message's own CR shows as a
        // control picture, not as a second line break.
        TranscriptCase{"CarriageReturnOfTheMessageStaysVisible", {"x\r\ny\n"}, QString::fromUtf8("x\u240D\ny\n")},
        TranscriptCase{"EightBitTextPassesThrough", {"caf\xC3\xA9.txt\n"}, QString::fromUtf8("caf\u00E9.txt\n")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogView, EndOfTheTranscriptStaysInViewEvenAfterTheUserScrolledUp) {
  CToolDialog dialog;
  dialog.show();
  auto* log = dialog.findChild<LogBox*>(RESOURCE_NAME(IDC_LOG));
  QScrollBar* bar = log->verticalScrollBar();
  for (int i = 0; i < 200; ++i) LogPrintf("Compressing file%03d.bin (%d bytes)\n", i, i);
  EXPECT_EQ(dialog.GetLineCount(), 201);
  QCoreApplication::processEvents();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  // The next message, long enough to bring in the horizontal scroll bar, is
  // still scrolled to, not hidden behind that bar.
  bar->setValue(0);
  LogPrintf("Extracting %s (1 bytes)\n", std::string(300, 'n').c_str());
  QCoreApplication::processEvents();
  EXPECT_TRUE(log->horizontalScrollBar()->isVisible());
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_GE(bar->maximum() + bar->pageStep(), log->LineCount());
}

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
  // A clock that stands still: every message after the first comes within
  // 40 ms of the repaint before it.
  dialog.SetClock([] { return RepaintThrottle::Clock::time_point{}; });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QCoreApplication::processEvents();
  PaintCounter counter;
  dialog.installEventFilter(&counter);

  dialog.OnExtract();

  EXPECT_EQ(counter.paints, 2) << "the first message, then the held-back last one";
}

}  // namespace
