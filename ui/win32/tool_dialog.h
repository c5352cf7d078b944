// The main window: "Extract" and "Compress" side by side, the log box below
// them and a credit line at the bottom. It is the progress log's view: once
// initialised, every LogPrintf lands in its log box (edit control IDC_LOG).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log.h"
#include "ui/repaint_throttle.h"
#include "ui/win32/dialog.h"
#include "ui/win32/win32_window_services.h"

// Where the minimised window's icon goes: centred in the client area, the
// odd pixel to the right and below, dividing as signed integers (toward zero).
POINT MinimizedIconPosition(const RECT& client, int iconWidth, int iconHeight);

class CToolDialog : public ModalDialog, public LogView {
 public:
  explicit CToolDialog(HWND parent = nullptr);
  ~CToolDialog() override;

  // LogView: the log box's share of the progress log.
  void AppendText(std::string_view text) override;
  int GetLineCount() override;
  void LineScroll(int lines) override;
  void UpdateWindow() override;

  // The button handlers.
  void OnExtract();
  void OnCompress();
  // A window-menu command. The About command (the low four bits of its value
  // are the window system's and ignored) opens the About box; answers
  // whether the command was ours, else the default processing carries it out.
  bool OnSysCommand(UINT nID, LPARAM lParam);
  // Paints the icon when minimised; false: the window paints as usual.
  bool OnPaint();
  HCURSOR OnQueryDragIcon() const { return reinterpret_cast<HCURSOR>(m_hIcon); }

  // The dialogs the commands ask through; null restores the system's.
  void SetWindowServices(WindowServices* services);
  // Brings the log box up to date with everything logged: text, scrolling
  // and a repaint. The commands do at their end, a timer after a message
  // whose repaint was held back.
  void FlushLog();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  HICON m_hIcon;
  HWND m_log = nullptr;
  // Logged text not yet in the box, its line breaks, and the scrolling
  // asked for since the box was last brought up to date. The box takes the
  // text at each repaint: every change of a visible edit control costs a
  // redraw of its frame, which would cost more than the work logged.
  std::string m_pendingText;
  int m_pendingLines = 0;
  std::int64_t m_pendingScroll = 0;
  // The box's own line count as last read (0: not read yet).
  int m_shownLines = 0;
  bool m_timerSet = false;
  Win32WindowServices m_systemServices;
  WindowServices* m_services;
  RepaintThrottle m_repaint;
};
