// The desktop program on Qt's offscreen platform, its dialogs answered by a script or through their widgets.
#include <filesystem>
#include <tuple>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include "tests/support.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/folder_picker.h"
#include "ui/qt/log_box.h"
#include "ui/qt/tool_dialog.h"

namespace {

template <typename T = QWidget>
T* Control(QWidget& dialog, const char* name) { return dialog.findChild<T*>(name); }

// Offers the active modal dialog of type T to act every 10 ms until act returns true; act must not block (see Press).
template <typename T, typename Act>
void WhenModal(QObject* context, Act act) {
  QTimer::singleShot(10, context, [context, act] {
    T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !act(dialog)) WhenModal<T>(context, act);
  });
}
bool Press(QAbstractButton* b) { return QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection); }

// Answers the commands' dialogs from `answers` ("", or none left: Cancel), recording each request in `asked`.
struct ScriptedDialogs : WindowServices {
  std::vector<std::string> answers, asked;

  bool GetOpenFileName(const FileDialogRequest& r, std::string& path) override { return Next("open ", r, path); }
  bool GetSaveFileName(const FileDialogRequest& r, std::string& path) override { return Next("save ", r, path); }
  int BrowseForFolder(std::string& folder, const char* title, const char* root, const char* initial) override {
    return Next("browse ", {title, initial, "root", root}, folder) ? 1 : 0;
  }
  bool Next(std::string kind, const FileDialogRequest& r, std::string& chosen) {
    asked.push_back(kind + r.title + " in " + r.initialFolder + " " + r.filterDescription + "|" + r.filterPattern);
    chosen = asked.size() <= answers.size() ? answers[asked.size() - 1] : "";
    return !chosen.empty();
  }
};

TEST(MainDialog, ControlsLogBoxAndAboutBox) {
  auto dialog = std::make_unique<CToolDialog>();
  auto* log = Control<LogBox>(*dialog, "IDC_LOG");
  // The log box: read-only; the log widens "\r\n" to CR CR LF, and the message's own CR shows as a control picture.
  dialog->show();
  for (const char* message : {"Saving ", "", "caf\xC3\xA9...\n", "x\r\ny\n"}) LogPrintf("%s", message);
  for (const char key : {'a', 'c', 'v'}) QTest::keyClick(log, key, Qt::ControlModifier);  // Select All, Copy, Paste
  EXPECT_EQ(log->Text(), QString::fromUtf8("Saving caf\u00E9...\nx\u240D\ny\n"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), log->Text());
  for (int i = 0; i < 197; ++i) LogPrintf("Compressing file%03d.bin (%d bytes)\n", i, i);
  // Scrolled up by the user, the box still scrolls to a message that brings in the horizontal bar.
  QCoreApplication::processEvents();
  QScrollBar* bar = log->verticalScrollBar();
  bar->setValue(0);
  LogPrintf("%s\n", QString::fromUtf8("Extracting caf\u00e9 ").repeated(30).toStdString().c_str());
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog->GetLineCount(), 202) << "the long line did not wrap";
  EXPECT_EQ(bar->value() + bar->pageStep(), log->LineCount()) << "the last line at the bottom";
  EXPECT_TRUE(log->horizontalScrollBar()->isVisible());

  int opened = 0;
  const auto checkAndClose = [&](CAboutDialog* box) {
    auto* ok = Control<QPushButton>(*box, "IDOK");
    EXPECT_EQ(box->parentWidget(), dialog.get());
    EXPECT_TRUE(ok->isDefault());
    return Press(ok) && ++opened;
  };
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  WhenModal<CAboutDialog>(dialog.get(), checkAndClose);
  QTest::keyClick(dialog.get(), Qt::Key_F1);
  WhenModal<CAboutDialog>(dialog.get(), checkAndClose);
  ASSERT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);  // the window menu's About item stands there
  dialog->actions().value(0)->trigger();
  WhenModal<CAboutDialog>(dialog.get(), checkAndClose);
  EXPECT_TRUE(dialog->OnSysCommand(0x001F)) << "the low four bits are the window system's";
  for (unsigned other : {0x0000u, 0x0020u, 0xF060u}) EXPECT_FALSE(dialog->OnSysCommand(other)) << other;
  EXPECT_EQ(opened, 3);
  dialog.reset();
  EXPECT_EQ(g_pMainDialog, nullptr) << "no message may reach a closed window";
}

