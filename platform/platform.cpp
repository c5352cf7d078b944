// The parts of the platform layer that are the same on every system.
#include "platform/platform.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {
System& NativeSystem() {
  static System native;
  return native;
}
System* g_current = nullptr;
}  // namespace

#ifdef _WIN32
// The runtime's text for an errno value, the system's for a Win32 error
// (platform_win32.cpp).
std::string SystemErrorText(int error);
#endif

System& Sys() { return g_current ? *g_current : NativeSystem(); }

ScopedSystem::ScopedSystem(System& replacement) : previous_(g_current) { g_current = &replacement; }
ScopedSystem::~ScopedSystem() { g_current = previous_; }

std::uint64_t ByteStream::CopyTo(ByteStream& out, std::uint64_t n, std::span<std::uint8_t> buffer) {
  std::uint64_t copied = 0;
  while (copied < n) {
    std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n - copied, buffer.size()));
    std::size_t got = Read(buffer.data(), chunk);
    if (got > 0 && !out.Write(buffer.data(), got)) break;
    copied += got;
    if (got < chunk) break;
  }
  return copied;
}

PathParts SplitFolder(const std::string& path) {
  std::size_t cut = path.size();
  while (cut > 0 && !System::IsSeparator(path[cut - 1])) --cut;
  if (cut == 0) return {std::string(), path};
  PathParts parts{path.substr(0, cut - 1), path.substr(cut)};
  // A file directly in a root lies in "/" or "C:\\", not in "" or "C:" (the
  // drive's current folder).
  const bool driveRoot = parts.folder.size() == 2 && parts.folder[1] == ':';
  if (parts.folder.empty() || driveRoot) parts.folder = path.substr(0, cut);
  return parts;
}

std::string ErrorText(int error) {
  switch (error) {
    case 0: return "Success";
    case kErrNotRegularFile: return "Not a regular file";
    case kErrSymbolicLink: return "Is a symbolic link";
    case kErrFileTooLarge: return "File too large to store";
    case kErrSizeChanged: return "File changed size while it was read";
    case kErrOutOfMemory: return "Out of memory";
    case kErrUnexpectedEnd: return "Unexpected end of file";
#ifdef _WIN32
    default: return SystemErrorText(error);
#else
    default: return std::strerror(error);
#endif
  }
}

}  // namespace platform
