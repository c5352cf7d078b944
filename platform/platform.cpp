// The parts of the platform layer that are the same on every system.
#include "platform/platform.h"

#include <cstring>

namespace platform {

namespace {
System& NativeSystem() {
  static System native;
  return native;
}
System* g_current = nullptr;
}  // namespace

System& Sys() { return g_current ? *g_current : NativeSystem(); }

ScopedSystem::ScopedSystem(System& replacement) : previous_(g_current) { g_current = &replacement; }
ScopedSystem::~ScopedSystem() { g_current = previous_; }

std::string ErrorText(int error) {
  switch (error) {
    case 0: return "Success";
    case kErrNotRegularFile: return "Not a regular file";
    case kErrSymbolicLink: return "Is a symbolic link";
    case kErrFileTooLarge: return "File too large to store";
    case kErrSizeChanged: return "File changed size while it was read";
    case kErrOutOfMemory: return "Out of memory";
    case kErrUnexpectedEnd: return "Unexpected end of file";
    default: return std::strerror(error);
  }
}

}  // namespace platform
