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

  if (row.button == IDC_COMPRESS) {
    // Wine's first folder browser in a process opens without the
    // preselection (later ones have it): one is opened, left to fill its
    // tree, and cancelled first.
    const auto shown = std::chrono::steady_clock::now();
    ModalScript warmUp;
    warmUp.Then(kBrowseCaption, [](HWND browser) { w32test::Post(browser, IDCANCEL); },
                [shown](HWND) { return std::chrono::steady_clock::now() - shown > std::chrono::seconds(1); });
    std::string ignored;
    BrowseForFolder(ignored, "", nullptr, nullptr, nullptr);
  }

  CToolDialog dialog;
  std::string log;
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) { w32test::Post(main, row.button); });
  for (const Answer& answer : row.answers) {
    const bool browsing = answer.caption == std::string(kBrowseCaption);
    script.Then(answer.caption, [&](HWND asking) {
      if (answer.caption == std::string(kBrowseCaption)) {
        // Opens on the folder the command started in, its path in the status line.
        EXPECT_EQ(ItemText(asking, kBrowseTitle), kCompressTitle);
        EXPECT_EQ(ItemText(asking, kBrowseStatus), start);
        w32test::Post(asking, answer.name.empty() ? IDCANCEL : IDOK);
      } else if (answer.name.empty()) {
        w32test::Post(asking, IDCANCEL);
      } else {
        w32test::Choose(asking, dir.path() + "\\" + answer.name);
      }
    }, [browsing](HWND asking) { return !browsing || !ItemText(asking, kBrowseStatus).empty(); });
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
