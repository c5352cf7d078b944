// POSIX implementation of the operating-system services.
//
// Engine paths use '\' between levels; every path is turned into native form
// ('\' becomes '/') before it reaches the system. The current directory is
// kept as a logical path, the way a shell keeps PWD, so that a folder entered
// through a link is left again along the path that was entered.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <limits>
#include <new>
#include <optional>

#include "platform/platform.h"

namespace platform {

const char System::kNativeSeparator = '/';

bool System::IsSeparator(char c) { return c == '/' || c == '\\'; }

namespace {
// Turns every '\\' into '/', in place (a plain store of every byte, so the
// loop runs many bytes at a time).
void MakeNative(std::string& path) {
  for (char& c : path) c = c == '\\' ? '/' : c;
}
}  // namespace

std::string System::Native(const std::string& path) {
  std::string native = path;
  MakeNative(native);
  return native;
}

namespace {

// ---------------------------------------------------------------------------
// Streams on file descriptors. Small reads and writes (header records) go
// through a buffer; large ones go straight to the system, so a whole file or
// a whole data block moves in one call without a copy.

class FdStream final : public ByteStream {
 public:
  FdStream(int fd, std::int64_t length, bool plainFile = false, NodeId id = {})
      : fd_(fd), length_(length), plainFile_(plainFile), id_(id) {}
  ~FdStream() override {
    if (fd_ >= 0) close(fd_);
  }

  std::size_t Read(void* buffer, std::size_t n) override {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = std::min(n, end_ - at_);
    if (done) std::memcpy(out, buffer_.get() + at_, done);
    at_ += done;
    while (done < n) {
      if (n - done >= kDirectSize) {
        ssize_t got = ReadSome(out + done, n - done);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
      } else {
        if (!Fill()) break;
        std::size_t take = std::min(n - done, end_ - at_);
        std::memcpy(out + done, buffer_.get() + at_, take);
        at_ += take;
        done += take;
      }
    }
    return done;
  }

  std::size_t ReadUpTo(void* buffer, std::size_t n) override {
    if (!plainFile_ || at_ != end_) return Read(buffer, n);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < n) {
      const std::size_t asked = n - done;
      ssize_t got = ReadSome(out + done, asked);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
      if (static_cast<std::size_t>(got) < asked) break;
    }
    return done;
  }

  int GetByte() override {
    if (at_ == end_ && !Fill()) return -1;
    return buffer_[at_++];
  }

  bool Write(const void* buffer, std::size_t n) override {
    if (error_) return false;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    // What is pending goes first, so the bytes reach the file in order.
    if ((n >= kDirectSize || end_ + n > kBufferSize) && !Flush()) return false;
    if (n >= kDirectSize) return WriteAll(in, n);
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    std::memcpy(buffer_.get() + end_, in, n);
    end_ += n;
    return true;
  }

  bool Close() override {
    bool flushed = Flush();
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 && error_ == 0) error_ = errno;
    return flushed && error_ == 0;
  }

