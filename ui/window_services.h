// The window-system services the two commands need: an open-file dialog, a
// save-file dialog and the folder picker.
//
// The commands reach them only through this interface, so their logic needs
// no window system: the Qt front end implements it with its dialogs, and the
// tests answer the dialogs from a script.
#pragma once

#include <string>

// The one file-type filter both file dialogs offer.
inline constexpr char kVrkFilterDescription[] = "VRK files";
inline constexpr char kVrkFilterPattern[] = "*.vrk";

// What a command asks of a file dialog.
struct FileDialogRequest {
  std::string title;
  // The folder whose files the dialog lists when it opens (native full path).
  std::string initialFolder;
  std::string filterDescription = kVrkFilterDescription;
  std::string filterPattern = kVrkFilterPattern;
};

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Asks for a file to read. Returns true with the chosen file's full native
  // path once the user confirmed one; false when the user cancelled. The file
  // need not exist: a typed name is returned as typed.
  virtual bool GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) = 0;

  // Asks for a file to write. Returns true with the full native path once the
  // user confirmed a name; when the name already exists the user has agreed
  // to replace it. No extension is added to a typed name.
  virtual bool GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) = 0;

  // Lets the user choose one existing folder, under the front end's main
  // window. rootPath (null or empty: the top of the file system) is the top
  // of the folder tree; initialFolder (null: none) is selected on opening.
  // Returns 1 with folder set to the chosen folder's full native path, or 0
  // on cancel with folder untouched.
  virtual int BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                              const char* initialFolder) = 0;
};
