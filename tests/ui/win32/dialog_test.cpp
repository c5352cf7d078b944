// The Win32 dialogs as their templates build them, the window menu's About
// item, the minimised icon and the log box, in the test's own process.
#include <objbase.h>

#include <string>
#include <vector>

#include "log/log.h"
#include "ui/resource.h"
#include "ui/texts.h"
#include "ui/win32/tool_dialog.h"
#include "win32_support.h"

namespace {

using w32test::ModalScript;
using w32test::Text;

struct ControlRow {
  const char* dialog;  // caption of the dialog that holds it
  int id;
  const char* kind;
  std::string text;
  RECT units;       // x, y, width, height in dialog units
  LONG typeBits;    // the style's low five bits: the control's variant
  LONG styleBits;   // further style bits it must have
};

constexpr LONG kChild = WS_CHILD | WS_VISIBLE;
const std::vector<ControlRow> kControls = {
    {kMainCaption, IDC_EXTRACT, "Button", kExtractButton, {5, 5, 110, 15}, BS_PUSHBUTTON, kChild | WS_TABSTOP},
    {kMainCaption, IDC_COMPRESS, "Button", kCompressButton, {130, 5, 110, 15}, BS_PUSHBUTTON, kChild | WS_TABSTOP},
    {kMainCaption, IDC_LOG, "Edit", "", {5, 25, 235, 130}, ES_MULTILINE,
     kChild | WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL},
    {kMainCaption, -1, "Static", kMainCredit, {5, 160, 235, 10}, SS_CENTER, kChild | WS_GROUP | SS_CENTERIMAGE | SS_SUNKEN},
    {kAboutCaption, -1, "Static", "Korvane VRK Tool\nVersion 1.01a", {5, 5, 115, 20}, SS_CENTER,
     kChild | WS_GROUP | WS_BORDER | SS_NOPREFIX | SS_SUNKEN},
    {kAboutCaption, -1, "Static", kAboutCredit, {5, 30, 119, 15}, SS_CENTER, kChild | WS_GROUP},
    {kAboutCaption, IDOK, "Button", kAboutOk, {125, 10, 50, 30}, BS_DEFPUSHBUTTON, kChild | WS_GROUP | WS_TABSTOP},
};

struct DialogRow {
  const char* caption;
  SIZE units;
  DWORD exStyle;
};
const std::vector<DialogRow> kDialogs = {{kMainCaption, {244, 172}, WS_EX_APPWINDOW}, {kAboutCaption, {179, 52}, 0}};

// Checks a dialog and its controls, in template order, against the tables.
void CheckTemplate(HWND dialog) {
  const std::string caption = Text(dialog);
  SCOPED_TRACE(caption);
  for (const DialogRow& row : kDialogs) {
    if (caption != row.caption) continue;
    RECT client, expected = {0, 0, row.units.cx, row.units.cy};
    ::GetClientRect(dialog, &client);
    ::MapDialogRect(dialog, &expected);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
    const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_EQ(::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, LONG(row.exStyle));
    LOGFONTA font = {};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
  }
  HWND control = ::GetWindow(dialog, GW_CHILD);
  for (const ControlRow& row : kControls) {
    if (caption != row.dialog) continue;
    SCOPED_TRACE(row.text);
    ASSERT_NE(control, nullptr);
    char kind[32] = {};
    ::GetClassNameA(control, kind, sizeof kind);
    EXPECT_STREQ(kind, row.kind);
    // Plain templates hold 16-bit ids: -1 reads back as 0xFFFF there.
    EXPECT_EQ(WORD(::GetDlgCtrlID(control)), WORD(row.id));
    EXPECT_EQ(Text(control), row.text);
    // Position and size are converted each on its own, as the dialog
    // manager does.
    RECT at, expected = row.units;
    ::GetWindowRect(control, &at);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&at), 2);
    ::MapDialogRect(dialog, &expected);
    EXPECT_EQ(at.left, expected.left);
    EXPECT_EQ(at.top, expected.top);
    EXPECT_EQ(at.right - at.left, expected.right);
    EXPECT_EQ(at.bottom - at.top, expected.bottom);
    // The dialog manager draws a template's border as a sunken client edge.
    LONG style = ::GetWindowLongA(control, GWL_STYLE);
    if (::GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) style |= WS_BORDER;
    EXPECT_EQ(style & 0x1F, row.typeBits);
    EXPECT_EQ(style & row.styleBits, row.styleBits);
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr) << "a control more than the template's";
}

// The window menu's items after the About item's separator: ours first,
// then whatever the window system adds of its own.
void CheckWindowMenu(HWND dialog) {
  HMENU menu = ::GetSystemMenu(dialog, FALSE);
  const int count = ::GetMenuItemCount(menu);
  int about = -1;
  for (int i = 0; i < count; ++i) {
    if (::GetMenuItemID(menu, i) == IDM_ABOUT) {
      EXPECT_EQ(about, -1) << "a second About item";
      about = i;
    }
  }
  ASSERT_GT(about, 0);
  char text[64] = {};
  ::GetMenuStringA(menu, IDM_ABOUT, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, kAboutMenuItem);
  EXPECT_EQ(::GetMenuState(menu, about - 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
  // Items before the separator are the system's standard commands.
  EXPECT_EQ(::GetMenuItemID(menu, 0) & 0xF000, 0xF000u);
  for (int i = about + 1; i < count; ++i) {
    const UINT id = ::GetMenuItemID(menu, i);
    EXPECT_TRUE(id == 0 || id >= 0xF000 || id > IDM_ABOUT + 0xF) << "after ours: item " << id;
  }
}

TEST(Win32Dialog, TemplatesWindowMenuAndAboutBox) {
  CToolDialog dialog;
  ModalScript script;
  script
      .Then(kMainCaption,
            [](HWND main) {
              CheckTemplate(main);
              CheckWindowMenu(main);
              // The tab stops in template order, "Extract" first.
              HWND extract = ::GetDlgItem(main, IDC_EXTRACT);
              EXPECT_EQ(::GetNextDlgTabItem(main, nullptr, FALSE), extract);
              EXPECT_EQ(::GetNextDlgTabItem(main, extract, FALSE), ::GetDlgItem(main, IDC_COMPRESS));
              EXPECT_EQ(::GetNextDlgTabItem(main, ::GetDlgItem(main, IDC_LOG), FALSE), extract);
              ::PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUT, 0);
            })
      .Then(kAboutCaption,
            [](HWND about) {
              CheckTemplate(about);
              w32test::Post(about, IDOK);
            })
      .Then(kMainCaption, [](HWND main) { ::PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 0); });
  dialog.DoModal();
}