  std::int64_t Length() override { return length_; }
  int error() const override { return error_; }
  NodeId Identity() const override { return id_; }
  bool StateNow(std::int64_t& length, bool& named) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) {
      error_ = errno;
      return false;
    }
    length = st.st_size;
    named = st.st_nlink > 0;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
      error_ = EINVAL;
      return false;
    }
    if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
      error_ = errno;
      return false;
    }
    at_ = end_ = 0;  // what was read ahead lies elsewhere now
    return true;
  }

  // File to file, the kernel copies the bytes itself (no trip through user
  // memory). Bytes already read ahead into the buffer go first. A copy
  // shorter than one read-ahead is cheaper as part of one read and a write.
  std::uint64_t CopyTo(ByteStream& out, std::uint64_t n, std::span<std::uint8_t> buffer) override {
#ifdef __linux__
    constexpr std::uint64_t kKernelCopyFrom = kBufferSize;
    auto* target = dynamic_cast<FdStream*>(&out);
    if (n < kKernelCopyFrom || noKernelCopy_) return CopyFromReadAhead(out, n, buffer);
    if (!target || target->error_ || !target->Flush()) return ByteStream::CopyTo(out, n, buffer);
    std::uint64_t copied = std::min<std::uint64_t>(n, end_ - at_);
    if (copied > 0 && !target->Write(buffer_.get() + at_, static_cast<std::size_t>(copied))) return 0;
    at_ += static_cast<std::size_t>(copied);
    if (!target->Flush()) return 0;
    System& sys = Sys();
    while (copied < n) {
      int error = 0;
      const std::int64_t moved = sys.KernelCopy(fd_, target->fd_, static_cast<std::size_t>(n - copied), error);
      if (moved < 0 && error == EINTR) continue;
      if (moved < 0 && (error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP)) {
        // The system cannot, and will not for these files: they copy through
        // memory from now on.
        noKernelCopy_ = target->noKernelCopy_ = true;
        return copied + ByteStream::CopyTo(out, n - copied, buffer);
      }
      if (moved < 0) {
        // Either side may have failed; the write side is the one to report
        // if it has no room, otherwise the read.
        (error == ENOSPC || error == EFBIG || error == EDQUOT ? target->error_ : error_) = error;
        return copied;
      }
      if (moved == 0) return copied;  // the end of this stream
      copied += static_cast<std::uint64_t>(moved);
    }
    return copied;
#else
    return CopyFromReadAhead(out, n, buffer);
#endif
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  static constexpr std::size_t kDirectSize = 1024;
  static constexpr std::size_t kWriteChunk = 1 << 20;

  // A small copy goes out straight from the read-ahead buffer, with no
  // trip through the caller's buffer; what is at least a read-ahead long
  // is read into the caller's buffer in one piece instead.
  std::uint64_t CopyFromReadAhead(ByteStream& out, std::uint64_t n, std::span<std::uint8_t> buffer) {
    std::uint64_t copied = 0;
    while (copied < n) {
      if (at_ == end_) {
        if (n - copied >= kBufferSize) return copied + ByteStream::CopyTo(out, n - copied, buffer);
        if (!Fill()) break;
      }
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n - copied, end_ - at_));
      if (!out.Write(buffer_.get() + at_, take)) break;
      at_ += take;
      copied += take;
    }
    return copied;
  }

  ssize_t ReadSome(std::uint8_t* out, std::size_t n) {
    ssize_t got;
    do {
      got = read(fd_, out, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) error_ = errno;
    return got;
  }
  bool Fill() {
    if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    ssize_t got = ReadSome(buffer_.get(), kBufferSize);
    at_ = 0;
    end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return end_ > 0;
  }
  bool WriteAll(const std::uint8_t* in, std::size_t n) {
    while (n > 0) {
      ssize_t put = write(fd_, in, std::min<std::size_t>(n, kWriteChunk));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error_ = put < 0 ? errno : EIO;
        return false;
      }
      in += put;
      n -= static_cast<std::size_t>(put);
    }
    return true;
  }
  bool Flush() {
    std::size_t pending = end_;
    end_ = 0;
    return pending == 0 || (error_ == 0 && WriteAll(buffer_.get(), pending));
  }

  int fd_;
  std::int64_t length_;
  bool plainFile_;
  NodeId id_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t at_ = 0, end_ = 0;  // reading: the unread part; writing: end_ is what is pending
  int error_ = 0;
  bool noKernelCopy_ = false;  // the kernel refused to copy from or to this file
};

// ---------------------------------------------------------------------------
// The logical current directory

std::string& LogicalDirectory() {
  static std::string logical;
  return logical;
}

std::string PhysicalDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
}

