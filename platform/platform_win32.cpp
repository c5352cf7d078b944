// Win32 implementation of the operating-system services.
//
// '\' is the native separator ('/' is taken too), so paths pass unchanged;
// the current directory is the system's own, which is already a logical path.
// Names are narrow strings in the system's ANSI code page, exactly as the
// ...A calls take and give them. They are converted here to and from UTF-16
// the way those calls convert them, and the ...W calls are made instead: the
// ...A calls hold a path in a MAX_PATH buffer on the way, the ...W calls do
// not. With the programs' manifest (long paths opted in) a path of any length
// works wherever the system allows it; nothing here cuts one short.
//
// Errors the engine tests for (a name that exists, a name that does not, no
// space left) are reported as their errno values; every other system error
// keeps its own code, offset by kErrSystemBase, so that ErrorText() gives the
// system's own reason for it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
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

// The code page of the ...A file calls: ANSI unless a program switched them.
UINT FileCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

std::wstring Wide(const std::string& name) {
  if (name.empty()) return std::wstring();
  const int size = static_cast<int>(name.size());
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(FileCodePage(), 0, name.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(FileCodePage(), 0, name.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  std::string narrow(static_cast<std::size_t>(WideCharToMultiByte(FileCodePage(), 0, text, size, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(FileCodePage(), 0, text, size, narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr);
  return narrow;
}

// Only links and junctions count as links: other reparse points (cloud
// placeholders, deduplicated files) are the files they stand for.
bool IsLinkTag(DWORD tag) { return IsReparseTagNameSurrogate(tag); }

ItemKind KindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ItemKind::Directory : ItemKind::RegularFile;
}

// Whether the system keeps a current directory longer than MAX_PATH, or
// makes a folder by such a path: with long paths enabled (Windows 10 1607
// and later, by policy and manifest). Without them Windows refuses both
// itself; an emulation of it may accept one and then overrun its own
// MAX_PATH buffers, so the refusal is made here too, with the system's error
// for it.
bool LongPathsEnabled() {
  static const bool enabled = [] {
    using Query = BOOLEAN(WINAPI*)();
    FARPROC query = GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlAreLongPathsEnabled");
    return query && reinterpret_cast<Query>(reinterpret_cast<void*>(query))();
  }();
  return enabled;
}

// Whether a path, made full, is at most `limit` characters long, or the
// system takes long paths anyway (trailing separators do not count).
bool WithinPathLimit(const std::wstring& name, DWORD limit) {
  if (LongPathsEnabled()) return true;
  std::wstring full(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
  DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  while (length > 3 && (full[length - 1] == L'\\' || full[length - 1] == L'/')) --length;
  return length <= limit;
}

// A C runtime stream on a handle; the handle is closed on failure.
std::unique_ptr<ByteStream> StreamOnHandle(HANDLE handle, int flags, const char* mode, int& error) {
  // The volume and the file's number on it tell the file from any other.
  NodeId id;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info)) {
    id = NodeId{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    error = errno ? errno : EMFILE;
    CloseHandle(handle);
    return nullptr;
  }
  return StreamOnDescriptor(fd, mode, error, id);
}

std::optional<bool> g_debugEnabled;

// Someone reads the debug channel: a debugger attached to this process, or a
// monitor waiting on the system-wide channel. Without either the text goes
// nowhere, and sending it would cost an exception per message.
bool DebugChannelWatched() {
  if (IsDebuggerPresent()) return true;
  for (const char* ready : {"DBWIN_BUFFER_READY", "Global\\DBWIN_BUFFER_READY"}) {
    if (HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, ready)) {
      CloseHandle(event);
      return true;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<ByteStream> System::OpenRead(const std::string& path, bool regularOnly, int& error) {
  const std::wstring name = Wide(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    // A folder cannot be opened as a file, and the system calls that a
    // refused access.
    DWORD attributes = GetFileAttributesW(name.c_str());
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
  // Shared for deletion, so that a console control handler on another thread
  // can have an interrupted archive's temporary file removed.
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool NamesDevice(std::string_view component) {
  // Compared as the system sees the name: after the conversion from the
  // code page, so that the superscript digits are found in any code page
  // that has them.
  const std::wstring wide = Wide(std::string(component));
  std::wstring_view base(wide);
  base = base.substr(0, base.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);  // "NUL .txt" is NUL
  auto same = [](std::wstring_view text, std::wstring_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const wchar_t c = text[i] >= L'a' && text[i] <= L'z' ? static_cast<wchar_t>(text[i] - L'a' + L'A') : text[i];
      if (c != upper[i]) return false;
    }
    return true;
  };
  for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (same(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const wchar_t digit = base[3];
  const bool numbered = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  return numbered && (same(base.substr(0, 3), L"COM") || same(base.substr(0, 3), L"LPT"));
}

int System::FindReplaceTarget(const std::string& path, ReplaceTarget& target) {
  target = ReplaceTarget();
  target.path = path;
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;  // creating the new file tells what is wrong, if anything
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link is written through to the file it leads to, as an open would.
    HANDLE file = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      std::wstring final(GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
      DWORD length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
      CloseHandle(file);
      if (length > 0 && length < final.size()) {
        final.resize(length);
        if (final.starts_with(L"\\\\?\\UNC\\")) {
          final.replace(0, 8, L"\\\\");
        } else if (final.starts_with(L"\\\\?\\")) {
          final.erase(0, 4);
        }
        target.path = Narrow(final.data(), final.size());
        attributes = GetFileAttributesW(final.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
      }
    }
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
  if (attributes & FILE_ATTRIBUTE_READONLY) return EACCES;
  // What else would refuse an open for writing (the file's security, a
  // program holding it open without sharing) is found by opening it so,
  // without changing a byte.
  HANDLE file = CreateFileW(Wide(target.path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!disk) return kErrNotRegularFile;
  target.exists = true;
  target.mode = attributes;
  return 0;
}

std::unique_ptr<ByteStream> System::CreateReplacement(const std::string& path, const ReplaceTarget& like, int& error) {
  auto out = CreateNew(path, error);
  // The new file inherits its security from the folder, as the old one did;
  // what it keeps of the old one is the attributes an open for writing keeps.
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (out && like.exists && (like.mode & kKept)) SetFileAttributesW(Wide(path).c_str(), like.mode & kKept);
  return out;
}

int System::RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) ? 0 : LastError(); }

int System::Rename(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError();
}

int System::MakeDirectory(const std::string& path) {
  const std::wstring name = Wide(path);
  // A folder leaves room for a file name of 8.3 characters in MAX_PATH.
  if (!WithinPathLimit(name, MAX_PATH - 12)) return FromWin32(ERROR_FILENAME_EXCED_RANGE);
  return CreateDirectoryW(name.c_str(), nullptr) ? 0 : LastError();
}

int System::ChangeDirectory(const std::string& path) {
  if (path.empty()) return ENOENT;
  const std::wstring name = Wide(path);
  // MAX_PATH holds the directory, the separator the system adds and the
  // terminator.
  if (!WithinPathLimit(name, MAX_PATH - 2)) return FromWin32(ERROR_FILENAME_EXCED_RANGE);
  return SetCurrentDirectoryW(name.c_str()) ? 0 : LastError();
}

// The system resolves ".." by the path's text already.
int System::ChangeDirectoryAsGiven(const std::string& path) { return System::ChangeDirectory(path); }

int System::ChangeToParent(const NodeId&) { return System::ChangeDirectory(".."); }

std::string System::CurrentDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return std::string();
    if (length < buffer.size()) return Narrow(buffer.data(), length);
    buffer.resize(length);  // the size needed, terminator included
  }
}

int System::ListDirectory(const std::string& path, std::vector<DirItem>& items) {
  items.clear();
  const bool here = path.empty() || path == ".";
  const std::string prefix = here ? std::string() : IsSeparator(path.back()) ? path : path + '\\';
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW(Wide(prefix + "*.*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : FromWin32(error);
  }
  do {
    if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
    DirItem item;
    item.name = Narrow(found.cFileName, std::wcslen(found.cFileName));
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
  } while (FindNextFileW(find, &found));
  DWORD error = GetLastError();
  FindClose(find);
  return error == ERROR_NO_MORE_FILES ? 0 : FromWin32(error);
}

int System::Status(const std::string& path, bool followLinks, PathStatus& status) {
  status = PathStatus();
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE file = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
  if (DebugChannelWatched()) OutputDebugStringA(std::string(text).c_str());
  if (!g_debugEnabled) {
    const char* env = std::getenv("VRK_DEBUG");
    g_debugEnabled = env && std::strcmp(env, "1") == 0;
  }
  if (*g_debugEnabled) std::fwrite(text.data(), 1, text.size(), stderr);
}

void SetDebugOutput(bool enabled) { g_debugEnabled = enabled; }

// ---------------------------------------------------------------------------
// Removing the file under construction when the console ends the process.
// The control handler runs on a thread of its own, so a lock is enough.

namespace {

SRWLOCK g_pendingLock = SRWLOCK_INIT;
std::wstring* g_pendingFile = nullptr;  // full path; guarded by g_pendingLock

BOOL WINAPI RemovePendingFile(DWORD) {
  AcquireSRWLockExclusive(&g_pendingLock);
  // The file is open for writing (shared for deletion): it goes when the
  // process ends and its handle is closed.
  if (g_pendingFile) DeleteFileW(g_pendingFile->c_str());
  ReleaseSRWLockExclusive(&g_pendingLock);
  return FALSE;  // the system's own handling then ends the process
}

void SetPendingFile(std::wstring* file) {
  AcquireSRWLockExclusive(&g_pendingLock);
  std::swap(file, g_pendingFile);
  ReleaseSRWLockExclusive(&g_pendingLock);
  delete file;
}

}  // namespace

void InstallInterruptCleanup() { SetConsoleCtrlHandler(RemovePendingFile, TRUE); }

RemovedOnInterrupt::RemovedOnInterrupt(const std::string& path) {
  const std::wstring name = Wide(path);
  std::wstring full(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return;
  full.resize(length);
  SetPendingFile(new std::wstring(std::move(full)));
}

RemovedOnInterrupt::~RemovedOnInterrupt() { SetPendingFile(nullptr); }

std::int64_t System::KernelCopy(int, int, std::size_t, int& error) {
  // Copies go through memory here, in large pieces.
  error = ENOSYS;
  return -1;
}

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

// Large pages need a privilege that users lack: plain committed pages.
LargeBuffer::LargeBuffer(std::size_t size) {
  size_ = std::max<std::size_t>(size, 1);
  data_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!data_) throw std::bad_alloc();
}

LargeBuffer::~LargeBuffer() {
  if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

// Files are opened again when the archive is written: nothing is kept.
OpenFileAllowance::OpenFileAllowance() = default;
OpenFileAllowance::~OpenFileAllowance() = default;

}  // namespace platform
