// Extract and Compress clicked in the main dialog, through the real common
// dialogs and the shell's folder browser, answered from the test.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support.h"
#include "ui/commands.h"
#include "ui/resource.h"
#include "ui/texts.h"
#include "ui/win32/folder_picker.h"
#include "ui/win32/tool_dialog.h"
#include "win32_support.h"

namespace {

using w32test::ItemText;
using w32test::ModalScript;

constexpr char kBrowseCaption[] = "Browse for Folder";
constexpr int kBrowseTitle = 0x3742;
constexpr int kBrowseStatus = 0x3743;

enum class Result { Extracted, Packed, Nothing };

struct Answer {
  const char* caption;
  std::string name;  // typed into a file dialog (below the test's folder); empty: Cancel
};

struct CommandRow {
  const char* label;
  int button;
  std::vector<Answer> answers;
  Result result;
};

class Command : public ::testing::TestWithParam<CommandRow> {};

TEST_P(Command, RunsThroughTheSystemDialogs) {
  const CommandRow& row = GetParam();
  test::TempDir dir;
  const std::string start = dir.path() + "\\start";
  std::filesystem::create_directories(start + "\\sub");
  std::filesystem::create_directories(dir.path() + "\\data");
  std::filesystem::create_directories(dir.path() + "\\out");
  test::WriteFile(start + "\\a.txt", "abc");
  test::WriteFile(start + "\\sub\\b.txt", "0123456789");
  const std::map<std::string, std::string> files = {{"a.txt", "abc"}, {"sub/b.txt", "0123456789"}};
  const std::string archive = test::ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}});
  test::WriteFile(dir.path() + "\\data\\maps.vrk", archive);
  platform::Sys().ChangeDirectory(start);
  const auto before = test::Snapshot(dir.path());

  CToolDialog dialog;
  std::string log;
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) { w32test::Post(main, row.button); });
  // Wine's folder browser now and then opens without the preselection (it
  // does not select a folder before its tree has been filled once in the
  // process): then it is cancelled, which must do nothing, and asked again.
  std::function<void(HWND)> browse;
  const auto browserReady = [](HWND browser) {
    static HWND seen = nullptr;
    static auto since = std::chrono::steady_clock::now();
    if (browser != seen) {
      seen = browser;
      since = std::chrono::steady_clock::now();
    }
    return !ItemText(browser, kBrowseStatus).empty() || std::chrono::steady_clock::now() - since > std::chrono::seconds(3);
  };
  for (const Answer& answer : row.answers) {
    const bool browsing = answer.caption == std::string(kBrowseCaption);
    if (browsing) {
      browse = [&](HWND browser) {
        if (ItemText(browser, kBrowseStatus).empty()) {
          w32test::Post(browser, IDCANCEL);
          script.Next(kBrowseCaption, browse, browserReady);
          script.Next(kMainCaption, [](HWND main) { w32test::Post(main, IDC_COMPRESS); });
          return;
        }
        // Opens on the folder the command started in, its path in the status line.
        EXPECT_EQ(ItemText(browser, kBrowseTitle), kCompressTitle);
        EXPECT_EQ(ItemText(browser, kBrowseStatus), start);
        w32test::Post(browser, answer.name.empty() ? IDCANCEL : IDOK);
      };
      script.Then(answer.caption, browse, browserReady);
      continue;
    }
    script.Then(answer.caption, [&](HWND asking) {
      if (answer.name.empty()) {
        w32test::Post(asking, IDCANCEL);
      } else {
        w32test::Choose(asking, dir.path() + "\\" + answer.name);
      }
    });
  }
  script.Then(kMainCaption, [&](HWND main) {
    log = ItemText(main, IDC_LOG);
    w32test::Post(main, IDCANCEL);
  });
  dialog.DoModal();

  switch (row.result) {
    case Result::Extracted:
      EXPECT_EQ(log.rfind("Extracting file maps.vrk...\r\n", 0), 0u) << log;
      EXPECT_EQ(test::TreeOf(dir.path() + "\\data\\maps"), files);
      break;
    case Result::Packed:
      EXPECT_EQ(test::ReadFile(dir.path() + "\\out\\pack.vrk"), archive);
      break;
    case Result::Nothing:
      EXPECT_EQ(log, "");
      EXPECT_EQ(test::Snapshot(dir.path()), before);
      break;
  }
  if (row.result != Result::Nothing) {
    EXPECT_TRUE(log.ends_with("All done!\r\n")) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Command,
    ::testing::Values(
        CommandRow{"Extract", IDC_EXTRACT, {{kExtractTitle, "data\\maps.vrk"}}, Result::Extracted},
        CommandRow{"ExtractCancelled", IDC_EXTRACT, {{kExtractTitle, ""}}, Result::Nothing},
        CommandRow{"Compress", IDC_COMPRESS, {{kBrowseCaption, "ok"}, {kSaveTitle, "out\\pack.vrk"}}, Result::Packed},
        CommandRow{"BrowseCancelled", IDC_COMPRESS, {{kBrowseCaption, ""}}, Result::Nothing},
        CommandRow{"SaveCancelled", IDC_COMPRESS, {{kBrowseCaption, "ok"}, {kSaveTitle, ""}}, Result::Nothing}),
    test::LabelName());

}  // namespace

// The folder browser takes paths of at most 259 characters: a longer root
// or initial folder is refused with an error line, never cut to a path that
// names another folder, and no dialog opens (none is answered here).
TEST(BrowseForFolder, RefusesPathsPastTheShellsLimit) {
  const std::string tooLong = "C:\\" + std::string(257, 'b');  // 260 characters
  const struct {
    const char* root;
    const char* initial;
  } rows[] = {{tooLong.c_str(), nullptr}, {"", tooLong.c_str()}, {nullptr, tooLong.c_str()}};
  for (const auto& row : rows) {
    test::LogCapture log;
    std::string folder = "unchanged";
    EXPECT_EQ(BrowseForFolder(folder, "t", nullptr, row.root, row.initial), 0);
    EXPECT_EQ(folder, "unchanged");
    EXPECT_EQ(log.Transcript(), "Error: " + tooLong + ": the folder browser takes paths of at most 259 characters\n");
  }
}
