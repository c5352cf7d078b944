// The Win32 dialogs as their templates build them, the window menu's About
// item, keys and commands, the minimised icon and the log box.
#include <objbase.h>

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
    {kMainCaption, -1, "Static", kMainCredit, {5, 160, 235, 10}, SS_CENTER, kChild | WS_GROUP | SS_CENTERIMAGE | SS_SUNKEN},
    {kAboutCaption, -1, "Static", "Korvane VRK Tool\nVersion 1.01a", {5, 5, 115, 20}, SS_CENTER,
     kChild | WS_GROUP | WS_BORDER | SS_NOPREFIX | SS_SUNKEN},
    {kAboutCaption, -1, "Static", kAboutCredit, {5, 30, 119, 15}, SS_CENTER, kChild | WS_GROUP},
    {kAboutCaption, IDOK, "Button", kAboutOk, {125, 10, 50, 30}, BS_DEFPUSHBUTTON, kChild | WS_GROUP | WS_TABSTOP},
};

// Checks a dialog (its client area in dialog units), then its controls in
// template order against the table.
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
    EXPECT_EQ((std::vector<LONG>{at.left, at.top, at.right - at.left, at.bottom - at.top, style & 0x1F, style & row.styleBits}),
              (std::vector<LONG>{units.left, units.top, units.right, units.bottom, row.typeBits, row.styleBits}))
        << row.text;
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr) << "a control more than the template's";
}

void OkAbout(HWND about) { w32test::Post(about, IDOK); }

// The templates, tab order and window menu; the About box from the window
// menu, whose commands' low four bits are the system's (0x10 to 0x1F mean
// About, 0x20 does not), and from F1; the log box: CR LF line ends, no
// wrapping, a transcript far past the edit control's default 32 K characters
// kept whole, its end in view.
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
              // The system's commands, then the separator and our one About
              // item, followed at most by the window system's own.
              HMENU menu = ::GetSystemMenu(main, FALSE);
              const int count = ::GetMenuItemCount(menu);
              int about = -1;
              for (int i = 0; i < count; ++i) {
                if (::GetMenuItemID(menu, i) != IDM_ABOUT) continue;
                EXPECT_EQ(about, -1) << "a second About item";
                about = i;
              }
              EXPECT_GE(about, count - 2);
              char text[64] = {};
              ::GetMenuStringA(menu, IDM_ABOUT, text, sizeof text, MF_BYCOMMAND);
              EXPECT_STREQ(text, kAboutMenuItem);
              EXPECT_EQ(::GetMenuState(menu, about - 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
              EXPECT_EQ(::GetMenuItemID(menu, 0) & 0xF000, 0xF000u);
              ::PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUT, 0);
            })
      .Then(kAboutCaption,
            [](HWND about) {
              CheckTemplate(about, 179, 52, 0);
              OkAbout(about);
            })
      .Then(kMainCaption, [](HWND main) { ::PostMessageA(main, WM_SYSCOMMAND, 0x001F, 0); })
      .Then(kAboutCaption, OkAbout)
      .Then(kMainCaption,
            [](HWND main) {
              ::SetFocus(::GetDlgItem(main, IDC_EXTRACT));
              ::PostMessageA(::GetDlgItem(main, IDC_EXTRACT), WM_KEYDOWN, VK_F1, 0);
            })
      .Then(kAboutCaption, OkAbout)
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
        ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
      });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

// Escape, the Close command and Enter while no push button has the focus
// end the main dialog, and with it the program.
TEST(Win32Dialog, EndsOnEscapeCloseAndEnterInTheLog) {
  for (const auto& [id, message, key, result] : {std::tuple{IDC_EXTRACT, WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
                                                 {0, WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}, {IDC_LOG, WM_KEYDOWN, VK_RETURN, IDOK}}) {
    CToolDialog dialog;
    ModalScript script;
    script.Then(kMainCaption, [&](HWND main) {
      HWND target = id != 0 ? ::GetDlgItem(main, id) : main;
      ::SetFocus(target);
      ::PostMessageA(target, message, key, 0);
    });
    EXPECT_EQ(dialog.DoModal(), result);
  }
}

// The two worked examples: (36 - 32 + 1) / 2 is 2, (30 - 32 + 1) / 2 is 0, not -1.
TEST(Win32Dialog, MinimizedIconIsCentredDividingTowardZero) {
  for (const auto& [side, at] : {std::pair{36L, 2L}, {30L, 0L}}) {
    const POINT position = MinimizedIconPosition(RECT{0, 0, side, side}, 32, 32);
    EXPECT_EQ(std::pair(position.x, position.y), std::pair(at, at));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the shell's folder browser works through COM
  const int result = RUN_ALL_TESTS();
  ::CoUninitialize();
  return result;
}