bool SameNode(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Joins and folds "." and ".." lexically: the path that was entered, not
// where links lead.
std::string Normalize(const std::string& absolute) {
  std::vector<std::string_view> parts;
  std::string_view rest(absolute);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (std::string_view part : parts) {
    result += '/';
    result += part;
  }
  return result.empty() ? "/" : result;
}

const std::string& CurrentLogical() {
  std::string& logical = LogicalDirectory();
  if (logical.empty()) {
    const char* pwd = std::getenv("PWD");
    if (pwd && pwd[0] == '/' && Normalize(pwd) == pwd && SameNode(pwd, ".")) {
      logical = pwd;
    } else {
      logical = PhysicalDirectory();
    }
  }
  return logical;
}

// chdir() to a path of any length: a path longer than the system takes in
// one call is entered one level at a time, which resolves it the same way.
int ChangeToPath(const std::string& path) {
  if (chdir(path.c_str()) == 0) return 0;
  if (errno != ENAMETOOLONG) return errno;
  int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool absolute = path[0] == '/';
  int error = !absolute || chdir("/") == 0 ? 0 : errno;
  std::size_t start = absolute ? 1 : 0;
  while (error == 0 && start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start && chdir(path.substr(start, end - start).c_str()) != 0) error = errno;
    start = end + 1;
  }
  if (error != 0 && back >= 0 && fchdir(back) != 0) {
    // Nowhere better to go: the logical directory is left unchanged and the
    // next absolute change puts the process back in step.
  }
  if (back >= 0) close(back);
  return error;
}

ItemKind KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return ItemKind::Directory;
  if (S_ISREG(mode)) return ItemKind::RegularFile;
  return ItemKind::Other;
}

std::optional<bool> g_debugEnabled;

bool HasDotDot(std::string_view path) {
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = path.find('/', start);
    if (path.substr(start, slash - start) == "..") return true;
    if (slash == std::string_view::npos) return false;
    start = slash + 1;
  }
}

