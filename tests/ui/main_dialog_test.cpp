// The main window, its About box and the application object.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/log_box.h"
#include "ui/resource_names.h"
#include "ui/tool_app.h"
#include "ui/tool_dialog.h"
#include "ui_support.h"

namespace {

using uitest::ModalScript;

template <typename T = QWidget>
T* Control(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// A step that checks the About box and closes it with "OK".
std::function<bool(QWidget*)> CheckAndCloseAbout(QWidget* owner, int* opened) {
  return [owner, opened](QWidget* modal) {
    if (modal->objectName() != RESOURCE_NAME(IDD_ABOUT)) return false;
    ++*opened;
    EXPECT_EQ(modal->windowTitle(), "About VRKTool");
    EXPECT_EQ(modal->parentWidget(), owner);
    EXPECT_EQ(Control<QLabel>(*modal, "aboutTitle")->text(), "Korvane VRK Tool\nVersion 1.01a");
    EXPECT_EQ(Control<QLabel>(*modal, "aboutCredit")->text().count('\n'), 1) << "two lines of credit";
    auto* ok = Control<QPushButton>(*modal, "IDOK");
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    uitest::Later([ok] { ok->click(); });
    return true;
  };
}

TEST(MainDialog, ControlsCaptionsAndFrame) {
  CToolDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Korvane VRK Tool");
  auto* extract = Control<QPushButton>(dialog, "IDC_EXTRACT");
  auto* compress = Control<QPushButton>(dialog, "IDC_COMPRESS");
  QWidget* log = Control(dialog, "IDC_LOG");
  EXPECT_EQ(extract->text(), "Extract");
  EXPECT_EQ(compress->text(), "Compress");
  EXPECT_EQ((std::vector{extract->property("resourceId").toInt(), compress->property("resourceId").toInt(),
                         log->property("resourceId").toInt()}),
            (std::vector{1001, 1002, 1004}));
  // Side by side above the log, as in the template.
  EXPECT_EQ(extract->y(), compress->y());
  EXPECT_LT(extract->geometry().right(), compress->x());
  EXPECT_LT(compress->geometry().bottom(), log->y());

  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
  const Qt::WindowFlags flags = dialog.windowFlags();
  // Without CustomizeWindowHint the window system picks the buttons itself.
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(dialog.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
}

TEST(MainDialog, LogBoxIsReadOnlyAndLongLinesRunOnToTheRight) {
  CToolDialog dialog;
  dialog.show();
  auto* log = Control<LogBox>(dialog, "IDC_LOG");
  log->setFocus();
  QTest::keyClicks(log, "typed");
  QTest::keyClick(log, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(log->Text(), "");

  const QString line = QString::fromUtf8("Extracting caf\u00e9 \u6f22\u5b57 ").repeated(20);
  LogPrintf("%s\nAll done!\n", line.toStdString().c_str());
  QCoreApplication::processEvents();
  EXPECT_EQ(log->LineCount(), 3) << "the long line did not wrap";
  QScrollBar* bar = log->horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_GE(bar->maximum() + log->viewport()->width(), QFontMetrics(log->font()).horizontalAdvance(line))
      << "the scroll bar reaches the end of the line";
}

TEST(MainDialog, LogBoxSelectsAndCopies) {
  CToolDialog dialog;
  dialog.show();
  auto* log = Control<LogBox>(dialog, "IDC_LOG");
  LogPrintf("first line\nsecond line\n");
  QCoreApplication::processEvents();
  const int lineHeight = QFontMetrics(log->font()).lineSpacing();
  QWidget* view = log->viewport();
  const QPoint from(1, lineHeight / 2 + 2);
  const QPoint to(view->width() - 2, lineHeight + lineHeight / 2 + 2);  // past the second line's end
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(view, to);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_EQ(log->SelectedText(), "first line\nsecond line");

  QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "first line\nsecond line\n");
}

struct KeyCase {
  const char* name;
  const char* focus;
  Qt::Key key;
  bool ends;
};

class MainDialogKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MainDialogKeyTest, EscapeOrEnterOutsideAButtonEndsTheDialog) {
  CToolDialog dialog;
  uitest::ScriptedDialogs dialogs;
  dialogs.Answer(std::nullopt);  // Enter on "Extract" clicks it: cancel its dialog
  dialog.SetWindowServices(&dialogs);
  bool ended = false;
  QObject::connect(&dialog, &QDialog::finished, [&ended] { ended = true; });
  dialog.show();
  EXPECT_EQ(dialog.focusWidget(), Control(dialog, "IDC_EXTRACT")) << "focus starts on Extract";
  QWidget* focus = Control(dialog, GetParam().focus);
  focus->setFocus();
  QTest::keyClick(focus, GetParam().key);
  EXPECT_EQ(ended, GetParam().ends);
  EXPECT_EQ(dialogs.AllAnswered(), !GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(Keys, MainDialogKeyTest,
                         ::testing::Values(KeyCase{"EscapeOnExtract", "IDC_EXTRACT", Qt::Key_Escape, true},
                                           KeyCase{"EscapeInLog", "IDC_LOG", Qt::Key_Escape, true},
                                           KeyCase{"EnterInLog", "IDC_LOG", Qt::Key_Return, true},
                                           KeyCase{"EnterOnExtractClicksIt", "IDC_EXTRACT", Qt::Key_Return, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MainDialog, AboutCommandIgnoresTheLowFourBits) {
  CToolDialog dialog;
  int opened = 0;
  for (unsigned command : {0x0010u, 0x0013u, 0x001Fu, 0x0000u, 0x0020u, 0xF060u}) {
    const bool about = (command & 0xFFF0) == 0x0010;
    ModalScript script;
    if (about) script.Then(CheckAndCloseAbout(&dialog, &opened));
    EXPECT_EQ(dialog.OnSysCommand(command), about) << command;
  }
  EXPECT_EQ(opened, 3);
}

TEST(MainDialog, AboutItemIsInTheContextMenuAndOnF1) {
  CToolDialog dialog;
  EXPECT_EQ(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
  auto* about = dialog.findChild<QAction*>(RESOURCE_NAME(IDM_ABOUT));
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(dialog.actions().contains(about));
  EXPECT_EQ(about->text(), "&About VRKTool...");

  dialog.show();
  int opened = 0;
  {
    ModalScript script;
    script.Then(CheckAndCloseAbout(&dialog, &opened)).Then(CheckAndCloseAbout(&dialog, &opened));
    about->trigger();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
  }
  EXPECT_EQ(opened, 2);
}

TEST(Application, RunsTheMainDialogAsTheLogsTargetUntilItCloses) {
  theApp.InitApplication();
  EXPECT_EQ(QApplication::applicationName(), "VRKTool");
  EXPECT_EQ(QApplication::applicationVersion(), "1.0.0.1");

  ModalScript script;
  script.Then([](QWidget* modal) {
    if (modal->objectName() != RESOURCE_NAME(IDD_MAIN)) return false;
    EXPECT_EQ(g_pMainDialog, static_cast<LogView*>(static_cast<CToolDialog*>(modal)));
    EXPECT_EQ(theApp.m_pMainWnd, modal);
    QTest::keyClick(modal, Qt::Key_Escape);
    return true;
  });
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  EXPECT_EQ(g_pMainDialog, nullptr) << "no message may reach a closed window";
}

}  // namespace
