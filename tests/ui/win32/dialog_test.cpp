// VRKTool.exe's dialogs in the test's own process, and its commands through the real
// common dialogs and the shell's folder browser.
#include <gtest/gtest.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <tuple>

#include "tests/support.h"
#include "ui/commands.h"
#include "ui/resource.h"
#include "ui/texts.h"
#include "ui/win32/folder_picker.h"
#include "ui/win32/tool_dialog.h"

namespace {

std::string Text(HWND window) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Clicks a control as the dialog manager does, from the message loop.
void Post(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Answers this thread's modal windows in order: on each tick of a timer (run by whichever
// modal loop runs) the next step runs on the visible, enabled top-level window with its
// caption, once `ready` holds of it; steps post clicks. Past the deadline the test fails.
class ModalScript {
 public:
  using Step = std::function<void(HWND)>;
  using Ready = std::function<bool(HWND)>;

  ModalScript() : timer_(::SetTimer(nullptr, 0, 10, &ModalScript::Tick)) { current_ = this; }
  ~ModalScript() {
    ::KillTimer(nullptr, timer_);
    EXPECT_TRUE(steps_.empty()) << "no window \"" << std::get<0>(steps_.front()) << "\" was ever ready to answer";
  }
  ModalScript& Then(std::string caption, Step step, Ready ready = [](HWND) { return true; }) {
    steps_.emplace_back(std::move(caption), std::move(step), std::move(ready));
    return *this;
  }

 private:
  static BOOL CALLBACK Find(HWND window, LPARAM found) {
    const bool answers = ::IsWindowVisible(window) && ::IsWindowEnabled(window);
    if (answers && Text(window) == std::get<0>(current_->steps_.front())) *reinterpret_cast<HWND*>(found) = window;
    return *reinterpret_cast<HWND*>(found) == nullptr;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    auto& steps = current_->steps_;
    if (std::chrono::steady_clock::now() > current_->deadline_) {
      const char* waiting = steps.empty() ? "" : std::get<0>(steps.front()).c_str();
      std::fprintf(stderr, "Failure: timed out, \"%s\" to answer\n", waiting);
      std::_Exit(1);
    }
    HWND window = nullptr;
    if (!steps.empty()) ::EnumThreadWindows(::GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr || !std::get<2>(steps.front())(window)) return;
    Step step = std::move(std::get<1>(steps.front()));
    steps.pop_front();
    step(window);
  }

  static inline ModalScript* current_ = nullptr;
  UINT_PTR timer_;
  std::deque<std::tuple<std::string, Step, Ready>> steps_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(20);
};

struct ControlRow {
  const char* dialog;  // caption of the dialog that holds it
  int id;
  const char* kind;
  std::string text;
  RECT units;      // x, y, width, height in dialog units
  LONG typeBits;   // the style's low five bits: the control's variant
  LONG styleBits;  // further style bits it must have
};

constexpr LONG kChild = WS_CHILD | WS_VISIBLE;
const std::vector<ControlRow> kControls = {
    {kMainCaption, IDC_EXTRACT, "Button", kExtractButton, {5, 5, 110, 15}, BS_PUSHBUTTON, kChild | WS_TABSTOP},
    {kMainCaption, IDC_COMPRESS, "Button", kCompressButton, {130, 5, 110, 15}, BS_PUSHBUTTON, kChild | WS_TABSTOP},
    {kMainCaption, IDC_LOG, "Edit", "", {5, 25, 235, 130}, ES_MULTILINE,
     kChild | WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL},
    {kMainCaption, -1, "Static", kMainCredit, {5, 160, 235, 10}, SS_CENTER,
     kChild | WS_GROUP | SS_CENTERIMAGE | SS_SUNKEN},
    {kAboutCaption, -1, "Static", "Korvane VRK Tool\nVersion 1.01a", {5, 5, 115, 20}, SS_CENTER,
     kChild | WS_GROUP | WS_BORDER | SS_NOPREFIX | SS_SUNKEN},
    {kAboutCaption, -1, "Static", kAboutCredit, {5, 30, 119, 15}, SS_CENTER, kChild | WS_GROUP},
    {kAboutCaption, IDOK, "Button", kAboutOk, {125, 10, 50, 30}, BS_DEFPUSHBUTTON, kChild | WS_GROUP | WS_TABSTOP},
};

// Checks a dialog (its client area in dialog units), then its controls in template order.
void CheckTemplate(HWND dialog, LONG width, LONG height, LONG exStyle) {
  const std::string caption = Text(dialog);
  RECT client, expected = {0, 0, width, height};
  ::GetClientRect(dialog, &client);
  ::MapDialogRect(dialog, &expected);
  EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(expected.right, expected.bottom)) << caption;
  const LONG wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  EXPECT_EQ(::GetWindowLongA(dialog, GWL_STYLE) & (wanted | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), wanted);
  EXPECT_EQ(::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, exStyle);
  LOGFONTA font = {};
  ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
  HWND control = ::GetWindow(dialog, GW_CHILD);
  for (const ControlRow& row : kControls) {
    if (caption != row.dialog) continue;
    ASSERT_NE(control, nullptr) << row.text;
    char kind[32] = {};
    ::GetClassNameA(control, kind, sizeof kind);
    // -1 reads back as 0xFFFF; position and size are converted each on its own.
    RECT at, units = row.units;
    ::GetWindowRect(control, &at);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&at), 2);
    ::MapDialogRect(dialog, &units);
    // The dialog manager draws a template's border as a sunken client edge.
    LONG style = ::GetWindowLongA(control, GWL_STYLE);
    if (::GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
    EXPECT_EQ(std::tuple(std::string(kind), WORD(::GetDlgCtrlID(control)), Text(control)),
              std::tuple(std::string(row.kind), WORD(row.id), row.text));
    EXPECT_EQ((std::vector<LONG>{at.left, at.top, at.right - at.left, at.bottom - at.top, style & 0x1F,
                                 style & row.styleBits}),
              (std::vector<LONG>{units.left, units.top, units.right, units.bottom, row.typeBits, row.styleBits}))
        << row.text;
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr) << "a control more than the template's";
}

