#include "ui/win32/tool_dialog.h"

#include <algorithm>
#include <climits>
#include <string>
#include <system_error>
#include <utility>

#include "ui/commands.h"
#include "ui/resource.h"
#include "ui/win32/about_dialog.h"

namespace {

// The timer that repaints while a command runs, or after a message whose
// repaint was held back.
constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintMs =
    UINT(std::chrono::duration_cast<std::chrono::milliseconds>(RepaintThrottle::kInterval).count());
// Sent by the command's thread: its command has ended (wParam and lParam
// unused); a function to run on the window's thread (lParam: the function).
constexpr UINT kCommandDone = WM_APP + 1;
constexpr UINT kCallOnWindowThread = WM_APP + 2;
constexpr int kButtons[] = {IDC_EXTRACT, IDC_COMPRESS};

// The log box's own window procedure, kept in the box's user data.
LRESULT CALLBACK LogBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(box, GWLP_USERDATA));
  LRESULT result = ::CallWindowProcA(original, box, message, wParam, lParam);
  // A multi-line edit control asks for every key, Enter too, and without a
  // default push button to pass it on to it drops it. Enter in the box is
  // the dialog's: like Enter anywhere but on a push button, it ends it.
  if (message == WM_GETDLGCODE && lParam != 0) {
    const MSG* key = reinterpret_cast<const MSG*>(lParam);
    if (key->message == WM_KEYDOWN && key->wParam == VK_RETURN) result &= ~LRESULT(DLGC_WANTALLKEYS);
  }
  return result;
}

// The main dialog whose window F1 opens the About box of, and the hook that
// watches its modal loop for the key: F1 goes to the focused control, which
// would drop it, and the dialog itself never sees it.
CToolDialog* g_helpDialog = nullptr;
HHOOK g_helpHook = nullptr;

LRESULT CALLBACK HelpKeyHook(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == MSGF_DIALOGBOX && g_helpDialog != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_F1) {
    HWND main = g_helpDialog->GetSafeHwnd();
    if (msg->hwnd == main || ::IsChild(main, msg->hwnd)) {
      g_helpDialog->OnSysCommand(IDM_ABOUT, 0);
      return 1;
    }
  }
  return ::CallNextHookEx(g_helpHook, code, wParam, lParam);
}

}  // namespace

POINT MinimizedIconPosition(const RECT& client, int iconWidth, int iconHeight) {
  return {(client.right - client.left - iconWidth + 1) / 2, (client.bottom - client.top - iconHeight + 1) / 2};
}

CToolDialog::CToolDialog(HWND parent)
    : ModalDialog(IDD_MAIN, parent),
      m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN))),
      m_services(&m_systemServices) {}

CToolDialog::~CToolDialog() {
  // Only when the window was taken away mid-command: the dialog never ends
  // itself while one runs.
  if (m_worker.joinable()) m_worker.join();
  // The log must not write into a window that is gone.
  if (g_pMainDialog == this) g_pMainDialog = nullptr;
  if (g_helpDialog == this) {
    ::UnhookWindowsHookEx(g_helpHook);
    g_helpHook = nullptr;
    g_helpDialog = nullptr;
  }
}

BOOL CToolDialog::OnInitDialog() {
  // The About item at the end of the window menu, when its text loads.
  if (HMENU menu = ::GetSystemMenu(m_hWnd, FALSE)) {
    char text[256] = {};
    if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUT, text, int(sizeof text)) > 0) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(menu, MF_STRING, IDM_ABOUT, text);
    }
  }
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  m_log = ::GetDlgItem(m_hWnd, IDC_LOG);
  m_windowThread = ::GetCurrentThreadId();
  // The edit control stops taking text at about 32 K characters unless told
  // otherwise; 0 lifts the limit to the most it can hold, so a long
  // transcript is shown whole.
  ::SendMessageA(m_log, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowLongPtrA(m_log, GWLP_USERDATA, ::GetWindowLongPtrA(m_log, GWLP_WNDPROC));
  ::SetWindowLongPtrA(m_log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LogBoxProc));
  m_shownLines = static_cast<int>(::SendMessageA(m_log, EM_GETLINECOUNT, 0, 0));
  m_systemServices.SetOwner(m_hWnd);
  if (g_helpDialog == nullptr) {
    g_helpHook = ::SetWindowsHookExA(WH_MSGFILTER, &HelpKeyHook, nullptr, ::GetCurrentThreadId());
    if (g_helpHook != nullptr) g_helpDialog = this;
  }
  g_pMainDialog = this;
  return TRUE;
}

