// A modal dialog built from a resource template: the little of an
// application framework that the program uses. DoModal runs the template on
// the calling thread until EndDialog; the dialog procedure hands the
// messages to the virtual handlers below.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

class ModalDialog {
 public:
  // templateId: the dialog template in the program's resources. parent: the
  // window the dialog is modal to (none for the main window).
  ModalDialog(int templateId, HWND parent);
  virtual ~ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  // Runs the dialog; answers the value given to EndDialog (-1 when the
  // template could not be loaded).
  INT_PTR DoModal();
  // The dialog's window while it runs, else null.
  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  // WM_INITDIALOG. TRUE lets the window system focus the first tab stop.
  virtual BOOL OnInitDialog() { return TRUE; }
  // IDOK (also Enter when no push button has the focus) and IDCANCEL
  // (Escape, the Close command) end the dialog.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // WM_COMMAND with any other id. True when handled.
  virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
  // Any other message. True when handled, with the dialog procedure's
  // result in result; false leaves it to the default processing.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& /*result*/) {
    return false;
  }
  void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int m_templateId;
  HWND m_parent;
};
