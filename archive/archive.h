// The archive object and the byte layout of a VRK archive.
//
// An archive is a header list closed by a terminator header, then the data
// block (each entry's bytes in header order), then a 31-byte signature. One
// header is the entry's name, a 0 byte, 16 attribute bytes and a 32-bit
// little-endian size. The first header whose size is 0 ends the list; the
// writer gives that size only to the terminator (empty name, 21 zero bytes).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/packed_data.h"
#include "log/log.h"
#include "platform/platform.h"

// The trailer written behind the data block. Readers never look at it.
inline constexpr char ArchiveSignature[] = "Korvane VRK Tool archive v1.01a";
inline constexpr std::size_t kArchiveSignatureSize = sizeof(ArchiveSignature) - 1;
static_assert(kArchiveSignatureSize == 31);

// Bytes of a header besides the name: the name's 0 byte, the attributes and
// the size.
inline constexpr std::size_t kHeaderFixedSize = 21;

// The longest entry name a header may hold. No file system takes a path
// near this long; a longer run of bytes without a 0 is damage, and the cap
// keeps a name that never ends from filling memory.
inline constexpr std::size_t kMaxEntryNameLength = 1 << 20;

// The largest file the tool packs: readers of the format take the size as a
// signed 32-bit count.
inline constexpr std::uint32_t kMaxStoredSize = 0x7FFFFFFF;

// One header record. A default-constructed entry is the terminator.
class ArchiveEntry {
 public:
  std::string name;
  std::array<std::uint8_t, 16> attributes{};
  std::uint32_t dataSize = 0;
  // False when ReadEntryHeader met the end of the stream (or a read error)
  // before the header's last byte.
  bool complete = true;

  // Fills this entry from the header at the stream's position and leaves the
  // stream behind it. Returns 1 if the size read is not 0 (more headers
  // follow) and 0 if it is 0 (this header ends the list). A header cut off
  // by the end of the stream also returns 0, with `complete` false: that is
  // damage, not the end of the list.
  int ReadEntryHeader(platform::ByteStream& stream);
  // Writes this entry's header. Returns 1, or 0 when the stream failed.
  int WriteEntryHeader(platform::ByteStream& stream) const;
};

// Where Extract puts the entries and which it takes. The defaults are the
// plain run: every entry, into a folder beside the archive.
struct ExtractOptions {
  // A folder (a full path) in which the output folder named after the
  // archive is made, instead of beside the archive.
  std::string parentFolder;
  // A folder (a full path) that takes the entries itself; it is created if
  // it does not exist. Wins over parentFolder.
  std::string outputFolder;
  // Names or shell-style patterns (see entry_match.h); empty for every
  // entry. A pattern that matches no entry is an error.
  std::vector<std::string> patterns;
};

class Archive {
 public:
  Archive() = default;
  virtual ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Unpacks the archive named by archivePath (a bare name in the current
  // directory) into a folder beside it named after it less its last four
  // characters. Returns 1 when every entry was extracted whole, else 0.
  virtual int Extract(const char* archivePath);
  // Packs every file below folder (a full path) into archivePath (relative
  // to the current directory at the call). Returns 1 when the archive was
  // written with every file of the tree, else 0; on failure no archive is
  // written and one that existed is left as it was.
  virtual int CompressPath(const char* archivePath, const char* folder);
  // Adds every plain file of the current directory.
  virtual void AddFolderFiles();
  // Adds the current directory's files, then walks into each sub-folder.
  virtual void WalkFolders();
  // Takes one file into data (its bytes, or a reference to the file) and
  // appends its entry.
  virtual void AddFile(const char* fullPath);
  // Creates, below the current directory, each folder that a relative entry
  // name places its file in; the current directory does not change.
  virtual void MakeDirectoryChain(const std::string& path);

  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  PackedData data;
  std::string rootPrefix;

  // How Extract places and chooses the entries.
  ExtractOptions extractOptions;
  // The walk takes each folder's items in byte order of their names instead
  // of the order the file system lists them, so that a tree packs into the
  // same archive on every machine.
  bool sortListings = false;

  // Errors reported by the current operation.
  unsigned errorCount = 0;
  // Extract reads on past named headers of size 0 (empty files packed by
  // another writer) where the rest of the archive accounts for them, and
  // creates them empty. Without it such an archive is refused whole.
  bool recoverEmptyFiles = false;

 protected:
  // Logs "Error: ..." and counts it.
  void ReportError(const char* format, ...) VRK_PRINTF_FORMAT(2, 3);

 private:
  // The entry name of a file below the packed folder: its path less the
  // folder's and one separator, with '\' between levels.
  std::string EntryNameFor(const std::string& fullPath) const;
  // AddFile with the file's entry name already cut from its path.
  void AddFileNamed(const std::string& fullPath, std::string name);
  // The current folder's path relative to the packed folder, for messages.
  std::string CurrentFolderName() const;
  // Writes the archive under a temporary name and renames it into place.
  bool WriteArchiveFile(const std::string& archivePath);
  // Writes the data block: the held bytes, and each referenced file as it is
  // now, provided it is still the file, at the size, that the walk logged.
  // False on failure; sourceFailed tells a packed file's failure (reported
  // here) from the output's (left in out.error()).
  bool WriteDataBlock(platform::ByteStream& out, bool& sourceFailed);

  // Folders the walk is inside, to keep a link from leading it in circles.
  std::vector<platform::NodeId> walkStack_;
  // The listing WalkFolders read of the current folder, handed to
  // AddFolderFiles so a folder is listed once.
  const std::vector<platform::DirItem>* currentListing_ = nullptr;
  // Set when the walk cannot go back up; nothing more is read then.
  bool walkBroken_ = false;
  // Folders (paths below the output folder) that extraction made or found to
  // be plain folders in this run, so the entries after the first in a folder
  // cost no calls.
  std::unordered_set<std::string> knownFolders_;
  // The folder part (to its last separator) of the last entry name whose
  // folders were all made or found.
  std::string lastChain_;
};
