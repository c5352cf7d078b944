// The About box: program name and version, a credit text and "OK".
#pragma once

#include "ui/resource.h"
#include "ui/win32/dialog.h"

class CAboutDialog : public ModalDialog {
 public:
  // owner: the window the box is modal to.
  explicit CAboutDialog(HWND owner = nullptr) : ModalDialog(IDD_ABOUT, owner) {}
};
