// The commands' dialogs on Windows: the common open and save dialogs and the
// shell's folder browser, all modal to the main window.
#pragma once

#include "ui/win32/dialog.h"
#include "ui/window_services.h"

class Win32WindowServices : public WindowServices {
 public:
  explicit Win32WindowServices(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }

  bool GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  bool GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  int BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                      const char* initialFolder) override;

 private:
  HWND owner_;
};
