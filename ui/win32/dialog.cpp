#include "ui/win32/dialog.h"

ModalDialog::ModalDialog(int templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR ModalDialog::DoModal() {
  const INT_PTR result = ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_parent,
                                           &ModalDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<ModalDialog*>(lParam);
    ::SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->m_hWnd = window;
    return dialog->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (WM_SETFONT, the controls' creation) find
  // no object yet and get the default processing.
  auto* dialog = reinterpret_cast<ModalDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  if (message == WM_COMMAND) {
    const int id = LOWORD(wParam);
    if (id == IDOK) {
      dialog->OnOK();
      return TRUE;
    }
    if (id == IDCANCEL) {
      dialog->OnCancel();
      return TRUE;
    }
    return dialog->OnCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
  }
  INT_PTR result = FALSE;
  return dialog->OnMessage(message, wParam, lParam, result) ? result : FALSE;
}
