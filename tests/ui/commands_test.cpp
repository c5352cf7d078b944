// Extract and Compress driven from the main window, the dialogs answered by
// a script.
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/commands.h"
#include "ui/resource_names.h"
#include "ui/tool_dialog.h"
#include "ui_support.h"

namespace {

using uitest::Request;

class CommandTest : public ::testing::Test {
 protected:
  CommandTest() {
    uitest::MakeFolders(scratch / "start");
    uitest::ChangeDirectory(scratch / "start");
    dialog.SetWindowServices(&dialogs);
    dialog.show();
  }

  void Click(const char* button) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
  }

  uitest::ScratchFolder scratch;
  uitest::ScriptedDialogs dialogs;
  CToolDialog dialog;
};

TEST_F(CommandTest, ExtractUnpacksBesideTheArchiveAndLeavesItsFolderCurrent) {
  uitest::WriteFile(scratch / "data/maps.vrk", uitest::ArchiveOf({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}}));
  dialogs.Answer(scratch / "data/maps.vrk");

  Click(RESOURCE_NAME(IDC_EXTRACT));

  ASSERT_EQ(dialogs.requests().size(), 1u);
  const Request& open = dialogs.requests()[0];
  EXPECT_EQ(open.kind, Request::Open);
  EXPECT_EQ(open.title, "Extract file...");
  EXPECT_EQ(open.initialFolder, scratch / "start");
  EXPECT_EQ(open.filterDescription, "VRK files");
  EXPECT_EQ(open.filterPattern, "*.vrk");

  EXPECT_EQ(uitest::LogText(dialog),
            "Extracting file maps.vrk...\n"
            "Extracting a.txt (3 bytes)\n"
            "Extracting sub\\b.txt (10 bytes)\n"
            "All done!\n");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/maps/a.txt"), "abc");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/maps/sub/b.txt"), "0123456789");
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "data");
  EXPECT_FALSE(uitest::Exists(scratch / "start/maps"));
}

TEST_F(CommandTest, CompressPacksTheChosenFolderIntoTheChosenFileAndBothDialogsStartWhereItStarted) {
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  uitest::MakeFolders(scratch / "out");
  dialogs.Answer(scratch / "mods/island").Answer(scratch / "out/pack.vrk");

  Click(RESOURCE_NAME(IDC_COMPRESS));

  ASSERT_EQ(dialogs.requests().size(), 2u);
  const Request& browse = dialogs.requests()[0];
  EXPECT_EQ(browse.kind, Request::Browse);
  EXPECT_EQ(browse.title, "Compress folder..");
  EXPECT_EQ(browse.rootPath, std::optional<std::string>(""));
  EXPECT_TRUE(browse.hasInitialFolder);
  EXPECT_EQ(browse.initialFolder, scratch / "start");
  const Request& save = dialogs.requests()[1];
  EXPECT_EQ(save.kind, Request::Save);
  EXPECT_EQ(save.title, "Save to...");
  EXPECT_EQ(save.initialFolder, scratch / "start") << "not the folder just chosen";
  EXPECT_EQ(save.filterDescription, "VRK files");
  EXPECT_EQ(save.filterPattern, "*.vrk");

  EXPECT_EQ(uitest::LogText(dialog).toStdString(),
            "Compressing path " + (scratch / "mods/island") + " into pack.vrk...\n"
            "Compressing a.txt (3 bytes)\n"
            "OK!\n"
            "Saving pack.vrk...\n"
            "All done!\n");
  EXPECT_EQ(uitest::ReadFile(scratch / "out/pack.vrk"), uitest::ArchiveOf({{"a.txt", "abc"}}));
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "out");
}

TEST_F(CommandTest, PackedFolderExtractsAgainAndEachCommandStartsInTheLastChosenFilesFolder) {
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  uitest::WriteFile(scratch / "mods/island/maps/m1.dat", std::string(1000, 'm'));
  uitest::MakeFolders(scratch / "out");
  dialogs.Answer(scratch / "mods/island").Answer(scratch / "out/pack.vrk");
  dialogs.Answer(scratch / "out/pack.vrk");
  dialogs.Answer(std::nullopt);

  Click(RESOURCE_NAME(IDC_COMPRESS));
  Click(RESOURCE_NAME(IDC_EXTRACT));
  Click(RESOURCE_NAME(IDC_COMPRESS));

  ASSERT_EQ(dialogs.requests().size(), 4u);
  EXPECT_EQ(dialogs.requests()[2].initialFolder, scratch / "out");
  EXPECT_EQ(dialogs.requests()[3].initialFolder, scratch / "out");
  EXPECT_EQ(uitest::Snapshot(scratch / "out/pack"), uitest::Snapshot(scratch / "mods/island"));
  EXPECT_TRUE(uitest::LogText(dialog).contains("Extracting maps\\m1.dat (1000 bytes)\n"));
}

TEST_F(CommandTest, SavedNameWithoutExtensionIsUsedAsTyped) {
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  dialogs.Answer(scratch / "mods/island").Answer(scratch / "maps");

  Click(RESOURCE_NAME(IDC_COMPRESS));

  EXPECT_TRUE(uitest::Exists(scratch / "maps"));
  EXPECT_FALSE(uitest::Exists(scratch / "maps.vrk"));
  EXPECT_TRUE(uitest::LogText(dialog).contains("Saving maps...\n"));
}

