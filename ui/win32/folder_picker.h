// The folder picker: the shell's folder-browse dialog, with a status line
// that shows the full path of the selected folder.
#pragma once

#include <string>

#include "ui/win32/dialog.h"

// The folder selected when the next picker opens, if its caller asked for
// a preselection. Kept between calls.
extern std::string g_strInitialFolder;

// The browse dialog's callback: on opening selects g_strInitialFolder when
// data is 1, and on each selection change puts the selected folder's path in
// the status line. Always 0.
int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM parameter, LPARAM data);

// Lets the user choose one file-system folder. title: shown above the tree.
// owner: the window the dialog is modal to. rootPath (null or empty: the
// desktop) is the top of the tree; initialFolder (null: none) is selected
// on opening. Returns 1 with folder set to the chosen folder's full path, or
// 0 with folder untouched. The shell takes paths of at most 259 characters:
// a longer root, initial or chosen folder is refused with an error line
// (never cut, which would name another folder) and gives 0.
int BrowseForFolder(std::string& folder, const char* title, HWND owner, const char* rootPath,
                    const char* initialFolder);