// Templates, tab order, window menu; About from the window menu (a command's low four bits
// are the system's: 0x1F is About, 0x20 is not) and F1; the log box: CR LF, no wrapping, a
// transcript past the edit control's default 32 K kept whole, its end in view; Enter there
// ends the dialog (Close ends the commands' runs, Escape the process test's).
TEST(Win32Dialog, TemplatesAboutBoxAndLog) {
  CToolDialog dialog;
  ModalScript script;
  script
      .Then(kMainCaption,
            [](HWND main) {
              CheckTemplate(main, 244, 172, WS_EX_APPWINDOW);
              HWND extract = ::GetDlgItem(main, IDC_EXTRACT);
              EXPECT_EQ(::GetNextDlgTabItem(main, nullptr, FALSE), extract);
              EXPECT_EQ(::GetNextDlgTabItem(main, extract, FALSE), ::GetDlgItem(main, IDC_COMPRESS));
              EXPECT_EQ(::GetNextDlgTabItem(main, ::GetDlgItem(main, IDC_LOG), FALSE), extract);
              // The separator and our one About item, then at most the window system's own.
              HMENU menu = ::GetSystemMenu(main, FALSE);
              const int count = ::GetMenuItemCount(menu);
              int about = count - 1;
              while (about > 0 && ::GetMenuItemID(menu, about) != IDM_ABOUT) --about;
              EXPECT_GE(about, count - 2);
              EXPECT_NE(::GetMenuItemID(menu, about - 2), UINT(IDM_ABOUT)) << "a second About item";
              char text[64] = {};
              ::GetMenuStringA(menu, IDM_ABOUT, text, sizeof text, MF_BYCOMMAND);
              EXPECT_STREQ(text, kAboutMenuItem);
              EXPECT_EQ(::GetMenuState(menu, about - 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
              ::PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUT, 0);
            })
      .Then(kAboutCaption,
            [](HWND about) {
              CheckTemplate(about, 179, 52, 0);
              Post(about, IDOK);
            })
      .Then(kMainCaption, [](HWND main) { ::PostMessageA(main, WM_SYSCOMMAND, 0x001F, 0); })
      .Then(kAboutCaption, [](HWND about) { Post(about, IDOK); })
      .Then(kMainCaption, [](HWND main) { ::PostMessageA(::GetDlgItem(main, IDC_EXTRACT), WM_KEYDOWN, VK_F1, 0); })
      .Then(kAboutCaption, [](HWND about) { Post(about, IDOK); })
      .Then(kMainCaption, [&](HWND main) {
        ::PostMessageA(main, WM_SYSCOMMAND, 0x0020, 0);  // were the About box open, nothing would answer it
        LogPrintf("OK!\n");
        dialog.FlushLog();
        std::string expected = "OK!\r\n" + std::string(3000, 'x');
        LogPrintf("%s", expected.c_str() + 5);
        for (int i = 0; i < 3000; ++i) {
          const std::string line = "\nCompressing folder\\file-" + std::to_string(i) + ".txt (1234 bytes)";
          LogPrintf("%s", line.c_str());
          expected += "\r" + line;
        }
        dialog.FlushLog();
        HWND box = ::GetDlgItem(main, IDC_LOG);
        EXPECT_EQ(Text(box), expected);
        EXPECT_EQ(::SendMessageA(box, EM_GETLINECOUNT, 0, 0), 3002);
        EXPECT_GT(::SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0), 3002 - 30);  // it shows about 16 lines
        ::SetFocus(box);
        ::PostMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
      });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

// The two worked examples: (36 - 32 + 1) / 2 is 2, (30 - 32 + 1) / 2 is 0, not -1.
TEST(Win32Dialog, MinimizedIconIsCentredDividingTowardZero) {
  for (const auto& [side, at] : {std::pair{36L, 2L}, {30L, 0L}}) {
    const POINT position = MinimizedIconPosition(RECT{0, 0, side, side}, 32, 32);
    EXPECT_EQ(std::pair(position.x, position.y), std::pair(at, at));
  }
}

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
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) { Post(main, row.button); });
  if (row.button == IDC_COMPRESS) {
    // Wine's first folder browser in a process has no preselection: cancelled, it does
    // nothing. The second shows the title and the start folder, once its tree is filled.
    script.Then(kBrowseCaption, [](HWND browser) { Post(browser, IDCANCEL); })
        .Then(kMainCaption,
              [](HWND main) {
                EXPECT_EQ(Text(::GetDlgItem(main, IDC_LOG)), "");
                Post(main, IDC_COMPRESS);
              })
        .Then(
            kBrowseCaption,
            [&](HWND browser) {
              EXPECT_EQ(Text(::GetDlgItem(browser, 0x3742)), kCompressTitle);
              EXPECT_EQ(Text(::GetDlgItem(browser, kBrowseStatus)), start);
              Post(browser, IDOK);
            },
            [](HWND browser) { return !Text(::GetDlgItem(browser, kBrowseStatus)).empty(); });
  }
  script
      .Then(row.button == IDC_EXTRACT ? kExtractTitle : kSaveTitle,
            [&](HWND asking) {
              ::SetDlgItemTextA(asking, 0x47C, (dir.path() + "\\" + row.answer).c_str());  // the name box
              Post(asking, row.answer.empty() ? IDCANCEL : IDOK);
            })
      .Then(kMainCaption, [&](HWND main) {
        log = Text(::GetDlgItem(main, IDC_LOG));
        ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
      });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
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

// A root or initial folder past the browser's 259 characters is refused with an error
// line, never cut to a path that names another folder; no dialog opens.
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

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the shell's folder browser works through COM
  return RUN_ALL_TESTS();
}