TEST_F(CommandTest, TypedNameOfAMissingArchiveIsPassedOnAndCreatesNothing) {
  dialogs.Answer(scratch / "start/missing.vrk");
  const auto before = uitest::Snapshot(scratch.path());

  Click(RESOURCE_NAME(IDC_EXTRACT));

  EXPECT_TRUE(uitest::LogText(dialog).startsWith("Extracting file missing.vrk...\n"));
  EXPECT_EQ(uitest::Snapshot(scratch.path()), before);
}

TEST_F(CommandTest, ChosenFileInAFolderThatCannotBeEnteredIsReportedAndNothingIsWritten) {
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  dialogs.Answer(scratch / "mods/island").Answer(scratch / "gone/pack.vrk");
  const auto before = uitest::Snapshot(scratch.path());

  Click(RESOURCE_NAME(IDC_COMPRESS));

  EXPECT_EQ(uitest::LogText(dialog).toStdString(),
            "Error: " + (scratch / "gone") + ": cannot enter the folder: No such file or directory\n");
  EXPECT_EQ(uitest::Snapshot(scratch.path()), before);
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "start");
}

TEST_F(CommandTest, PathsLongerThanTheOldBuffersWork) {
  // 30 levels of 20 characters: more than twice the 259 characters a path
  // could once hold.
  std::string deep = scratch.path();
  for (int level = 0; level < 30; ++level) deep += "/folder-level-" + std::to_string(100000 + level);
  uitest::WriteFile(deep + "/a.txt", "abc");
  uitest::ChangeDirectory(deep);
  dialogs.Answer(deep).Answer(deep + "/a-rather-long-archive-name-" + std::string(100, 'n') + ".vrk");

  Click(RESOURCE_NAME(IDC_COMPRESS));

  ASSERT_EQ(dialogs.requests().size(), 2u);
  EXPECT_EQ(dialogs.requests()[0].initialFolder, deep);
  EXPECT_EQ(dialogs.requests()[1].initialFolder, deep);
  EXPECT_TRUE(uitest::LogText(dialog).endsWith("All done!\n"));
  EXPECT_TRUE(uitest::Exists(deep + "/a-rather-long-archive-name-" + std::string(100, 'n') + ".vrk"));
}

// Each way to cancel: the answers up to and including the Cancel.
struct CancelCase {
  const char* name;
  const char* button;
  std::vector<std::optional<std::string>> answers;  // relative to the scratch folder
  std::vector<Request::Kind> asked;
};

class CancelTest : public CommandTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelTest, CancelLeavesLogDiskAndCurrentFolderAsTheyWere) {
  uitest::WriteFile(scratch / "data/maps.vrk", uitest::ArchiveOf({{"a.txt", "abc"}}));
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  for (const auto& answer : GetParam().answers) dialogs.Answer(answer ? std::optional(scratch / *answer) : answer);
  LogPrintf("earlier text\n");
  const QString logBefore = uitest::LogText(dialog);
  const auto diskBefore = uitest::Snapshot(scratch.path());

  Click(GetParam().button);

  std::vector<Request::Kind> asked;
  for (const Request& request : dialogs.requests()) asked.push_back(request.kind);
  EXPECT_EQ(asked, GetParam().asked);
  EXPECT_TRUE(dialogs.AllAnswered());
  EXPECT_EQ(uitest::LogText(dialog), logBefore);
  EXPECT_EQ(uitest::Snapshot(scratch.path()), diskBefore);
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "start");
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, CancelTest,
    ::testing::Values(CancelCase{"ExtractFileDialog", RESOURCE_NAME(IDC_EXTRACT), {std::nullopt}, {Request::Open}},
                      CancelCase{"FolderPickerSkipsTheSaveDialog", RESOURCE_NAME(IDC_COMPRESS), {std::nullopt},
                                 {Request::Browse}},
                      CancelCase{"SaveDialog", RESOURCE_NAME(IDC_COMPRESS), {"mods/island", std::nullopt},
                                 {Request::Browse, Request::Save}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SplitCase {
  const char* path;
  const char* folder;
  const char* fileName;
};

class SplitChosenPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitChosenPathTest, CutsAtTheLastSeparatorAndKeepsARootWhole) {
  const ChosenPath parts = SplitChosenPath(GetParam().path);
  EXPECT_EQ(parts.folder, GetParam().folder);
  EXPECT_EQ(parts.fileName, GetParam().fileName);
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitChosenPathTest,
                         ::testing::Values(SplitCase{"/home/u/maps.vrk", "/home/u", "maps.vrk"},
                                           SplitCase{"/maps.vrk", "/", "maps.vrk"},
                                           SplitCase{"maps.vrk", "", "maps.vrk"},
                                           SplitCase{"/home/u/a.b.vrk", "/home/u", "a.b.vrk"},
                                           SplitCase{"/home/u/", "/home/u", ""}));

}  // namespace
