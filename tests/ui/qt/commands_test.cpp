// Extract and Compress clicked in the main window with their dialogs answered
// by a script, and the folder picker answered through its widgets.
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "ui/commands.h"
#include "ui/qt/folder_picker.h"
#include "ui/qt/tool_dialog.h"
#include "ui_support.h"

namespace {

using test::ArchiveBytes;
using uitest::Current;
using uitest::Put;

// 32 folders deep: longer than the 259 characters a path once could hold.
const std::string kDeep = "mods/island/" + QString("folder-level-0123456/").repeated(30).chopped(1).toStdString();

class CommandTest : public ::testing::Test {
 protected:
  CommandTest() {
    std::filesystem::create_directories(start);
    platform::Sys().ChangeDirectory(start);
    dialog.SetWindowServices(&dialogs);
    dialog.show();
  }
  std::string At(const std::string& relative) const {
    return scratch.path() + (relative.empty() ? "" : "/") + relative;
  }
  void Click(const char* button) { QTest::mouseClick(uitest::Control<QPushButton>(dialog, button), Qt::LeftButton); }

  test::TempDir scratch;
  const std::string start = At("start");
  uitest::ScriptedDialogs dialogs;
  CToolDialog dialog;
};

TEST_F(CommandTest, CompressThenExtractEachLeaveTheChosenFilesFolderCurrent) {
  // The archive goes deep, under a name typed without extension.
  const std::string out = At("out/" + kDeep);
  std::filesystem::create_directories(out);
  Put(At("mods/island/a.txt"), "abc");
  Put(At("data/maps.vrk"), ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}}));
  dialogs.answers = {At("mods/island"), out + "/pack", At("data/maps.vrk")};

  Click("IDC_COMPRESS");
  EXPECT_EQ(Current(), out);
  Click("IDC_EXTRACT");

  EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"browse Compress folder.. in " + start + " root|",
                                                     "save Save to... in " + start + " VRK files|*.vrk",
                                                     "open Extract file... in " + out + " VRK files|*.vrk"}));
  EXPECT_EQ(uitest::LogText(dialog).toStdString(), "Compressing path " + At("mods/island") +
                                                       " into pack...\n"
                                                       "Compressing a.txt (3 bytes)\n"
                                                       "OK!\n"
                                                       "Saving pack...\n"
                                                       "All done!\n"
                                                       "Extracting file maps.vrk...\n"
                                                       "Extracting a.txt (3 bytes)\n"
                                                       "Extracting sub\\b.txt (10 bytes)\n"
                                                       "All done!\n");
  EXPECT_EQ(test::ReadFile(out + "/pack"), ArchiveBytes::Of({{"a.txt", "abc"}}));
  EXPECT_EQ(test::TreeOf(At("data/maps")),
            (std::map<std::string, std::string>{{"a.txt", "abc"}, {"sub/b.txt", "0123456789"}}));
  EXPECT_EQ(Current(), At("data"));
}

struct AbandonCase {
  const char* label;
  const char* button;
  std::vector<std::optional<std::string>> answers;  // below the scratch folder; nullopt: Cancel
  bool missingFolder;                               // the chosen file's folder "gone" does not exist
};

class AbandonTest : public CommandTest, public ::testing::WithParamInterface<AbandonCase> {};

TEST_P(AbandonTest, LeavesDiskAndCurrentFolderAsTheyWereAndLogsOnlyAnError) {
  Put(At("data/maps.vrk"), ArchiveBytes::Of({{"a.txt", "abc"}}));
  Put(At("mods/island/a.txt"), "abc");
  for (const auto& answer : GetParam().answers) dialogs.answers.push_back(answer ? At(*answer) : answer);
  LogPrintf("earlier text\n");
  const auto disk = test::Snapshot(scratch.path());

  Click(GetParam().button);

  const std::string error = "Error: " + At("gone") + ": cannot enter the folder: No such file or directory\n";
  EXPECT_TRUE(dialogs.answers.empty());  // and no dialog beyond them (ScriptedDialogs fails on one)
  EXPECT_EQ(uitest::LogText(dialog).toStdString(), "earlier text\n" + (GetParam().missingFolder ? error : ""));
  EXPECT_EQ(test::Snapshot(scratch.path()), disk);
  EXPECT_EQ(Current(), start);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AbandonTest,
    ::testing::Values(AbandonCase{"ExtractCancelled", "IDC_EXTRACT", {std::nullopt}, false},
                      AbandonCase{"FolderPickerCancelledSkipsTheSaveDialog", "IDC_COMPRESS", {std::nullopt}, false},
                      AbandonCase{"SaveCancelled", "IDC_COMPRESS", {"mods/island", std::nullopt}, false},
                      AbandonCase{"ExtractFromMissingFolder", "IDC_EXTRACT", {"gone/maps.vrk"}, true},
                      AbandonCase{"SaveIntoMissingFolder", "IDC_COMPRESS", {"mods/island", "gone/pack.vrk"}, true}),
    test::LabelName());

struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override { return (paints += event->type() == QEvent::Paint, false); }
};

TEST_F(CommandTest, RepaintsOnceForABurstOfMessagesAndOnceMoreForTheLast) {
  Put(At("maps.vrk"), ArchiveBytes::Of({{"a.txt", "abc"}, {"b.txt", "0123456789"}}));
  dialogs.answers = {At("maps.vrk")};
  // A clock that stands still: each message after the first comes within 40 ms of the last repaint.
  dialog.SetClock([] { return RepaintThrottle::Clock::time_point{}; });
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QCoreApplication::processEvents();
  PaintCounter counter;
  dialog.installEventFilter(&counter);
  dialog.OnExtract();
  EXPECT_EQ(counter.paints, 2) << "the first of four messages, then the held-back last one";
}

// Folders below the scratch folder, which holds start, kDeep (in mods/island) and mods/other.
struct PickerCase {
  const char* label;
  std::string root;      // "": none, the top of the file system
  std::string initial;   // "": no preselection
  const char* loaded;    // a folder whose two folders are listed before the user acts; nullptr: none
  bool stepDown;         // the user presses Down in the tree
  std::string selected;  // then; "": nothing
  bool ok;               // the user presses OK, else Cancel
};

class FolderPickerTest : public CommandTest, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(FolderPickerTest, StatusLineShowsTheSelectionWhichOkReturns) {
  const PickerCase& c = GetParam();
  std::filesystem::create_directories(At(kDeep));
  std::filesystem::create_directories(At("mods/other"));
  const std::string selected = c.selected.empty() ? "" : At(c.selected);
  g_strInitialFolder = "earlier";

  uitest::ModalScript script;
  script.Then<FolderBrowserDialog>([&](FolderBrowserDialog* picker) {
    auto* files = picker->findChild<QFileSystemModel*>();
    if (c.loaded && files->rowCount(files->index(QString::fromStdString(At(c.loaded)))) != 2) return false;
    auto* tree = uitest::Control<QTreeView>(*picker, "folderTree");
    if (c.stepDown) QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(uitest::Control<QLabel>(*picker, "titleText")->text() + "|" + picker->windowTitle(),
              "Compress folder..|Compress folder..");
    // One item at the top of the tree: the root, or the top of the file system.
    std::string top, now;
    EXPECT_EQ(tree->model()->rowCount(tree->rootIndex()), 1);
    picker->PathFromItem(tree->model()->index(0, 0, tree->rootIndex()), top);
    EXPECT_EQ(top, c.root.empty() ? "/" : At(c.root));
    picker->PathFromItem(picker->SelectedItem(), now);
    EXPECT_EQ(now, selected);
    EXPECT_EQ(uitest::Control<QLineEdit>(*picker, "statusText")->text().toStdString(), selected);
    auto* buttons = picker->findChild<QDialogButtonBox*>();
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    EXPECT_EQ(ok->isEnabled(), !selected.empty());
    return uitest::Press(c.ok && ok->isEnabled() ? ok : buttons->button(QDialogButtonBox::Cancel));
  });
  std::string folder = "untouched";
  const std::string root = c.root.empty() ? "" : At(c.root), initial = At(c.initial);
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, root.c_str(),
                            c.initial.empty() ? nullptr : initial.c_str()),
            c.ok ? 1 : 0);
  EXPECT_EQ(folder, c.ok ? selected : "untouched");
  EXPECT_EQ(g_strInitialFolder, c.initial.empty() ? "earlier" : initial) << "kept for the next picker";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderPickerTest,
    ::testing::Values(PickerCase{"PreselectsAPathOfAnyLength", "", kDeep, nullptr, false, kDeep, true},
                      PickerCase{"FollowsTheUsersSelection", "", "mods/island", "mods", true, "mods/other", true},
                      PickerCase{"CancelLeavesTheStringUntouched", "", "mods", nullptr, false, "mods", false},
                      PickerCase{"NoInitialFolderSelectsNothing", "", "", nullptr, false, "", false},
                      PickerCase{"RootStandsAloneAtTheTop", "mods", "mods/island", "", false, "mods/island", false},
                      PickerCase{"NoPreselectionOutsideTheRoot", "mods/other", "mods/island", "mods", false, "",
                                 false}),
    test::LabelName());

}  // namespace