void CToolDialog::AppendText(std::string_view text) {
  std::lock_guard lock(m_logLock);
  m_pendingText.append(text);
  m_pendingLines += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

int CToolDialog::GetLineCount() {
  std::lock_guard lock(m_logLock);
  return static_cast<int>(std::min<std::int64_t>(INT_MAX, std::int64_t(m_shownLines) + m_pendingLines));
}

void CToolDialog::LineScroll(int lines) {
  std::lock_guard lock(m_logLock);
  m_pendingScroll += lines;
}

void CToolDialog::UpdateWindow() {
  // A command's thread leaves the box to the window's timer.
  if (::GetCurrentThreadId() != m_windowThread) return;
  if (m_repaint.Request(RepaintThrottle::Clock::now())) {
    FlushLog();
  } else if (!m_timerSet) {
    // Held back: the timer repaints if no later message does.
    m_timerSet = ::SetTimer(m_hWnd, kRepaintTimer, kRepaintMs, nullptr) != 0;
  }
}

void CToolDialog::FlushLog() {
  const auto start = RepaintThrottle::Clock::now();
  // While a command runs the timer goes on ticking.
  if (m_timerSet && !Busy()) {
    ::KillTimer(m_hWnd, kRepaintTimer);
    m_timerSet = false;
  }
  std::string text;
  std::int64_t scroll = 0;
  int lines = 0;
  {
    std::lock_guard lock(m_logLock);
    text.swap(m_pendingText);
    lines = m_pendingLines;
    scroll = std::exchange(m_pendingScroll, 0);
  }
  if (text.empty() && scroll == 0) return;
  // The box draws nothing while it changes (each change would redraw its
  // frame and scroll bars), then once, in the repaint below.
  ::SendMessageA(m_log, WM_SETREDRAW, FALSE, 0);
  if (!text.empty()) {
    // Inserted at the end rather than rewriting the whole text, so the cost
    // is the new text's length, not the transcript's. The selection is the
    // insertion point; the user may have moved it since.
    const int end = ::GetWindowTextLengthA(m_log);
    ::SendMessageA(m_log, EM_SETSEL, end, end);
    ::SendMessageA(m_log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  if (scroll != 0) {
    const auto clamped = std::clamp<std::int64_t>(scroll, INT_MIN, INT_MAX);
    ::SendMessageA(m_log, EM_LINESCROLL, 0, static_cast<LPARAM>(clamped));
  }
  const int shown = static_cast<int>(::SendMessageA(m_log, EM_GETLINECOUNT, 0, 0));
  {
    // Lines logged meanwhile stay pending on top of the new count.
    std::lock_guard lock(m_logLock);
    m_shownLines = shown;
    m_pendingLines -= lines;
  }
  ::SendMessageA(m_log, WM_SETREDRAW, TRUE, 0);
  ::RedrawWindow(m_log, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
  ::UpdateWindow(m_hWnd);
  const auto end = RepaintThrottle::Clock::now();
  m_repaint.Painted(end, end - start);
}

void CToolDialog::OnExtract() { RunCommand(&ExtractCommand); }

void CToolDialog::OnCompress() { RunCommand(&CompressCommand); }

void CToolDialog::RunCommand(void (*command)(WindowServices&)) {
  if (Busy()) return;
  m_focusBefore = ::GetFocus();
  for (int id : kButtons) ::EnableWindow(::GetDlgItem(m_hWnd, id), FALSE);
  m_timerSet = ::SetTimer(m_hWnd, kRepaintTimer, kRepaintMs, nullptr) != 0;
  try {
    m_worker = std::thread([this, command] {
      command(m_asking);
      // Sent rather than posted: a full message queue cannot lose it.
      ::SendNotifyMessageA(m_hWnd, kCommandDone, 0, 0);
    });
  } catch (const std::system_error& error) {
    LogPrintf("Error: cannot start the command: %s\n", error.what());
    OnCommandDone();
  }
}

void CToolDialog::OnCommandDone() {
  if (m_worker.joinable()) m_worker.join();
  FlushLog();
  for (int id : kButtons) ::EnableWindow(::GetDlgItem(m_hWnd, id), TRUE);
  // The disabled button lost the focus; keyboard users go on from it.
  if (m_focusBefore != nullptr && ::GetActiveWindow() == m_hWnd) {
    ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_focusBefore), TRUE);
  }
  if (m_endRequested != 0) EndDialog(m_endRequested);
}

void CToolDialog::OnWindowThread(const std::function<void()>& call) {
  if (::GetCurrentThreadId() == m_windowThread) {
    call();
  } else {
    ::SendMessageA(m_hWnd, kCallOnWindowThread, 0, reinterpret_cast<LPARAM>(&call));
  }
}

bool CToolDialog::AskOnWindowThread::GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) {
  bool chosen = false;
  dialog_.OnWindowThread([&] { chosen = dialog_.m_services->GetOpenFileName(request, chosenPath); });
  return chosen;
}

bool CToolDialog::AskOnWindowThread::GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) {
  bool chosen = false;
  dialog_.OnWindowThread([&] { chosen = dialog_.m_services->GetSaveFileName(request, chosenPath); });
  return chosen;
}

