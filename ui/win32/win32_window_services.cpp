#include "ui/win32/win32_window_services.h"

#include <commdlg.h>
// The dialogs' names are macros for their A and W forms; the interface's
// methods of the same names must keep theirs.
#undef GetOpenFileName
#undef GetSaveFileName

#include <vector>

#include "log/log.h"
#include "ui/win32/folder_picker.h"

namespace {

// Room for the chosen path: the longest path Windows knows, so no name is
// ever cut (the dialog refuses a longer one rather than cutting it).
constexpr DWORD kPathRoom = 32768;

bool RunFileDialog(HWND owner, const FileDialogRequest& request, bool save, std::string& chosenPath) {
  // The filter in the dialogs' double-NUL form: description, pattern, end.
  std::string filter = request.filterDescription;
  filter += '\0';
  filter += request.filterPattern;
  filter += '\0';  // c_str() adds the NUL that ends the list
  std::vector<char> file(kPathRoom, '\0');

  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kPathRoom;
  dialog.lpstrTitle = request.title.c_str();
  dialog.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
  // Not OFN_NOCHANGEDIR: the command enters the chosen file's folder anyway.
  // No OFN_FILEMUSTEXIST: a typed name of a missing file is reported by
  // Extract. No default extension: a typed name is used as typed.
  dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;

  const BOOL confirmed = save ? ::GetSaveFileNameA(&dialog) : ::GetOpenFileNameA(&dialog);
  if (!confirmed) {
    // Cancel leaves no error code; anything else is the dialog failing.
    if (const DWORD error = ::CommDlgExtendedError(); error != 0) {
      LogPrintf("Error: %s: the file dialog failed (error 0x%lX)\n", request.title.c_str(),
                static_cast<unsigned long>(error));
    }
    return false;
  }
  chosenPath = file.data();
  return true;
}

}  // namespace

bool Win32WindowServices::GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) {
  return RunFileDialog(owner_, request, false, chosenPath);
}

bool Win32WindowServices::GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) {
  return RunFileDialog(owner_, request, true, chosenPath);
}

int Win32WindowServices::BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                                         const char* initialFolder) {
  return ::BrowseForFolder(folder, title, owner_, rootPath, initialFolder);
}
