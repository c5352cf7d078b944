// Extract and Compress clicked in the main window, the dialogs answered by a
// script.
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
  std::vector<Request::Kind> Asked() const {
    std::vector<Request::Kind> kinds;
    for (const Request& request : dialogs.requests()) kinds.push_back(request.kind);
    return kinds;
  }

  uitest::ScratchFolder scratch;
  uitest::ScriptedDialogs dialogs;
  CToolDialog dialog;
};

TEST_F(CommandTest, ExtractUnpacksBesideTheArchiveAndLeavesItsFolderCurrent) {
  uitest::WriteFile(scratch / "data/maps.vrk", uitest::ArchiveOf({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}}));
  dialogs.Answer(scratch / "data/maps.vrk");

  Click(RESOURCE_NAME(IDC_EXTRACT));

  ASSERT_EQ(Asked(), std::vector{Request::Open});
  EXPECT_EQ(dialogs.requests()[0].title, "Extract file...");
  EXPECT_EQ(dialogs.requests()[0].initialFolder, scratch / "start");
  EXPECT_EQ(dialogs.requests()[0].filter, "VRK files|*.vrk");
  EXPECT_EQ(uitest::LogText(dialog),
            "Extracting file maps.vrk...\n"
            "Extracting a.txt (3 bytes)\n"
            "Extracting sub\\b.txt (10 bytes)\n"
            "All done!\n");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/maps/a.txt"), "abc");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/maps/sub/b.txt"), "0123456789");
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "data");
}

TEST_F(CommandTest, CompressPacksTheChosenFolderAndTheNextCommandStartsWhereTheArchiveIs) {
  uitest::WriteFile(scratch / "mods/island/a.txt", "abc");
  uitest::MakeFolders(scratch / "out");
  dialogs.Answer(scratch / "mods/island").Answer(scratch / "out/pack.vrk").Answer(std::nullopt);

  Click(RESOURCE_NAME(IDC_COMPRESS));
  Click(RESOURCE_NAME(IDC_EXTRACT));

  ASSERT_EQ(Asked(), (std::vector{Request::Browse, Request::Save, Request::Open}));
  const Request& browse = dialogs.requests()[0];
  EXPECT_EQ(browse.title, "Compress folder..");
  EXPECT_EQ(browse.rootPath, "") << "the top of the file system";
  EXPECT_EQ(browse.initialFolder, scratch / "start");
  const Request& save = dialogs.requests()[1];
  EXPECT_EQ(save.title, "Save to...");
  EXPECT_EQ(save.initialFolder, scratch / "start") << "not the folder just chosen";
  EXPECT_EQ(save.filter, "VRK files|*.vrk");
  EXPECT_EQ(dialogs.requests()[2].initialFolder, scratch / "out");

  EXPECT_EQ(uitest::LogText(dialog).toStdString(), "Compressing path " + (scratch / "mods/island") +
                                                       " into pack.vrk...\n"
                                                       "Compressing a.txt (3 bytes)\n"
                                                       "OK!\n"
                                                       "Saving pack.vrk...\n"
                                                       "All done!\n");
  EXPECT_EQ(uitest::ReadFile(scratch / "out/pack.vrk"), uitest::ArchiveOf({{"a.txt", "abc"}}));
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "out");
}

TEST_F(CommandTest, NameWithoutExtensionAndPathsOfAnyLengthAreUsedAsGiven) {
  // 30 levels of 20 characters: well beyond the 259 a path once could hold.
  std::string deep = scratch.path();
  for (int level = 0; level < 30; ++level) deep += "/folder-level-" + std::to_string(100000 + level);
  uitest::WriteFile(deep + "/a.txt", "abc");
  uitest::ChangeDirectory(deep);
  dialogs.Answer(deep).Answer(deep + "/maps");

  Click(RESOURCE_NAME(IDC_COMPRESS));

  EXPECT_EQ(dialogs.requests()[1].initialFolder, deep);
  EXPECT_EQ(uitest::ReadFile(deep + "/maps"), uitest::ArchiveOf({{"a.txt", "abc"}}));
  EXPECT_FALSE(uitest::Exists(deep + "/maps.vrk"));
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
  const auto disk = uitest::Snapshot(scratch.path());

  Click(GetParam().button);

  EXPECT_EQ(Asked(), GetParam().asked);
  EXPECT_EQ(uitest::LogText(dialog), "earlier text\n");
  EXPECT_EQ(uitest::Snapshot(scratch.path()), disk);
  EXPECT_EQ(uitest::CurrentDirectory(), scratch / "start");
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, CancelTest,
    ::testing::Values(CancelCase{"ExtractFile", RESOURCE_NAME(IDC_EXTRACT), {std::nullopt}, {Request::Open}},
                      CancelCase{"FolderPickerSkipsTheSaveDialog", RESOURCE_NAME(IDC_COMPRESS), {std::nullopt},
                                 {Request::Browse}},
                      CancelCase{"SaveFile", RESOURCE_NAME(IDC_COMPRESS), {"mods/island", std::nullopt},
                                 {Request::Browse, Request::Save}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitChosenPath, CutsAtTheLastSeparatorAndKeepsARootWhole) {
  using Parts = std::pair<std::string, std::string>;
  auto split = [](const char* path) {
    const ChosenPath parts = SplitChosenPath(path);
    return Parts{parts.folder, parts.fileName};
  };
  EXPECT_EQ(split("/home/u/a.b.vrk"), (Parts{"/home/u", "a.b.vrk"}));
  EXPECT_EQ(split("/maps.vrk"), (Parts{"/", "maps.vrk"}));
  EXPECT_EQ(split("maps.vrk"), (Parts{"", "maps.vrk"}));
}

}  // namespace
