// Operating-system services used by the archive engine, the progress log and
// the front ends: byte streams, directories, the current directory and the
// debug channel.
//
// Paths handed to these operations are built by the engine with '\' as the
// separator. The POSIX implementation turns every '\' into '/' before it calls
// the system; the Win32 implementation passes them through. The current
// directory is reported in native form.
//
// Every operation goes through the one `platform::System` object returned by
// `platform::Sys()`. Tests install a derived object (see ScopedSystem) to make
// chosen calls fail the way a full disk or a refused open would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// An error is 0 for success, an errno value from the system, or one of the
// codes below for conditions the system has no errno for.
enum : int {
  kErrNotRegularFile = 0x10001,  // a pipe, socket or device where a file was expected
  kErrSymbolicLink = 0x10002,    // a link where nothing may be written through one
  kErrFileTooLarge = 0x10003,    // longer than the format can store
  kErrSizeChanged = 0x10004,     // the file grew or shrank while it was read
  kErrOutOfMemory = 0x10005,
  kErrUnexpectedEnd = 0x10006,   // a read came up short without a system error
  // Windows: a system error code with no errno counterpart, offset by this;
  // ErrorText() gives the system's own reason for it.
  kErrSystemBase = 0x100000,
};

// The system's text for an error code ("No such file or directory").
std::string ErrorText(int error);

// What tells one file from another on a system: the device (volume) and the
// file's number on it. All zero when the system gave none.
struct NodeId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const NodeId&) const = default;
};

// A byte stream on an open file, unbuffered for large transfers and buffered
// for the small ones of header records.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Reads up to n bytes; fewer means the end of the file or a read error,
  // which error() tells apart (0 at a clean end).
  virtual std::size_t Read(void* buffer, std::size_t n) = 0;
  // Reads up to n bytes like Read(), but may stop short where the file can
  // only have ended: a plain file's read comes back short only at its end,
  // so that end need not be asked for a second time. Fewer than n bytes
  // without an error() may thus still not be the end; Read() tells.
  virtual std::size_t ReadUpTo(void* buffer, std::size_t n) { return Read(buffer, n); }
  // The next byte, or -1 at the end of the file or on a read error.
  virtual int GetByte() = 0;
  // Writes all n bytes; false on failure, with the reason in error().
  virtual bool Write(const void* buffer, std::size_t n) = 0;
  // Completes every write and closes the file; false if that failed. A
  // stream that is destroyed without Close() is closed silently.
  virtual bool Close() = 0;
  // The length of the open file in bytes; -1 on failure.
  virtual std::int64_t Length() = 0;
  // Moves a reading stream to the byte at offset from the file's start.
  // False when the stream cannot be positioned (a pipe) or the system
  // refused, with the reason in error() where there is one.
  virtual bool Seek(std::uint64_t) { return false; }
  // The error of the last failed call, 0 if none failed.
  virtual int error() const = 0;
  // Which file the stream is open on, as the system told it at the open.
  virtual NodeId Identity() const { return {}; }
  // What the system says of the open file now: its length, and whether it
  // still has a name (a file removed, or replaced by a rename, has none while
  // it stays open). False when the system could not tell, with the reason
  // in error(). A stream that cannot ask again answers what it learnt at
  // the open.
  virtual bool StateNow(std::int64_t& length, bool& named) {
    length = Length();
    named = true;
    return length >= 0;
  }
  // Copies up to n bytes from this stream to out and returns how many
  // reached out. Fewer means this stream ended or failed (error()) or a
  // write failed (out.error()). buffer is the copy buffer; a stream that can
  // have the system copy file to file does so without it.
  virtual std::uint64_t CopyTo(ByteStream& out, std::uint64_t n, std::span<std::uint8_t> buffer);
};

enum class ItemKind {
  Directory,    // a folder, or a link to one
  RegularFile,  // a plain file, or a link to one
  Other,        // a pipe, socket or device: never opened by the walk
  BrokenLink,   // a link whose target does not exist
};

struct DirItem {
  std::string name;
  ItemKind kind = ItemKind::Other;
  bool isLink = false;
};

// The file that writing a path replaces, and what a new file put in its
// place keeps of it.
struct ReplaceTarget {
  std::string path;        // the path given, or the file its links lead to
  bool exists = false;
  std::uint32_t mode = 0;  // POSIX: the permission bits; Windows: the attributes
  std::int64_t owner = -1, group = -1;  // POSIX only
};

struct PathStatus {
  bool exists = false;
  bool isLink = false;     // the path itself is a symbolic link (not followed)
  ItemKind kind = ItemKind::Other;  // what the path is, links not followed
  NodeId id;
};

class System {
 public:
  virtual ~System() = default;

  // Opens a file for reading its bytes unchanged ("rb"). With regularOnly a
  // pipe, socket or device is refused (kErrNotRegularFile) without blocking.
  virtual std::unique_ptr<ByteStream> OpenRead(const std::string& path, bool regularOnly, int& error);
  // Creates a new file for writing ("wb"), failing with EEXIST if anything,
  // a link included, already stands under that name. Never follows a link.
  virtual std::unique_ptr<ByteStream> CreateNew(const std::string& path, int& error);
  // Finds the file that opening `path` for writing would write: a symbolic
  // link there (or a chain of them) leads to its target, which need not
  // exist yet. Answers 0, or why that file may not be replaced: it exists
  // and the process's real user could not open it for writing (a read-only
  // file, no permission), it is a folder (EISDIR), or not a plain file.
  virtual int FindReplaceTarget(const std::string& path, ReplaceTarget& target);
  // Creates a new file like CreateNew, for renaming onto `like` later: when
  // that exists, the new file gets its permission bits (attributes), and its
  // owner and group where the process may set them. A new file that is to
  // replace a private one is never readable by others on the way.
  virtual std::unique_ptr<ByteStream> CreateReplacement(const std::string& path, const ReplaceTarget& like, int& error);
  virtual int RemoveFile(const std::string& path);
  // Renames a file, replacing a file (or link) that has the new name.
  virtual int Rename(const std::string& from, const std::string& to);