int CToolDialog::AskOnWindowThread::BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                                                     const char* initialFolder) {
  int chosen = 0;
  dialog_.OnWindowThread([&] { chosen = dialog_.m_services->BrowseForFolder(folder, title, rootPath, initialFolder); });
  return chosen;
}

void CToolDialog::OnOK() { EndWhenIdle(IDOK); }

void CToolDialog::OnCancel() { EndWhenIdle(IDCANCEL); }

void CToolDialog::EndWhenIdle(int result) {
  if (Busy()) {
    m_endRequested = result;
  } else {
    EndDialog(result);
  }
}

bool CToolDialog::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0) != IDM_ABOUT) return false;
  CAboutDialog about(m_hWnd);
  about.DoModal();
  return true;
}

bool CToolDialog::OnPaint() {
  if (!::IsIconic(m_hWnd)) return false;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(m_hWnd, &paint);
  ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(m_hWnd, &client);
  const POINT at = MinimizedIconPosition(client, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
  ::DrawIcon(dc, at.x, at.y, m_hIcon);
  ::EndPaint(m_hWnd, &paint);
  return true;
}

void CToolDialog::SetWindowServices(WindowServices* services) {
  m_services = services != nullptr ? services : &m_systemServices;
}

bool CToolDialog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_EXTRACT) {
    OnExtract();
    return true;
  }
  if (id == IDC_COMPRESS) {
    OnCompress();
    return true;
  }
  return false;
}

bool CToolDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      result = TRUE;
      return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
      result = TRUE;
      return OnPaint();
    case WM_TIMER:
      if (wParam != kRepaintTimer) return false;
      // While a command runs, the ticks are repaints to ask for.
      if (!Busy() || m_repaint.Request(RepaintThrottle::Clock::now())) FlushLog();
      result = TRUE;
      return true;
    case kCommandDone:
      OnCommandDone();
      return true;
    case kCallOnWindowThread:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return true;
    case WM_QUERYDRAGICON:
      // One of the messages whose answer a dialog procedure returns itself.
      result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
      return true;
    default:
      return false;
  }
}
