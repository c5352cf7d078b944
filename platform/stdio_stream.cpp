#include "platform/stdio_stream.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <io.h>
#define VRK_GETC _getc_nolock
#define VRK_FDOPEN _fdopen
#define VRK_CLOSE _close
#else
#include <unistd.h>
#define VRK_GETC getc_unlocked
#define VRK_FDOPEN fdopen
#define VRK_CLOSE close
#endif

namespace platform {

StdioStream::~StdioStream() {
  if (file_) std::fclose(file_);
}

std::size_t StdioStream::Read(void* buffer, std::size_t n) {
  errno = 0;
  std::size_t got = std::fread(buffer, 1, n, file_);
  if (got < n && std::ferror(file_)) error_ = errno ? errno : EIO;
  return got;
}

int StdioStream::GetByte() {
  int c = VRK_GETC(file_);
  if (c == EOF && std::ferror(file_)) error_ = errno ? errno : EIO;
  return c == EOF ? -1 : c;
}

bool StdioStream::Write(const void* buffer, std::size_t n) {
  errno = 0;
  if (std::fwrite(buffer, 1, n, file_) == n) return true;
  error_ = errno ? errno : EIO;
  return false;
}

bool StdioStream::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) == 0) return error_ == 0;
  if (error_ == 0) error_ = errno ? errno : EIO;
  return false;
}

std::int64_t StdioStream::Length() {
#ifdef _WIN32
  std::int64_t length = _filelengthi64(_fileno(file_));
  if (length < 0) error_ = errno;
  return length;
#else
  struct stat st;
  if (fstat(fileno(file_), &st) != 0) {
    error_ = errno;
    return -1;
  }
  return st.st_size;
#endif
}

bool StdioStream::Seek(std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
    error_ = EINVAL;
    return false;
  }
#ifdef _WIN32
  if (_fseeki64(file_, static_cast<__int64>(offset), SEEK_SET) == 0) return true;
#else
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0) return true;
#endif
  error_ = errno ? errno : EIO;
  return false;
}

std::unique_ptr<ByteStream> StreamOnDescriptor(int fd, const char* mode, int& error, NodeId id) {

  std::FILE* file = VRK_FDOPEN(fd, mode);
  if (!file) {
    error = errno;
    VRK_CLOSE(fd);
    return nullptr;
  }
  error = 0;
  return std::make_unique<StdioStream>(file, id);
}

}  // namespace platform