// A path the system takes in one call, as (AT_FDCWD, path); a longer one as
// its folder, opened one level at a time, and its last component. The
// folder descriptor (if any) is closed when the object goes.
class PathAt {
 public:
  explicit PathAt(const std::string& path) {
    // A full path below the current directory is used relative to it: the
    // same file (the process stands in the logical directory), without
    // walking every level of the path again. The logical directory has '/'
    // alone, so a path that starts with it as it is needs only its rest
    // made native.
    const std::string& here = CurrentLogical();
    std::size_t cut = here == "/" ? 1 : here.size() + 1;
    const bool below =
        path.size() > cut && path.compare(0, here.size(), here) == 0 && System::IsSeparator(path[cut - 1]);
    native_ = below ? path.substr(cut) : path;
    MakeNative(native_);
    if (below && HasDotDot(native_)) native_ = System::Native(path);
    if (!below && native_.size() > cut && native_.compare(0, here.size(), here) == 0 && native_[cut - 1] == '/' &&
        !HasDotDot(std::string_view(native_).substr(cut))) {
      native_.erase(0, cut);
    }
    if (native_.size() < PATH_MAX) return;
    std::size_t slash = native_.find_last_of('/');
    leaf_ = native_.substr(slash + 1);
    dir_ = open(native_[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = native_[0] == '/' ? 1 : 0;
    while (dir_ >= 0 && start < slash) {
      std::size_t end = native_.find('/', start);
      if (end > start) {
        int next = openat(dir_, native_.substr(start, end - start).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) error_ = errno;
        close(dir_);
        dir_ = next;
      }
      start = end + 1;
    }
    if (dir_ < 0 && error_ == 0) error_ = errno;
  }
  ~PathAt() {
    if (dir_ >= 0) close(dir_);
  }
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  int dir() const { return leaf_.empty() ? AT_FDCWD : dir_; }
  const char* name() const { return leaf_.empty() ? native_.c_str() : leaf_.c_str(); }
  // The error met while opening the folder levels, 0 if none.
  int error() const { return error_; }

 private:
  std::string native_;
  std::string leaf_;
  int dir_ = -1;
  int error_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------

std::unique_ptr<ByteStream> System::OpenRead(const std::string& path, bool regularOnly, int& error) {
  // O_NONBLOCK keeps an open of a pipe without a writer from hanging.
  PathAt at(path);
  if (at.error()) {
    error = at.error();
    return nullptr;
  }
  int fd = openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (regularOnly ? O_NONBLOCK : 0));
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    error = errno;
    close(fd);
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
    close(fd);
    return nullptr;
  }
  if (regularOnly && !S_ISREG(st.st_mode)) {
    error = kErrNotRegularFile;
    close(fd);
    return nullptr;
  }
  // O_NONBLOCK has no effect on a plain file, so it can stay set.
  error = 0;
  return std::make_unique<FdStream>(fd, st.st_size, S_ISREG(st.st_mode),
                                    NodeId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
}

namespace {

// Creates a file that must not exist yet, nor be a link; its descriptor, or
// -1 with the reason in error.
int CreateExclusive(const std::string& path, mode_t mode, int& error) {
  PathAt at(path);
  if (at.error()) {
    error = at.error();
    return -1;
  }
  int fd = openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
  error = fd < 0 ? errno : 0;
  return fd;
}

}  // namespace

std::unique_ptr<ByteStream> System::CreateNew(const std::string& path, int& error) {
  int fd = CreateExclusive(path, 0666, error);
  return fd < 0 ? nullptr : std::make_unique<FdStream>(fd, 0);
}

int System::FindReplaceTarget(const std::string& path, ReplaceTarget& target) {
  target = ReplaceTarget();
  std::string current = Native(path);
  for (int links = 0;; ++links) {
    PathAt at(current);
    struct stat st;
    if (at.error() || fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      // Nothing there (or a folder that cannot be searched): creating the
      // new file tells what is wrong, if anything.
      target.path = current;
      return 0;
    }
    if (S_ISLNK(st.st_mode)) {
      if (links == 40) return ELOOP;
      std::string link(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 256, '\0');
      for (;;) {
        ssize_t got = readlinkat(at.dir(), at.name(), link.data(), link.size());
        if (got < 0) return errno;
        if (static_cast<std::size_t>(got) < link.size()) {
          link.resize(static_cast<std::size_t>(got));
          break;
        }
        link.resize(link.size() * 2);
      }
      if (link.empty()) return ENOENT;
      // A relative target is relative to the folder that holds the link; the
      // system resolves a ".." in it from where that folder really is.
      const std::size_t slash = current.find_last_of('/');
      current = link[0] == '/' || slash == std::string::npos ? link : current.substr(0, slash + 1) + link;
      continue;
    }
    target.path = current;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return kErrNotRegularFile;
    // As the system would decide an open for writing by the real user: the
    // permission bits, a read-only file system, an immutable file.
    if (faccessat(at.dir(), at.name(), W_OK, 0) != 0) return errno;
    target.exists = true;
    target.mode = st.st_mode & 07777;
    target.owner = st.st_uid;
    target.group = st.st_gid;
    return 0;
  }
}

std::unique_ptr<ByteStream> System::CreateReplacement(const std::string& path, const ReplaceTarget& like, int& error) {
  if (!like.exists) return CreateNew(path, error);
  // Private to the owner until it has the old file's bits.
  int fd = CreateExclusive(path, 0600, error);
  if (fd < 0) return nullptr;
  mode_t mode = static_cast<mode_t>(like.mode);
  struct stat st;
  if (fstat(fd, &st) == 0 && (st.st_uid != like.owner || st.st_gid != like.group)) {
    // Owner and group where the process may give them (root), else the
    // group alone where it may (one of the user's groups); else the new
    // file is the user's, and no set-user or set-group bit goes to it.
    if (fchown(fd, static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0) {
      const bool group = fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(like.group)) == 0;
      mode &= group ? ~S_ISUID : ~(S_ISUID | S_ISGID);
    }
  }
  // Should this fail, the file stays private: stricter than the old one, never looser.
  static_cast<void>(fchmod(fd, mode));
  return std::make_unique<FdStream>(fd, 0);
}

int System::RemoveFile(const std::string& path) {
  PathAt at(path);
  if (at.error()) return at.error();
  return unlinkat(at.dir(), at.name(), 0) == 0 ? 0 : errno;
}

int System::Rename(const std::string& from, const std::string& to) {
  PathAt source(from);
  PathAt target(to);
  if (source.error() || target.error()) return source.error() ? source.error() : target.error();
  return renameat(source.dir(), source.name(), target.dir(), target.name()) == 0 ? 0 : errno;
}

int System::MakeDirectory(const std::string& path) {
  PathAt at(path);
  if (at.error()) return at.error();
  return mkdirat(at.dir(), at.name(), 0777) == 0 ? 0 : errno;
}

int System::ChangeDirectory(const std::string& path) {
  std::string native = Native(path);
  if (native.empty()) return ENOENT;
  const std::string& current = CurrentLogical();
  const bool absolute = native[0] == '/';
  // A plain step below the logical directory, which is already in normal
  // form, needs no folding.
  const bool plainStep = !absolute && native != "." && native != ".." && native.find('/') == std::string::npos;
  if (plainStep) {
    // Made where the process stands, which is the logical directory; the
    // logical path grows by the step in place.
    if (chdir(native.c_str()) == 0) {
      std::string& logical = LogicalDirectory();
      if (logical != "/") logical += '/';
      logical += native;
      return 0;
    }
    if (errno != ENAMETOOLONG) return errno;
  }
  std::string target;
  if (plainStep) {
    target = (current == "/" ? "/" : current + "/") + native;
  } else if (native == "..") {
    target = current.substr(0, std::max<std::size_t>(current.find_last_of('/'), 1));
  } else {
    target = Normalize(absolute ? native : current + "/" + native);
  }

  int error;
  if (absolute) {
    error = ChangeToPath(target);
  } else {
    // A plain descent is made relative to where the process stands, which
    // is the logical directory; anything that climbs goes by the full path.
    bool climbs = native == ".." || native.starts_with("../") || native.find("/../") != std::string::npos ||
                  native.ends_with("/..");
    error = climbs ? ChangeToPath(target) : (chdir(native.c_str()) == 0 ? 0 : errno);
    if (error == ENAMETOOLONG) error = ChangeToPath(target);
  }
  if (error == 0) LogicalDirectory() = target;
  return error;
}

int System::ChangeToParent(const NodeId& parent) {
  CurrentLogical();  // the process stands in the logical directory
  std::string& logical = LogicalDirectory();
  const std::size_t cut = std::max<std::size_t>(logical.find_last_of('/'), 1);
  // The system's ".." is one short step; it is the logical parent when it
  // leads to the folder the caller left (a folder entered through a link to
  // elsewhere has another parent, which the check tells).
  struct stat st;
  if (logical != "/" && parent != NodeId{} && chdir("..") == 0) {
    if (stat(".", &st) == 0 &&
        NodeId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)} == parent) {
      logical.resize(cut);
      return 0;
    }
    // Elsewhere: the logical path decides, or the process goes back to
    // where the logical directory says it stands.
    const int error = ChangeToPath(logical.substr(0, cut));
    if (error == 0) {
      logical.resize(cut);
    } else {
      static_cast<void>(ChangeToPath(logical));
    }
    return error;
  }
  return System::ChangeDirectory("..");
}