  // Creates one directory; EEXIST when anything already has the name.
  virtual int MakeDirectory(const std::string& path);
  // Makes a directory current. The current directory is kept as a logical
  // path, as on Windows: after entering a folder through a link, ".." leads
  // back along the path that was entered.
  virtual int ChangeDirectory(const std::string& path);
  // Makes the parent of the current directory current, as
  // ChangeDirectory("..") does. `parent` is that folder's identity, as the
  // caller found it when it stood there: where the system's own ".." leads
  // to that very folder, no longer path is resolved.
  virtual int ChangeToParent(const NodeId& parent);
  // Makes a directory current, the path resolved as the system resolves it
  // for any other program: a ".." leads to the parent of the folder the path
  // reached so far, links followed, as `cat ../x` reads. For paths the user
  // gives; the logical ".." of ChangeDirectory is the walk's own way back.
  virtual int ChangeDirectoryAsGiven(const std::string& path);
  // The current directory's full path in native form, without a trailing
  // separator except at the root.
  virtual std::string CurrentDirectory();
  // Every item of a directory except "." and "..", in the order the file
  // system lists them, links resolved to the kind of their target.
  virtual int ListDirectory(const std::string& path, std::vector<DirItem>& items);
  // What stands at a path, links not followed (followLinks = false) or
  // followed.
  virtual int Status(const std::string& path, bool followLinks, PathStatus& status);

  // Copies up to n bytes from one open descriptor to another inside the
  // kernel, at their positions (Linux: copy_file_range). The count copied,
  // 0 at the end of the source, or -1 with the reason in error; a system
  // or file system without such a copy refuses with ENOSYS, EXDEV, EINVAL
  // or EOPNOTSUPP, and the caller then copies through memory.
  virtual std::int64_t KernelCopy(int from, int to, std::size_t n, int& error);

  // The debug-output channel.
  virtual void DebugOutput(std::string_view text);

  // The native form of an engine path ('\' turned into '/' on POSIX).
  static std::string Native(const std::string& path);
  // True for the separators a path may hold on this system.
  static bool IsSeparator(char c);
  static const char kNativeSeparator;
};

// A path cut into the folder that holds its last component and that
// component. The folder is "" when the path has none, and keeps its
// separator when it is a root ("/", "C:\\").
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitFolder(const std::string& path);

// Whether the system takes a name (one path component) for a device rather
// than a file, in any folder and with any extension: on Windows CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, and COM or LPT with a digit, the superscript
// digits of the system's code page included; never elsewhere.
bool NamesDevice(std::string_view component);

// The system object every operation goes through.
System& Sys();

// Replaces the system object for the life of this guard (tests only).
class ScopedSystem {
 public:
  explicit ScopedSystem(System& replacement);
  ~ScopedSystem();
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;

 private:
  System* previous_;
};

// Has SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C and the console
// closing) remove the file that RemovedOnInterrupt names before the process
// ends as the signal ends it. A signal the process was started ignoring
// stays ignored.
void InstallInterruptCleanup();

// Names a file under construction, to be removed if the process is
// interrupted while this guard lives (only once InstallInterruptCleanup ran).
class RemovedOnInterrupt {
 public:
  explicit RemovedOnInterrupt(const std::string& path);
  ~RemovedOnInterrupt();
  RemovedOnInterrupt(const RemovedOnInterrupt&) = delete;
  RemovedOnInterrupt& operator=(const RemovedOnInterrupt&) = delete;
};

// For as long as it lives, raises the process's limit of open files as far
// as the system lets it, and tells how many files a run may keep open
// besides what else the process opens: a safe share of that limit (none
// where a file kept open costs more than opening it again).
class OpenFileAllowance {
 public:
  OpenFileAllowance();
  ~OpenFileAllowance();
  OpenFileAllowance(const OpenFileAllowance&) = delete;
  OpenFileAllowance& operator=(const OpenFileAllowance&) = delete;
  std::size_t files() const { return files_; }

 private:
  std::size_t files_ = 0;
  std::uint64_t restore_ = 0;  // the limit to put back, 0 if none was changed
};

// Memory for a buffer that is filled as it is used, given out in the
// system's large pages where it has them: filling it then costs one page
// fault per large page rather than one per 4 KiB. Move-only; the
// constructor throws std::bad_alloc when no memory is to be had.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(std::size_t size);
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept { *this = std::move(other); }
  LargeBuffer& operator=(LargeBuffer&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  std::uint8_t* data() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;  // as the system gave it
};

// Turns the debug channel on or off. Off by default unless the environment
// variable VRK_DEBUG is 1 (on Windows it always goes to OutputDebugStringA).
void SetDebugOutput(bool enabled);

}  // namespace platform