struct AboutRow {
  UINT message;
  WPARAM wParam;
  bool opensAbout;
};

class OpensAbout : public ::testing::TestWithParam<AboutRow> {};

// The low four bits of a window-menu command are the system's: 0x10 to 0x1F
// all mean About, 0x20 is another command. F1 opens it too.
TEST_P(OpensAbout, ForItsCommandOnly) {
  const AboutRow row = GetParam();
  CToolDialog dialog;
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) {
    HWND target = row.message == WM_KEYDOWN ? ::GetDlgItem(main, IDC_EXTRACT) : main;
    ::PostMessageA(target, row.message, row.wParam, 0);
    ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  });
  if (row.opensAbout) script.Then(kAboutCaption, [](HWND about) { w32test::Post(about, IDOK); });
  dialog.DoModal();
}

INSTANTIATE_TEST_SUITE_P(Commands, OpensAbout,
                         ::testing::Values(AboutRow{WM_SYSCOMMAND, 0x0010, true}, AboutRow{WM_SYSCOMMAND, 0x001F, true},
                                           AboutRow{WM_SYSCOMMAND, 0x0020, false}, AboutRow{WM_KEYDOWN, VK_F1, true}));

struct EndRow {
  const char* label;
  int target;  // the control the message goes to; 0: the dialog itself
  UINT message;
  WPARAM wParam;
  INT_PTR result;
};

class EndsTheDialog : public ::testing::TestWithParam<EndRow> {};

// Escape, the Close command and Enter while no push button has the focus
// end the main dialog, and with it the program.
TEST_P(EndsTheDialog, OnItsKey) {
  const EndRow row = GetParam();
  CToolDialog dialog;
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) {
    HWND target = row.target != 0 ? ::GetDlgItem(main, row.target) : main;
    ::SetFocus(target);
    ::PostMessageA(target, row.message, row.wParam, 0);
  });
  EXPECT_EQ(dialog.DoModal(), row.result);
}

INSTANTIATE_TEST_SUITE_P(Keys, EndsTheDialog,
                         ::testing::Values(EndRow{"Escape", IDC_EXTRACT, WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
                                           EndRow{"Close", 0, WM_SYSCOMMAND, SC_CLOSE, IDCANCEL},
                                           EndRow{"EnterInTheLog", IDC_LOG, WM_KEYDOWN, VK_RETURN, IDOK}),
                         [](const auto& info) { return std::string(info.param.label); });

struct IconRow {
  RECT client;
  int iconWidth, iconHeight;
  POINT at;
};

TEST(Win32Dialog, MinimizedIconIsCentredDividingTowardZero) {
  const IconRow rows[] = {
      {{0, 0, 36, 36}, 32, 32, {2, 2}},
      {{0, 0, 30, 30}, 32, 32, {0, 0}},  // (30 - 32 + 1) / 2 is 0, not -1
  };
  for (const IconRow& row : rows) {
    const POINT at = MinimizedIconPosition(row.client, row.iconWidth, row.iconHeight);
    EXPECT_EQ(at.x, row.at.x);
    EXPECT_EQ(at.y, row.at.y);
  }
}

// The log box: CR LF line ends, no wrapping, the end kept in view, and a
// transcript far past the edit control's default 32 K characters kept whole.
TEST(Win32Dialog, LogBoxShowsTheWholeTranscriptWithItsEndInView) {
  CToolDialog dialog;
  ModalScript script;
  script.Then(kMainCaption, [&](HWND main) {
    HWND box = ::GetDlgItem(main, IDC_LOG);
    LogPrintf("OK!\n");
    dialog.FlushLog();
    EXPECT_EQ(Text(box), "OK!\r\n");
    LogPrintf("%s", std::string(3000, 'x').c_str());
    dialog.FlushLog();
    EXPECT_EQ(::SendMessageA(box, EM_GETLINECOUNT, 0, 0), 2) << "a long line wrapped";

    const int kLines = 3000;
    std::string expected = Text(box);
    for (int i = 0; i < kLines; ++i) {
      const std::string line = "\nCompressing folder\\file-" + std::to_string(i) + ".txt (1234 bytes)";
      LogPrintf("%s", line.c_str());
      expected += "\r" + line;
    }
    dialog.FlushLog();
    EXPECT_GT(expected.size(), 100000u);
    EXPECT_EQ(Text(box), expected);
    const LRESULT lines = ::SendMessageA(box, EM_GETLINECOUNT, 0, 0);
    EXPECT_EQ(lines, kLines + 2);
    // The last line is in view: the box shows about 16 lines.
    const LRESULT first = ::SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(first, lines - 30);
    ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
  });
  dialog.DoModal();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The shell's folder browser works through COM, as in the program.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
