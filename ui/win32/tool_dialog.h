// The main window: "Extract" and "Compress" side by side, the log box below
// them and a credit line at the bottom. It is the progress log's view: once
// initialised, every LogPrintf lands in its log box (edit control IDC_LOG).
//
// A command runs on a thread of its own, so the window keeps drawing its log
// while the files are packed or unpacked: the engine never waits for a
// repaint, and the window never waits for a file. The command's dialogs still
// open on the window's thread, which it asks and waits for.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

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

  // LogView: the log box's share of the progress log. Any thread may log;
  // the box itself is changed only on the window's thread.
  void AppendText(std::string_view text) override;
  int GetLineCount() override;
  void LineScroll(int lines) override;
  void UpdateWindow() override;

  // The button handlers: each starts its command beside the window, with
  // both buttons disabled until it ends; Busy() holds meanwhile.
  void OnExtract();
  void OnCompress();
  bool Busy() const { return m_worker.joinable(); }
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
  // and a repaint. Called on the window's thread: at a command's end, and by
  // a timer while a command runs or after a message whose repaint was held
  // back.
  void FlushLog();

 protected:
  BOOL OnInitDialog() override;
  // Ending the dialog while a command runs would cut the command short: the
  // end is carried out once the command has finished.
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  // The services the command's thread asks through: each call runs on the
  // window's thread, where the dialogs belong.
  class AskOnWindowThread : public WindowServices {
   public:
    explicit AskOnWindowThread(CToolDialog& dialog) : dialog_(dialog) {}
    bool GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) override;
    bool GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) override;
    int BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                        const char* initialFolder) override;

   private:
    CToolDialog& dialog_;
  };

  void RunCommand(void (*command)(WindowServices&));
  void OnCommandDone();
  // Ends the dialog now, or once the running command has finished.
  void EndWhenIdle(int result);
  // Runs `call` on the window's thread and waits for it.
  void OnWindowThread(const std::function<void()>& call);

  HICON m_hIcon;
  HWND m_log = nullptr;
  DWORD m_windowThread = 0;
  // Logged text not yet in the box, its line breaks, and the scrolling
  // asked for since the box was last brought up to date. The box takes the
  // text at each repaint: every change of a visible edit control costs a
  // redraw of its frame, which would cost more than the work logged.
  // m_logLock guards these four, which the command's thread writes.
  std::mutex m_logLock;
  std::string m_pendingText;
  int m_pendingLines = 0;
  std::int64_t m_pendingScroll = 0;
  // The box's own line count as last read.
  int m_shownLines = 1;
  bool m_timerSet = false;
  Win32WindowServices m_systemServices;
  WindowServices* m_services;
  AskOnWindowThread m_asking{*this};
  std::thread m_worker;
  // The control that had the focus when the command started, and the end
  // asked for while it ran (0: none).
  HWND m_focusBefore = nullptr;
  int m_endRequested = 0;
  RepaintThrottle m_repaint;
};
