// Win32 implementation of the operating-system services.
//
// '\' is the native separator, so paths pass unchanged; the current
// directory is the system's own, which is already a logical path.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
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

// The errno value closest to a Win32 error, so that every layer reports
// failures in one code space.
int FromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
      return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

ItemKind KindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ItemKind::Directory : ItemKind::RegularFile;
}

std::optional<bool> g_debugEnabled;

}  // namespace

std::unique_ptr<ByteStream> System::OpenRead(const std::string& path, bool regularOnly, int& error) {
  int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (regularOnly && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    _close(fd);
    error = kErrNotRegularFile;
    return nullptr;
  }
  return StreamOnDescriptor(fd, "rb", error);
}

std::unique_ptr<ByteStream> System::CreateNew(const std::string& path, int& error) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return StreamOnDescriptor(fd, "wb", error);
}

int System::RemoveFile(const std::string& path) { return _unlink(path.c_str()) == 0 ? 0 : errno; }

int System::Rename(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : FromWin32(GetLastError());
}

int System::MakeDirectory(const std::string& path) { return _mkdir(path.c_str()) == 0 ? 0 : errno; }

int System::ChangeDirectory(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) ? 0 : FromWin32(GetLastError());
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
  std::string pattern = path.empty() || path == "." ? std::string("*.*") : path + "\\*.*";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : FromWin32(error);
  }
  do {
    if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
    DirItem item;
    item.name = found.cFileName;
    item.kind = KindOf(found.dwFileAttributes);
    item.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
    int error = FromWin32(GetLastError());
    return error == ENOENT ? 0 : error;
  }
  BY_HANDLE_FILE_INFORMATION info;
  BOOL ok = GetFileInformationByHandle(file, &info);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) return FromWin32(error);
  status.exists = true;
  status.isLink = !followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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

}  // namespace platform
