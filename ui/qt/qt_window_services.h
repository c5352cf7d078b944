// WindowServices with Qt's file dialogs and our folder picker, all modal to
// the given owner window.
#pragma once

#include "ui/window_services.h"

class QWidget;

class QtWindowServices : public WindowServices {
 public:
  explicit QtWindowServices(QWidget* owner) : owner_(owner) {}

  bool GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  bool GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  int BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                      const char* initialFolder) override;

 private:
  QWidget* owner_;
};