// 32 folders deep: longer than the 259 characters a path once could hold.
const std::string kDeep = "mods/island/" + QString("folder-level-0123456/").repeated(30).chopped(1).toStdString();

// The main window, shown, with a clock that stands still, over a fresh current folder holding kDeep and mods/other.
class CommandTest : public ::testing::Test {
 protected:
  CommandTest() {
    for (const char* folder : {kDeep.c_str(), "mods/other"}) std::filesystem::create_directories(At(folder));
    dialog.SetWindowServices(&dialogs);
    dialog.SetClock([] { return RepaintThrottle::Clock::time_point{}; });
    dialog.show();
  }
  std::string At(const std::string& relative) const { return relative.empty() ? "" : scratch.path() + "/" + relative; }

  test::TempDir scratch{false};  // Qt opens descriptors of its own on first use
  ScriptedDialogs dialogs;
  CToolDialog dialog;
};

struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override { return (paints += event->type() == QEvent::Paint, false); }
};

TEST_F(CommandTest, ExtractThenCompressEachMakeTheChosenFilesFolderCurrent) {
  const std::vector<std::pair<std::string, std::string>> files = {{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}};
  test::WriteFile(At("mods/other/maps.vrk"), test::ArchiveBytes::Of(files));
  dialogs.answers = {At("mods/other/maps.vrk"), At("mods/other/maps"), At(kDeep + "/pack")};
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  PaintCounter counter;
  dialog.installEventFilter(&counter);
  dialog.OnExtract();
  EXPECT_EQ(counter.paints, 2) << "the first of four messages, then the held-back last one";

  QTest::mouseClick(Control<QPushButton>(dialog, "IDC_COMPRESS"), Qt::LeftButton);
  EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"open Extract file... in " + scratch.path() + " VRK files|*.vrk",
                                                     "browse Compress folder.. in " + At("mods/other") + " root|",
                                                     "save Save to... in " + At("mods/other") + " VRK files|*.vrk"}));
  EXPECT_EQ(test::ReadFile(At(kDeep + "/pack")), test::ArchiveBytes::Of(files));
  EXPECT_EQ(platform::Sys().CurrentDirectory(), At(kDeep));
}

// Escape, or Enter outside a button, ends the window; Enter clicks a button, whose abandoned command changes nothing.
using KeyCase = std::tuple<const char*, const char*, Qt::Key, std::vector<std::string>>;
class KeyTest : public CommandTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, EndsTheDialogOrClicksAButtonWhoseCommandChangesNothingWhenAbandoned) {
  const auto& [label, focus, key, answers] = GetParam();
  for (const std::string& answer : answers) dialogs.answers.push_back(At(answer));
  EXPECT_EQ(dialog.focusWidget(), Control(dialog, "IDC_EXTRACT")) << "the focus starts on Extract";
  Control(dialog, focus)->setFocus();
  QTest::keyClick(Control(dialog, focus), key);

  const std::string error = "Error: " + At("gone") + ": cannot enter the folder: No such file or directory\n";
  EXPECT_EQ(dialog.isVisible(), !answers.empty());
  EXPECT_EQ(dialogs.asked.size(), answers.size());
  EXPECT_EQ(Control<LogBox>(dialog, "IDC_LOG")->Text().toStdString(),
            !answers.empty() && answers.back().starts_with("gone/") ? error : "");
  EXPECT_EQ(platform::Sys().CurrentDirectory(), scratch.path());
}

