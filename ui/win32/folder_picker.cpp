#include "ui/win32/folder_picker.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "log/log.h"

std::string g_strInitialFolder;

namespace {

// The shell's path buffers: 259 characters and the NUL.
constexpr std::size_t kPathBuffer = MAX_PATH;

// True when the path fits a path buffer; else reports it.
bool FitsPathBuffer(const char* path) {
  if (std::strlen(path) < kPathBuffer) return true;
  LogPrintf("Error: %s: the folder browser takes paths of at most %u characters\n", path,
            static_cast<unsigned>(kPathBuffer - 1));
  return false;
}

}  // namespace

int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM parameter, LPARAM data) {
  char path[kPathBuffer] = {};
  switch (message) {
    case BFFM_INITIALIZED:
      // BrowseForFolder checked that it fits.
      if (data != 0 && g_strInitialFolder.size() < kPathBuffer) {
        std::memcpy(path, g_strInitialFolder.c_str(), g_strInitialFolder.size() + 1);
        ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path));
      }
      break;
    case BFFM_SELCHANGED:
      // An item without a file-system path leaves the status line as it was.
      if (::SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(parameter), path)) {
        ::SendMessageA(dialog, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
      }
      break;
    default:
      break;
  }
  return 0;
}

int BrowseForFolder(std::string& folder, const char* title, HWND owner, const char* rootPath,
                    const char* initialFolder) {
  const bool hasRoot = rootPath != nullptr && *rootPath != '\0';
  if ((hasRoot && !FitsPathBuffer(rootPath)) || (initialFolder != nullptr && !FitsPathBuffer(initialFolder))) {
    return 0;
  }

  // The root as the shell's item list; left unset (the desktop) when the
  // path does not parse.
  PIDLIST_ABSOLUTE root = nullptr;
  if (hasRoot) {
    IShellFolder* desktop = nullptr;
    if (SUCCEEDED(::SHGetDesktopFolder(&desktop))) {
      wchar_t wide[kPathBuffer] = {};
      if (::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, rootPath, -1, wide, int(kPathBuffer)) > 0) {
        PIDLIST_RELATIVE parsed = nullptr;
        if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &parsed, nullptr))) {
          root = reinterpret_cast<PIDLIST_ABSOLUTE>(parsed);
        }
      }
      desktop->Release();
    }
  }

  char path[kPathBuffer] = {};
  BROWSEINFOA browse = {};
  browse.hwndOwner = owner;
  browse.pidlRoot = root;
  browse.pszDisplayName = path;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  browse.lpfn = &BrowseCallbackProc;
  browse.lParam = 0;
  if (initialFolder != nullptr) {
    g_strInitialFolder = initialFolder;
    browse.lParam = 1;
  }

  int result = 0;
  if (PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderA(&browse)) {
    if (::SHGetPathFromIDListA(chosen, path)) {
      folder = path;
      result = 1;
    } else {
      // The dialog confirms file-system folders only: the path was too long.
      LogPrintf("Error: the chosen folder's path is longer than %u characters\n",
                static_cast<unsigned>(kPathBuffer - 1));
    }
    ::CoTaskMemFree(chosen);
  }
  ::CoTaskMemFree(root);
  return result;
}