int System::ChangeDirectoryAsGiven(const std::string& path) {
  const std::string native = Native(path);
  // Without a ".." the logical path and the system's resolution lead to the
  // same folder.
  if (native.empty() || !HasDotDot(native)) return System::ChangeDirectory(path);
  CurrentLogical();  // the process stands in the logical directory
  int error = ChangeToPath(native);
  if (error == 0) LogicalDirectory() = PhysicalDirectory();
  return error;
}

std::string System::CurrentDirectory() { return CurrentLogical(); }

bool NamesDevice(std::string_view) { return false; }

namespace {

// The names in an open folder, with their types where the file system
// tells them. On Linux the records are read in bulk straight from the
// system (no stream set-up calls per folder); elsewhere through readdir.
class FolderReader {
 public:
  explicit FolderReader(int fd) : fd_(fd) {
#ifndef __linux__
    dir_ = fdopendir(fd);
    if (!dir_) error_ = errno;
#endif
  }
  ~FolderReader() {
#ifdef __linux__
    close(fd_);
#else
    if (dir_) {
      closedir(dir_);
    } else {
      close(fd_);
    }
#endif
  }
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  // The next entry; null at the end, or on a failure that error() tells.
  const char* Next(unsigned char& type) {
#ifdef __linux__
    if (at_ == end_) {
      if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
      ssize_t got = getdents64(fd_, buffer_.get(), kBufferSize);
      if (got <= 0) {
        if (got < 0) error_ = errno;
        return nullptr;
      }
      at_ = 0;
      end_ = static_cast<std::size_t>(got);
    }
    auto* record = reinterpret_cast<struct dirent64*>(buffer_.get() + at_);
    at_ += record->d_reclen;
    type = record->d_type;
    return record->d_name;
#else
    if (!dir_) return nullptr;
    errno = 0;
    struct dirent* d = readdir(dir_);
    if (!d) {
      error_ = errno;
      return nullptr;
    }
    type = d->d_type;
    return d->d_name;
#endif
  }
  int fd() const { return fd_; }
  int error() const { return error_; }

