// Extract and Compress clicked in the main dialog, through the real common
// dialogs and the shell's folder browser, answered from the test.
#include <filesystem>

#include "tests/support.h"
#include "ui/commands.h"
#include "ui/resource.h"
#include "ui/texts.h"
#include "ui/win32/folder_picker.h"
#include "ui/win32/tool_dialog.h"
#include "win32_support.h"

namespace {

using w32test::ItemText;
using w32test::Post;

constexpr char kBrowseCaption[] = "Browse for Folder";
constexpr int kBrowseStatus = 0x3743;

struct CommandRow {
  const char* label;
  int button;
  std::string answer;  // typed into the file dialog (below the test's folder); "": Cancel
  const char* made;    // what the command writes there; "": nothing
};

class Command : public ::testing::TestWithParam<CommandRow> {};

TEST_P(Command, RunsThroughTheSystemDialogs) {
  const CommandRow& row = GetParam();
  test::TempDir dir;
  const std::string start = dir.path() + "\\start";
  std::filesystem::create_directories(start + "\\sub");
  std::filesystem::create_directories(dir.path() + "\\out");
  test::WriteFile(start + "\\a.txt", "abc");
  test::WriteFile(start + "\\sub\\b.txt", "0123456789");
  const std::string archive = test::ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}});
  test::WriteFile(dir.path() + "\\out\\maps.vrk", archive);
  platform::Sys().ChangeDirectory(start);
  const auto before = test::Snapshot(dir.path());

  CToolDialog dialog;
  std::string log;
  w32test::ModalScript script;
  script.Then(kMainCaption, [&](HWND main) { Post(main, row.button); });
  if (row.button == IDC_COMPRESS) {
    // Wine's first folder browser in a process opens without its
    // preselection: it is cancelled, which must do nothing, and asked again.
    // The second opens on the folder the command started in, its title and
    // that path shown, once its tree is filled in.
    script.Then(kBrowseCaption, [](HWND browser) { Post(browser, IDCANCEL); })
        .Then(kMainCaption,
              [](HWND main) {
                EXPECT_EQ(ItemText(main, IDC_LOG), "");
                Post(main, IDC_COMPRESS);
              })
        .Then(
            kBrowseCaption,
            [&](HWND browser) {
              EXPECT_EQ(ItemText(browser, 0x3742), kCompressTitle);
              EXPECT_EQ(ItemText(browser, kBrowseStatus), start);
              Post(browser, IDOK);
            },
            [](HWND browser) { return !ItemText(browser, kBrowseStatus).empty(); });
  }
  script
      .Then(row.button == IDC_EXTRACT ? kExtractTitle : kSaveTitle,
            [&](HWND asking) {
              ::SetDlgItemTextA(asking, 0x47C, (dir.path() + "\\" + row.answer).c_str());  // the name box
              Post(asking, row.answer.empty() ? IDCANCEL : IDOK);
            })
      .Then(kMainCaption, [&](HWND main) {
        log = ItemText(main, IDC_LOG);
        Post(main, IDCANCEL);
      });
  dialog.DoModal();

  EXPECT_EQ(test::Snapshot(dir.path(), row.made), before);
  EXPECT_TRUE(*row.made ? log.ends_with("All done!\r\n") : log.empty()) << log;
  const std::string made = dir.path() + "/" + row.made;
  EXPECT_TRUE(!*row.made || (row.button == IDC_EXTRACT ? test::TreeOf(made) == test::TreeOf(start)
                                                       : test::ReadFile(made) == archive));
}

INSTANTIATE_TEST_SUITE_P(Commands, Command,
                         ::testing::Values(CommandRow{"Extract", IDC_EXTRACT, "out\\maps.vrk", "out/maps"},
                                           CommandRow{"ExtractCancelled", IDC_EXTRACT, "", ""},
                                           CommandRow{"Compress", IDC_COMPRESS, "out\\pack.vrk", "out/pack.vrk"},
                                           CommandRow{"SaveCancelled", IDC_COMPRESS, "", ""}),
                         test::LabelName());

}  // namespace

// The folder browser takes paths of at most 259 characters: a longer root or
// initial folder is refused with an error line, never cut to a path that names
// another folder, and no dialog opens (none is answered here).
TEST(BrowseForFolder, RefusesPathsPastTheShellsLimit) {
  const std::string tooLong = "C:\\" + std::string(257, 'b');  // 260 characters
  for (const auto& [root, initial] : {std::pair<const char*, const char*>{tooLong.c_str(), nullptr},
                                      {"", tooLong.c_str()}, {nullptr, tooLong.c_str()}}) {
    test::LogCapture log;
    std::string folder = "unchanged";
    EXPECT_EQ(BrowseForFolder(folder, "t", nullptr, root, initial), 0);
    EXPECT_EQ(folder, "unchanged");
    EXPECT_EQ(log.Transcript(), "Error: " + tooLong + ": the folder browser takes paths of at most 259 characters\n");
  }
}
