// The main window, its About box and the application object.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/about_dialog.h"
#include "ui/log_box.h"
#include "ui/resource_names.h"
#include "ui/tool_app.h"
#include "ui/tool_dialog.h"
#include "ui_support.h"

namespace {

using uitest::ModalScript;

template <typename T>
T* Control(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// A step that checks the About box's texts and closes it with "OK".
std::function<bool(QWidget*)> CheckAndCloseAbout(QWidget* expectedOwner, int* opened) {
  return [expectedOwner, opened](QWidget* modal) {
    if (modal->objectName() != RESOURCE_NAME(IDD_ABOUT)) return false;
    ++*opened;
    EXPECT_EQ(modal->windowTitle(), "About VRKTool");
    EXPECT_EQ(modal->parentWidget(), expectedOwner);
    EXPECT_EQ(Control<QLabel>(*modal, "aboutTitle")->text(), "Korvane VRK Tool\nVersion 1.01a");
    EXPECT_EQ(Control<QLabel>(*modal, "aboutCredit")->text().count('\n'), 1) << "two lines of credit";
    auto* ok = Control<QPushButton>(*modal, "IDOK");
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(modal->minimumSize(), modal->maximumSize()) << "fixed size";
    uitest::Later([ok] { ok->click(); });
    return true;
  };
}

struct ControlCase {
  const char* objectName;
  int resourceId;
  const char* text;
};

class MainDialogControlTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(MainDialogControlTest, ButtonCarriesItsIdAndCaption) {
  CToolDialog dialog;
  auto* button = Control<QPushButton>(dialog, GetParam().objectName);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->property("resourceId").toInt(), GetParam().resourceId);
  EXPECT_EQ(button->text(), GetParam().text);
  EXPECT_EQ(button->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
}

INSTANTIATE_TEST_SUITE_P(Buttons, MainDialogControlTest,
                         ::testing::Values(ControlCase{RESOURCE_NAME(IDC_EXTRACT), 1001, "Extract"},
                                           ControlCase{RESOURCE_NAME(IDC_COMPRESS), 1002, "Compress"}),
                         [](const auto& info) { return std::string(info.param.objectName); });

TEST(MainDialog, HasCaptionFixedFrameIconAndNoMinimiseOrMaximise) {
  CToolDialog dialog;
  EXPECT_EQ(dialog.objectName(), RESOURCE_NAME(IDD_MAIN));
  EXPECT_EQ(dialog.windowTitle(), "Korvane VRK Tool");
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  // The template's 244 by 172 units keep their proportions in any font.
  const double aspect = double(dialog.width()) / dialog.height();
  EXPECT_NEAR(aspect, (244.0 * 6 / 4) / (172.0 * 13 / 8), 0.25);
  const Qt::WindowFlags flags = dialog.windowFlags();
  // Without CustomizeWindowHint the window system picks the buttons itself.
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(dialog.parentWidget(), nullptr) << "a window of its own, with its own task-bar entry";
  const QIcon icon = dialog.windowIcon();
  EXPECT_FALSE(icon.isNull());
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
  EXPECT_EQ(dialog.OnQueryDragIcon().cacheKey(), icon.cacheKey());
}

TEST(MainDialog, ButtonsSideBySideAboveTheLogAndTheCreditLine) {
  CToolDialog dialog;
  const QRect extract = Control<QWidget>(dialog, "IDC_EXTRACT")->geometry();
  const QRect compress = Control<QWidget>(dialog, "IDC_COMPRESS")->geometry();
  const QRect log = Control<QWidget>(dialog, "IDC_LOG")->geometry();
  auto* credit = Control<QLabel>(dialog, "creditText");
  EXPECT_EQ(extract.top(), compress.top());
  EXPECT_EQ(extract.size(), compress.size());
  EXPECT_LT(extract.right(), compress.left());
  EXPECT_LT(compress.bottom(), log.top());
  EXPECT_LT(log.bottom(), credit->geometry().top());
  EXPECT_EQ(extract.left(), log.left());
  EXPECT_TRUE(dialog.rect().contains(compress.united(log).united(credit->geometry())));
  EXPECT_FALSE(credit->text().isEmpty());
  EXPECT_FALSE(credit->text().contains('\n'));
  EXPECT_EQ(credit->alignment(), Qt::AlignCenter);
}

TEST(MainDialog, LogBoxIsReadOnlyAndLongLinesRunOnToTheRight) {
  CToolDialog dialog;
  dialog.show();
  auto* log = Control<LogBox>(dialog, "IDC_LOG");
  EXPECT_EQ(log->property("resourceId").toInt(), 1004);
  log->setFocus();
  QTest::keyClicks(log, "typed");
  QTest::keyClick(log, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(log->Text(), "");
  LogPrintf("%s\n", std::string(400, 'x').c_str());
  QCoreApplication::processEvents();
  EXPECT_EQ(log->LineCount(), 2) << "the long line did not wrap";
  EXPECT_GT(log->horizontalScrollBar()->maximum(), 0);
  EXPECT_TRUE(log->horizontalScrollBar()->isVisible());
}

TEST(MainDialog, FocusStartsOnExtractAndTabsThroughButtonsAndLog) {
  CToolDialog dialog;
  dialog.show();
  QWidget* extract = Control<QWidget>(dialog, "IDC_EXTRACT");
  EXPECT_EQ(dialog.focusWidget(), extract);
  EXPECT_EQ(extract->nextInFocusChain(), Control<QWidget>(dialog, "IDC_COMPRESS"));
  QWidget* log = Control<QWidget>(dialog, "IDC_LOG");
  EXPECT_EQ(Control<QWidget>(dialog, "IDC_COMPRESS")->nextInFocusChain(), log);
  EXPECT_TRUE(log->focusPolicy() & Qt::TabFocus);
}

struct KeyCase {
  const char* name;
  const char* focus;  // object name of the control that has the focus
  Qt::Key key;
  bool ends;
};

class MainDialogKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MainDialogKeyTest, EscapeOrEnterOutsideAButtonEndsTheDialog) {
  const KeyCase& c = GetParam();
  CToolDialog dialog;
  uitest::ScriptedDialogs dialogs;
  dialogs.Answer(std::nullopt);  // Enter on "Extract" clicks it: cancel its dialog
  dialog.SetWindowServices(&dialogs);
  bool ended = false;
  QObject::connect(&dialog, &QDialog::finished, [&ended] { ended = true; });
  dialog.show();
  QWidget* focus = Control<QWidget>(dialog, c.focus);
  focus->setFocus();
  QTest::keyClick(focus, c.key);
  EXPECT_EQ(ended, c.ends);
  EXPECT_EQ(dialogs.AllAnswered(), !c.ends);
}

INSTANTIATE_TEST_SUITE_P(Keys, MainDialogKeyTest,
                         ::testing::Values(KeyCase{"EscapeOnExtract", "IDC_EXTRACT", Qt::Key_Escape, true},
                                           KeyCase{"EscapeInLog", "IDC_LOG", Qt::Key_Escape, true},
                                           KeyCase{"EnterInLog", "IDC_LOG", Qt::Key_Return, true},
                                           KeyCase{"EnterOnExtractClicksIt", "IDC_EXTRACT", Qt::Key_Return, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SysCommandCase {
  unsigned command;
  bool opensAbout;
};

class SysCommandTest : public ::testing::TestWithParam<SysCommandCase> {};

TEST_P(SysCommandTest, AboutCommandIgnoresTheLowFourBits) {
  CToolDialog dialog;
  int opened = 0;
  {
    ModalScript script;
    if (GetParam().opensAbout) script.Then(CheckAndCloseAbout(&dialog, &opened));
    EXPECT_EQ(dialog.OnSysCommand(GetParam().command), GetParam().opensAbout);
  }
  EXPECT_EQ(opened, GetParam().opensAbout ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Commands, SysCommandTest,
                         ::testing::Values(SysCommandCase{0x0010, true}, SysCommandCase{0x0013, true},
                                           SysCommandCase{0x001F, true}, SysCommandCase{0x0000, false},
                                           SysCommandCase{0x0020, false}, SysCommandCase{0xF060, false}),
                         [](const auto& info) { return "Command" + std::to_string(info.param.command); });

TEST(MainDialog, AboutItemIsInTheContextMenuAndOnF1) {
  CToolDialog dialog;
  EXPECT_EQ(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
  auto* about = dialog.findChild<QAction*>(RESOURCE_NAME(IDM_ABOUT));
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(dialog.actions().contains(about));
  EXPECT_EQ(about->text(), "&About VRKTool...");
  EXPECT_EQ(about->shortcut(), QKeySequence(Qt::Key_F1));

  dialog.show();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
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
  EXPECT_TRUE(dialog.isVisible()) << "closing the About box returns to the main window";
}

TEST(Application, RunsTheMainDialogAsTheLogsTargetUntilItCloses) {
  theApp.InitApplication();
  EXPECT_EQ(QApplication::applicationName(), "VRKTool");
  EXPECT_EQ(QApplication::applicationVersion(), "1.0.0.1");
  EXPECT_FALSE(QApplication::windowIcon().isNull());

  ModalScript script;
  script.Then([](QWidget* modal) {
    if (modal->objectName() != RESOURCE_NAME(IDD_MAIN)) return false;
    auto* dialog = static_cast<CToolDialog*>(modal);
    EXPECT_EQ(g_pMainDialog, static_cast<LogView*>(dialog));
    EXPECT_EQ(theApp.m_pMainWnd, modal);
    LogPrintf("OK!\n");
    EXPECT_EQ(uitest::LogText(*dialog), "OK!\n");
    QTest::keyClick(modal, Qt::Key_Escape);
    return true;
  });
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
  EXPECT_EQ(g_pMainDialog, nullptr) << "no message may reach a closed window";
}

}  // namespace
