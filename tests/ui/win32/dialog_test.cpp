// VRKTool.exe's dialogs in the test's own process, and its commands through the real common dialogs and folder browser.
#include <gtest/gtest.h>
#include <objbase.h>

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

// An answer to a modal window: on a timer's tick (run by whichever modal loop runs) the step runs on this thread's
// visible, enabled top-level window with the caption, once `ready` holds of it (by default: no command running in
// it, its Extract button, if any, enabled); steps post clicks.
struct Answer {
  std::string caption;
  std::function<void(HWND)> step;
  std::function<bool(HWND)> ready = [](HWND w) {
    return !::GetDlgItem(w, IDC_EXTRACT) || ::IsWindowEnabled(::GetDlgItem(w, IDC_EXTRACT));
  };
};
std::deque<Answer> answers;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  HWND window = nullptr;
  while (!answers.empty() && (window = ::FindWindowExA(nullptr, window, nullptr, answers.front().caption.c_str()))) {
    if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId() && ::IsWindowVisible(window) &&
        ::IsWindowEnabled(window) && answers.front().ready(window)) {
      const auto step = std::move(answers.front().step);
      answers.pop_front();
      step(window);
      return;
    }
  }
}

// Runs the dialog modally, answering its windows in order: every answer must be used (ctest ends a hang).
INT_PTR RunAnswering(CToolDialog& dialog, std::deque<Answer> script) {
  answers = std::move(script);
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, Tick);
  const INT_PTR result = dialog.DoModal();
  ::KillTimer(nullptr, timer);
  EXPECT_TRUE(answers.empty()) << "no window \"" << answers.front().caption << "\" was ever ready to answer";
  return result;
}

struct ControlRow {
  const char* dialog;  // caption of the dialog that holds it
  int id;
  const char* kind;
  std::string text;
  RECT units;  // x, y, width, height in dialog units
  LONG style;  // its low five bits (the control's variant) exactly, and the other bits at least
};

constexpr LONG kChild = WS_CHILD | WS_VISIBLE;
const std::vector<ControlRow> kControls = {
    {kMainCaption, IDC_EXTRACT, "Button", kExtractButton, {5, 5, 110, 15}, BS_PUSHBUTTON | kChild | WS_TABSTOP},
    {kMainCaption, IDC_COMPRESS, "Button", kCompressButton, {130, 5, 110, 15}, BS_PUSHBUTTON | kChild | WS_TABSTOP},
    {kMainCaption, IDC_LOG, "Edit", "", {5, 25, 235, 130}, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
     ES_AUTOHSCROLL | kChild | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL},
    {kMainCaption, -1, "Static", kMainCredit, {5, 160, 235, 10},
     SS_CENTER | kChild | WS_GROUP | SS_CENTERIMAGE | SS_SUNKEN},
    {kAboutCaption, -1, "Static", "Korvane VRK Tool\nVersion 1.01a", {5, 5, 115, 20},
     SS_CENTER | kChild | WS_GROUP | WS_BORDER | SS_NOPREFIX | SS_SUNKEN},
    {kAboutCaption, -1, "Static", kAboutCredit, {5, 30, 119, 15}, SS_CENTER | kChild | WS_GROUP},
    {kAboutCaption, IDOK, "Button", kAboutOk, {125, 10, 50, 30}, BS_DEFPUSHBUTTON | kChild | WS_GROUP | WS_TABSTOP},
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
    char kind[32] = {};
    ::GetClassNameA(control, kind, sizeof kind);
    RECT at, units = row.units;
    ::GetWindowRect(control, &at);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&at), 2);
    ::MapDialogRect(dialog, &units);
    // The dialog manager draws a template's border as a sunken client edge.
    LONG style = ::GetWindowLongA(control, GWL_STYLE);
    if (::GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
    EXPECT_EQ(std::tuple(std::string(kind), WORD(::GetDlgCtrlID(control)), Text(control), at.left, at.top,
                         at.right - at.left, at.bottom - at.top, style & (row.style | 0x1F)),
              std::tuple(std::string(row.kind), WORD(row.id), row.text, units.left, units.top, units.right,
                         units.bottom, row.style));
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr) << "a control more than the template's";
}

