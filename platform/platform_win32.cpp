// Win32 implementation of the operating-system services.
//
// '\' is the native separator ('/' is taken too), so paths pass unchanged;
// the current directory is the system's own, which is already a logical path.
// Names are narrow strings in the system's ANSI code page and reach the ...A
// calls exactly as given; the programs' manifest opts in to paths longer than
// MAX_PATH where the system allows them, and nothing here cuts a path short.
//
// Errors the engine tests for (a name that exists, a name that does not, no
// space left) are reported as their errno values; every other system error
// keeps its own code, offset by kErrSystemBase, so that ErrorText() gives the
// system's own reason for it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/platform.h"
#include "platform/stdio_stream.h"

namespace platform {

const char System::kNativeSeparator = '\\';

bool System::IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string System::Native(const std::string& path) { return path; }

namespace {

int FromWin32(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return error <= static_cast<DWORD>(INT_MAX - kErrSystemBase) ? kErrSystemBase + static_cast<int>(error) : EIO;
  }
}

int LastError() { return FromWin32(GetLastError()); }

// Only links and junctions count as links: other reparse points (cloud
// placeholders, deduplicated files) are the files they stand for.
bool IsLinkTag(DWORD tag) { return IsReparseTagNameSurrogate(tag); }

ItemKind KindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ItemKind::Directory : ItemKind::RegularFile;
}

// A C runtime stream on a handle; the handle is closed on failure.
std::unique_ptr<ByteStream> StreamOnHandle(HANDLE handle, int flags, const char* mode, int& error) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    error = errno ? errno : EMFILE;
    CloseHandle(handle);
    return nullptr;
  }
  return StreamOnDescriptor(fd, mode, error);
}

std::optional<bool> g_debugEnabled;

}  // namespace

std::unique_ptr<ByteStream> System::OpenRead(const std::string& path, bool regularOnly, int& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    // A folder cannot be opened as a file, and the system calls that a
    // refused access.
    DWORD attributes = GetFileAttributesA(path.c_str());
    bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    error = code == ERROR_ACCESS_DENIED && folder ? EISDIR : FromWin32(code);
    return nullptr;
  }
  // Devices (CON, NUL, COM1, a pipe) open like files; the walk takes none.
  if (regularOnly && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    error = kErrNotRegularFile;
    return nullptr;
  }
  return StreamOnHandle(file, _O_RDONLY, "rb", error);
}

std::unique_ptr<ByteStream> System::CreateNew(const std::string& path, int& error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastError();
    return nullptr;
  }
  // A device name opens the device, whatever the folder: nothing written to
  // it would land in a file.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    error = kErrNotRegularFile;
    return nullptr;
  }
  return StreamOnHandle(file, _O_WRONLY, "wb", error);
}

int System::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) ? 0 : LastError(); }

int System::Rename(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError();
}

int System::MakeDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) ? 0 : LastError(); }

int System::ChangeDirectory(const std::string& path) {
  if (path.empty()) return ENOENT;
  return SetCurrentDirectoryA(path.c_str()) ? 0 : LastError();
}

std::string System::CurrentDirectory() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length);  // the size needed, terminator included
  }
}

int System::ListDirectory(const std::string& path, std::vector<DirItem>& items) {
  items.clear();
  const bool here = path.empty() || path == ".";
  const std::string prefix = here ? std::string() : IsSeparator(path.back()) ? path : path + '\\';
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((prefix + "*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : FromWin32(error);
  }
  do {
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
    DirItem item;
    item.name = found.cFileName;
    item.kind = KindOf(found.dwFileAttributes);
    item.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkTag(found.dwReserved0);
    if (item.isLink) {
      // What a link is depends on its target, as on POSIX.
      PathStatus target;
      if (Status(prefix + item.name, true, target) == 0) {
        item.kind = target.exists ? target.kind : ItemKind::BrokenLink;
      }
    }
    items.push_back(std::move(item));
  } while (FindNextFileA(find, &found));
  DWORD error = GetLastError();
  FindClose(find);
  return error == ERROR_NO_MORE_FILES ? 0 : FromWin32(error);
}

int System::Status(const std::string& path, bool followLinks, PathStatus& status) {
  status = PathStatus();
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    int error = LastError();
    return error == ENOENT ? 0 : error;
  }
  BY_HANDLE_FILE_INFORMATION info;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  BOOL ok = GetFileInformationByHandle(file, &info);
  DWORD error = GetLastError();
  bool tagged = ok && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag);
  CloseHandle(file);
  if (!ok) return FromWin32(error);
  status.exists = true;
  status.isLink = !followLinks && tagged && IsLinkTag(tag.ReparseTag);
  status.kind = KindOf(info.dwFileAttributes);
  status.id = NodeId{info.dwVolumeSerialNumber,
                     (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return 0;
}

void System::DebugOutput(std::string_view text) {
  std::string terminated(text);
  OutputDebugStringA(terminated.c_str());
  if (!g_debugEnabled) {
    const char* env = std::getenv("VRK_DEBUG");
    g_debugEnabled = env && std::strcmp(env, "1") == 0;
  }
  if (*g_debugEnabled) std::fwrite(text.data(), 1, text.size(), stderr);
}

void SetDebugOutput(bool enabled) { g_debugEnabled = enabled; }

std::string SystemErrorText(int error) {
  if (error < kErrSystemBase) return std::strerror(error);
  const DWORD code = static_cast<DWORD>(error - kErrSystemBase);
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length ? std::string(text, length) : std::string();
  LocalFree(text);
  // One line, without the closing full stop, like the runtime's texts.
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "System error " + std::to_string(code) : reason;
}

}  // namespace platform