 private:
  int fd_;
  int error_ = 0;
#ifdef __linux__
  static constexpr std::size_t kBufferSize = 32 * 1024;
  std::unique_ptr<char[]> buffer_;
  std::size_t at_ = 0, end_ = 0;
#else
  DIR* dir_ = nullptr;
#endif
};

}  // namespace

int System::ListDirectory(const std::string& path, std::vector<DirItem>& items) {
  items.clear();
  PathAt at(path.empty() ? std::string(".") : path);
  if (at.error()) return at.error();
  int fd = openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  FolderReader folder(fd);
  const int dirFd = folder.fd();
  unsigned char type = DT_UNKNOWN;
  while (const char* name = folder.Next(type)) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    DirItem item;
    item.name = name;
    struct stat st;
    if (type == DT_UNKNOWN) {
      if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone since it was listed
      type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_FIFO;
    }
    if (type == DT_DIR) {
      item.kind = ItemKind::Directory;
    } else if (type == DT_REG) {
      item.kind = ItemKind::RegularFile;
    } else if (type == DT_LNK) {
      item.isLink = true;
      item.kind = fstatat(dirFd, name, &st, 0) == 0 ? KindOf(st.st_mode) : ItemKind::BrokenLink;
    } else {
      item.kind = ItemKind::Other;
    }
    items.push_back(std::move(item));
  }
  return folder.error();
}