// Templates and window menu; About from the window menu (the command's low four bits are the system's: 0x1F is
// About, 0x20 not) and F1; the log box: CR LF, past the edit control's default 32 K, its end in view; Enter ends it.
TEST(Win32Dialog, TemplatesAboutBoxAndLog) {
  CToolDialog dialog;
  const auto log = [&](HWND main) {
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
  };
  const auto menu = [](HWND main) {
    CheckTemplate(main, 244, 172, WS_EX_APPWINDOW);
    // The separator and our one About item, then at most the window system's own.
    HMENU menu = ::GetSystemMenu(main, FALSE);
    int about = ::GetMenuItemCount(menu) - 1;
    if (::GetMenuItemID(menu, about) != IDM_ABOUT) --about;
    char text[64] = {};
    ::GetMenuStringA(menu, about, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(std::tuple(::GetMenuItemID(menu, about), std::string(text),
                         UINT(::GetMenuState(menu, about - 1, MF_BYPOSITION) & MF_SEPARATOR)),
              std::tuple(UINT(IDM_ABOUT), std::string(kAboutMenuItem), UINT(MF_SEPARATOR)));
    EXPECT_NE(::GetMenuItemID(menu, about - 2), UINT(IDM_ABOUT)) << "a second About item";
    ::PostMessageA(main, WM_SYSCOMMAND, 0x001F, 0);  // the menu's own command (0x0010) in the process test
  };
  const auto about = [](HWND box) {
    CheckTemplate(box, 179, 52, 0);
    Post(box, IDOK);
  };
  const auto f1 = [](HWND main) { ::PostMessageA(::GetDlgItem(main, IDC_EXTRACT), WM_KEYDOWN, VK_F1, 0); };
  EXPECT_EQ(RunAnswering(dialog, {{kMainCaption, menu}, {kAboutCaption, about}, {kMainCaption, f1},
                                  {kAboutCaption, [](HWND box) { Post(box, IDOK); }}, {kMainCaption, log}}),
            IDOK);
}

// The two worked examples, each way round: (36 - 32 + 1) / 2 is 2, (30 - 32 + 1) / 2 is 0, not -1.
TEST(Win32Dialog, MinimizedIconIsCentredDividingTowardZero) {
  const POINT wide = MinimizedIconPosition(RECT{0, 0, 36, 30}, 32, 32);
  const POINT tall = MinimizedIconPosition(RECT{0, 0, 30, 36}, 32, 32);
  EXPECT_EQ(std::tuple(wide.x, wide.y, tall.x, tall.y), std::tuple(2L, 0L, 0L, 2L));
}

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
  std::deque<Answer> script = {{kMainCaption, [&](HWND main) { Post(main, row.button); }}};
  if (row.button == IDC_COMPRESS) {
    // Wine's first folder browser in a process has no preselection: cancelled, it does nothing. The second shows the
    // title and the start folder, once its tree is filled.
    const auto again = [](HWND main) {
      EXPECT_EQ(Text(::GetDlgItem(main, IDC_LOG)), "");
      Post(main, IDC_COMPRESS);
    };
    const auto pick = [&](HWND browser) {
      EXPECT_EQ(Text(::GetDlgItem(browser, 0x3742)), kCompressTitle);  // the title shown inside it
      EXPECT_EQ(Text(::GetDlgItem(browser, 0x3743)), start);           // its status line
      Post(browser, IDOK);
    };
    const auto filled = [](HWND browser) { return !Text(::GetDlgItem(browser, 0x3743)).empty(); };
    script.insert(script.end(), {{"Browse for Folder", [](HWND browser) { Post(browser, IDCANCEL); }},
                                 {kMainCaption, again},
                                 {"Browse for Folder", pick, filled}});
  }
  script.push_back({row.button == IDC_EXTRACT ? kExtractTitle : kSaveTitle, [&](HWND asking) {
                      ::SetDlgItemTextA(asking, 0x47C, (dir.path() + "\\" + row.answer).c_str());  // the name box
                      Post(asking, row.answer.empty() ? IDCANCEL : IDOK);
                    }});
  script.push_back({kMainCaption, [&](HWND main) {
                      const std::string log = Text(::GetDlgItem(main, IDC_LOG));
                      EXPECT_TRUE(*row.made ? log.ends_with("All done!\r\n") : log.empty()) << log;
                      ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
                    }});
  EXPECT_EQ(RunAnswering(dialog, std::move(script)), IDCANCEL);
  EXPECT_EQ(test::Snapshot(dir.path(), row.made), before);
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

// A root or initial folder past the browser's 259 characters is refused, never cut to another folder's path.
TEST(BrowseForFolder, RefusesPathsPastTheShellsLimit) {
  const std::string tooLong = "C:\\" + std::string(257, 'b');  // 260 characters
  for (const auto& [root, initial] :
       {std::pair<const char*, const char*>{tooLong.c_str(), nullptr}, {nullptr, tooLong.c_str()}}) {
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
