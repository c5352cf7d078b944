// The main window, its log box and its About box.
#include <memory>
#include <tuple>

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "ui/qt/about_dialog.h"
#include "ui/qt/tool_dialog.h"
#include "ui_support.h"

namespace {

using uitest::Control;

TEST(MainDialog, ControlsCaptionsAndFrameAndTheLogGoesToItWhileItLives) {
  auto dialog = std::make_unique<CToolDialog>();
  EXPECT_EQ(g_pMainDialog, static_cast<LogView*>(dialog.get()));
  auto* extract = Control<QPushButton>(*dialog, "IDC_EXTRACT");
  auto* compress = Control<QPushButton>(*dialog, "IDC_COMPRESS");
  QWidget* log = Control(*dialog, "IDC_LOG");
  auto* credit = Control<QLabel>(*dialog, "creditText");
  EXPECT_EQ(
      QStringList({dialog->windowTitle(), extract->text(), compress->text(), credit->text()}),
      QStringList({"Korvane VRK Tool", "Extract", "Compress", "Korvane VRK Tool - unpacks and packs game archives"}));
  // The buttons side by side above the log box; fixed size, no minimise or maximise box.
  EXPECT_EQ(extract->y(), compress->y());
  EXPECT_LT(extract->geometry().right(), compress->x());
  EXPECT_LT(compress->geometry().bottom(), log->y());
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
  EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  dialog.reset();
  EXPECT_EQ(g_pMainDialog, nullptr) << "no message may reach a closed window";
}

TEST(MainDialog, FocusStartsOnExtractAndEscapeOrEnterOutsideAButtonEndsIt) {
  using Case = std::tuple<const char*, Qt::Key, bool>;  // the focus, the key, whether the dialog ends
  for (const auto& [focus, key, ends] :
       {Case{"IDC_EXTRACT", Qt::Key_Escape, true}, Case{"IDC_LOG", Qt::Key_Escape, true},
        Case{"IDC_LOG", Qt::Key_Return, true}, Case{"IDC_EXTRACT", Qt::Key_Return, false}}) {
    CToolDialog dialog;
    uitest::ScriptedDialogs dialogs;
    dialogs.answers = {std::nullopt};  // Enter on "Extract" clicks it: cancel its dialog
    dialog.SetWindowServices(&dialogs);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), Control(dialog, "IDC_EXTRACT"));
    Control(dialog, focus)->setFocus();
    QTest::keyClick(Control(dialog, focus), key);
    EXPECT_EQ(finished.count(), ends ? 1 : 0) << focus << " " << key;
    EXPECT_EQ(dialogs.answers.empty(), !ends) << "Enter on a button clicks it";
  }
}

TEST(LogBox, ShowsTheTranscriptReadOnlyUnwrappedWithItsEndInView) {
  CToolDialog dialog;
  dialog.show();
  auto* log = Control<LogBox>(dialog, "IDC_LOG");
  QScrollBar* bar = log->verticalScrollBar();
  // The log widens "\r\n" to CR CR LF: the message's own CR shows as a control picture.
  for (const char* message : {"Saving ", "", "caf\xC3\xA9...\n", "x\r\ny\n"}) LogPrintf("%s", message);
  EXPECT_EQ(log->Text(), QString::fromUtf8("Saving caf\u00E9...\nx\u240D\ny\n"));
  for (int i = 0; i < 197; ++i) LogPrintf("Compressing file%03d.bin (%d bytes)\n", i, i);
  QCoreApplication::processEvents();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  // Scrolled up by the user, the box still scrolls to a message that brings in the horizontal bar.
  bar->setValue(0);
  const QString line = QString::fromUtf8("Extracting caf\u00e9 ").repeated(30);
  LogPrintf("%s\n", line.toStdString().c_str());
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.GetLineCount(), 202) << "the long line did not wrap";
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_GE(bar->maximum() + bar->pageStep(), log->LineCount());
  EXPECT_TRUE(log->horizontalScrollBar()->isVisible());
  EXPECT_GE(log->horizontalScrollBar()->maximum() + log->viewport()->width(),
            QFontMetrics(log->font()).horizontalAdvance(line))
      << "the scroll bar reaches the end of the line";

  const QString text = log->Text();
  QGuiApplication::clipboard()->setText("pasted");
  log->setFocus();
  QTest::keyClicks(log, "typed");
  QTest::keyClick(log, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(log->Text(), text);
  QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
}

TEST(MainDialog, AboutItemInTheContextMenuOnF1AndAsCommandOpensTheAboutBox) {
  CToolDialog dialog;
  auto* about = Control<QAction>(dialog, "IDM_ABOUT");
  EXPECT_EQ(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(dialog.actions().contains(about));
  EXPECT_EQ(about->text(), "&About VRKTool...");
  dialog.show();
  int opened = 0;
  const auto checkAndClose = [&](CAboutDialog* modal) {
    ++opened;
    auto* ok = Control<QPushButton>(*modal, "IDOK");
    EXPECT_EQ(modal->parentWidget(), &dialog);
    EXPECT_EQ(QStringList({modal->windowTitle(), Control<QLabel>(*modal, "aboutTitle")->text(), ok->text()}),
              QStringList({"About VRKTool", "Korvane VRK Tool\nVersion 1.01a", "OK"}));
    EXPECT_EQ(Control<QLabel>(*modal, "aboutCredit")->text().count('\n'), 1) << "two lines of credit";
    EXPECT_TRUE(ok->isDefault());
    return uitest::Press(ok);
  };
  {
    uitest::ModalScript script;
    script.Then<CAboutDialog>(checkAndClose).Then<CAboutDialog>(checkAndClose).Then<CAboutDialog>(checkAndClose);
    about->trigger();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_TRUE(dialog.OnSysCommand(0x001F)) << "the low four bits are the window system's";
  }
  for (unsigned other : {0x0000u, 0x0020u, 0xF060u}) EXPECT_FALSE(dialog.OnSysCommand(other)) << other;
  EXPECT_EQ(opened, 3);
}

}  // namespace