int System::Status(const std::string& path, bool followLinks, PathStatus& status) {
  status = PathStatus();
  struct stat st;
  PathAt at(path);
  if (at.error()) return at.error() == ENOENT ? 0 : at.error();
  if (fstatat(at.dir(), at.name(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? 0 : errno;
  }
  status.exists = true;
  status.isLink = S_ISLNK(st.st_mode);
  status.kind = KindOf(st.st_mode);
  status.id = NodeId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return 0;
}

std::int64_t System::KernelCopy(int from, int to, std::size_t n, int& error) {
#ifdef __linux__
  const ssize_t moved = copy_file_range(from, nullptr, to, nullptr, n, 0);
  error = moved < 0 ? errno : 0;
  return moved;
#else
  static_cast<void>(from), static_cast<void>(to), static_cast<void>(n);
  error = ENOSYS;
  return -1;
#endif
}

void System::DebugOutput(std::string_view text) {
  if (!g_debugEnabled) {
    const char* env = std::getenv("VRK_DEBUG");
    g_debugEnabled = env && std::strcmp(env, "1") == 0;
  }
  if (*g_debugEnabled) std::fwrite(text.data(), 1, text.size(), stderr);
}

void SetDebugOutput(bool enabled) { g_debugEnabled = enabled; }

// ---------------------------------------------------------------------------
// Removing the file under construction when a signal ends the process

namespace {

// The folder of the file (held open, so neither a change of the current
// directory nor the path's length matters) and its name, as one allocation.
struct PendingFile {
  int folder;
  char name[1];
};
std::atomic<PendingFile*> g_pendingFile{nullptr};
// Handlers running; the guard frees the record only when none is using it.
std::atomic<int> g_handlersRunning{0};
static_assert(std::atomic<PendingFile*>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void RemovePendingFileAndDie(int signal) {
  ++g_handlersRunning;
  if (PendingFile* file = g_pendingFile.load()) unlinkat(file->folder, file->name, 0);
  // The disposition is back to the default (SA_RESETHAND) and the signal is
  // blocked while this runs: it ends the process as soon as this returns.
  raise(signal);
}

// Frees a record taken out of g_pendingFile. A handler that took it before
// that ends the process; until then the record stays.
void Release(PendingFile* file) {
  if (!file) return;
  while (g_handlersRunning.load() != 0) {
  }
  close(file->folder);
  ::operator delete(file);
}

}  // namespace

void InstallInterruptCleanup() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = RemovePendingFileAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
  }
}

RemovedOnInterrupt::RemovedOnInterrupt(const std::string& path) {
  const std::string native = System::Native(path);
  const std::size_t slash = native.find_last_of('/');
  const std::string leaf = slash == std::string::npos ? native : native.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
#ifdef O_PATH
  constexpr int kFolderOnly = O_PATH;
#else
  constexpr int kFolderOnly = O_RDONLY;
#endif
  PathAt at(folder);
  int fd = at.error() ? -1 : openat(at.dir(), at.name(), kFolderOnly | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // cannot be found again; a killed run leaves it, as a kill -9 does
  auto* file = static_cast<PendingFile*>(::operator new(sizeof(PendingFile) + leaf.size()));
  file->folder = fd;
  std::memcpy(file->name, leaf.c_str(), leaf.size() + 1);
  Release(g_pendingFile.exchange(file));  // one file is under construction at a time
}

RemovedOnInterrupt::~RemovedOnInterrupt() { Release(g_pendingFile.exchange(nullptr)); }

// Anonymous memory starting on a large page's boundary: only a whole aligned
// large page can be given out as one. The mapping is made one large page
// longer than needed, and the ends that stick out are given back.
LargeBuffer::LargeBuffer(std::size_t size) {
  constexpr std::size_t kLargePage = 2 << 20;
  const std::size_t length = (std::max<std::size_t>(size, 1) + kLargePage - 1) / kLargePage * kLargePage;
  void* mapped = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  auto* start = static_cast<std::uint8_t*>(mapped);
  const std::size_t head = (kLargePage - reinterpret_cast<std::uintptr_t>(start) % kLargePage) % kLargePage;
  if (head > 0) munmap(start, head);
  if (kLargePage - head > 0) munmap(start + head + length, kLargePage - head);
  data_ = start + head;
  size_ = length;
#ifdef MADV_HUGEPAGE
  madvise(data_, size_, MADV_HUGEPAGE);  // only advice: where it is refused, 4 KiB pages serve
#endif
}

LargeBuffer::~LargeBuffer() {
  if (data_) munmap(data_, size_);
}

// Up to 65,536 files, leaving 2,048 descriptors (half of a small limit) for
// the folders, the archive and whatever else the process has open.
OpenFileAllowance::OpenFileAllowance() {
  constexpr rlim_t kMostKept = 65536, kSpare = 2048;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, kMostKept + kSpare);
  if (limit.rlim_cur < wanted) {
    struct rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      restore_ = limit.rlim_cur;
      limit = raised;
    }
  }
  const rlim_t spare = std::min(kSpare, limit.rlim_cur / 2);
  files_ = static_cast<std::size_t>(std::min(limit.rlim_cur - spare, kMostKept));
}

OpenFileAllowance::~OpenFileAllowance() {
  struct rlimit limit;
  if (restore_ == 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = static_cast<rlim_t>(restore_);
  static_cast<void>(setrlimit(RLIMIT_NOFILE, &limit));
}

}  // namespace platform