const auto kLabel = [](const auto& info) { return std::string(std::get<0>(info.param)); };

INSTANTIATE_TEST_SUITE_P(
    Commands, KeyTest,
    ::testing::Values(KeyCase("EscapeEnds", "IDC_EXTRACT", Qt::Key_Escape, {}),
                      KeyCase("EnterOutsideAButtonEnds", "IDC_LOG", Qt::Key_Return, {}),
                      KeyCase("ExtractCancelled", "IDC_EXTRACT", Qt::Key_Return, {""}),
                      KeyCase("FolderPickerCancelledSkipsTheSaveDialog", "IDC_COMPRESS", Qt::Key_Return, {""}),
                      KeyCase("SaveCancelled", "IDC_COMPRESS", Qt::Key_Return, {"mods/island", ""}),
                      KeyCase("ExtractFromMissingFolder", "IDC_EXTRACT", Qt::Key_Return, {"gone/maps.vrk"}),
                      KeyCase("SaveIntoMissingFolder", "IDC_COMPRESS", Qt::Key_Return, {"mods/island", "gone/pack"})),
    kLabel);

// Rows: label, root, preselection, selection when the user acts (after Down if it differs, and once mods lists island
// and other if preselected), and whether the user then presses OK (else Cancel); "": none, the top of the tree at "/".
using PickerCase = std::tuple<const char*, std::string, std::string, std::string, bool>;
class FolderPickerTest : public CommandTest, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(FolderPickerTest, StatusLineShowsTheSelectionWhichOkReturns) {
  const auto& [label, rootIn, initialIn, selectedIn, ok] = GetParam();
  const std::string root = At(rootIn), initial = At(initialIn), selected = At(selectedIn);
  g_strInitialFolder = "earlier";
  WhenModal<FolderBrowserDialog>(&dialog, [&](FolderBrowserDialog* picker) {
    auto* files = picker->findChild<QFileSystemModel*>();
    auto* tree = Control<QTreeView>(*picker, "folderTree");
    if (tree->model()->rowCount(tree->rootIndex()) != 1) return false;  // one item at the top, once listed
    if (!initialIn.empty() && files->rowCount(files->index(QString::fromStdString(At("mods")))) != 2) return false;
    if (!selectedIn.empty() && selectedIn != initialIn) QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(Control<QLabel>(*picker, "titleText")->text() + picker->windowTitle(), "PickPick");
    const QModelIndex top = tree->model()->index(0, 0, tree->rootIndex());
    EXPECT_EQ(top.data(QFileSystemModel::FilePathRole).toString().toStdString(), root.empty() ? "/" : root);
    EXPECT_EQ(Control<QLineEdit>(*picker, "statusText")->text().toStdString(), selected);
    auto* buttons = picker->findChild<QDialogButtonBox*>();
    EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->isEnabled(), !selected.empty());
    return Press(buttons->button(ok && !selected.empty() ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel));
  });
  std::string folder = "untouched";
  EXPECT_EQ(BrowseForFolder(folder, "Pick", nullptr, root.c_str(), initialIn.empty() ? nullptr : initial.c_str()),
            ok ? 1 : 0);
  EXPECT_EQ(folder, ok ? selected : "untouched");
  EXPECT_EQ(g_strInitialFolder, initialIn.empty() ? "earlier" : initial) << "kept for the next picker";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderPickerTest,
    ::testing::Values(PickerCase("RootStandsAloneAndAPathOfAnyLengthIsPreselected", "mods/island", kDeep, kDeep, true),
                      PickerCase("FollowsTheUserAndCancelKeepsTheString", "", "mods/island", "mods/other", false),
                      PickerCase("NoInitialFolderSelectsNothing", "", "", "", false),
                      PickerCase("NoPreselectionOutsideTheRoot", "mods/other", "mods/island", "", false)),
    kLabel);

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
