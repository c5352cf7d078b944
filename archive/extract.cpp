// Unpacking an archive into a folder beside it.
#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>
#include <span>

#include "archive/archive.h"
#include "archive/entry_match.h"
#include "archive/entry_name.h"
#include "archive/header_list.h"
#include "archive/ordered_worker.h"
#include "archive/report.h"

namespace {

// Entry data is copied through one buffer of this size, never one sized by
// a header's claim.
constexpr std::size_t kCopyBufferSize = 1 << 20;
// Entries up to this size are read into memory and their files written on a
// second thread while this one reads on; a larger one is copied from the
// archive to its file once the work before it is done.
constexpr std::uint32_t kHeldEntryLimit = 1 << 20;
// The most bytes of read entries waiting for their files.
constexpr std::size_t kReadAhead = 4 << 20;
// Threads that create the files side by side: on a file system where making
// a file costs more than reading its bytes, one thread cannot keep up.
constexpr std::size_t kLanes = 2;
// The files a folder must hold on average for the lanes to work side by side.
constexpr std::size_t kFilesPerFolderForLanes = 8;

// Makes a folder, or accepts the plain folder already there. A link in its
// place is refused: nothing is ever written where a link points. Messages
// name the entry that needs the folder (`entry`), or the folder alone when
// `entry` is empty.
bool EnsureFolder(const std::string& path, const std::string& shown, const std::string& entry,
                  unsigned& errorCount) {
  const std::string subject = entry.empty() ? shown : entry;
  const std::string folder = entry.empty() ? std::string() : " " + shown;
  platform::System& sys = platform::Sys();
  int error = sys.MakeDirectory(path);
  if (error == 0) return true;
  platform::PathStatus status;
  if (error == EEXIST && sys.Status(path, false, status) == 0 && status.exists) {
    if (status.isLink) {
      LogError(errorCount, "%s: a symbolic link stands where the folder%s goes; nothing is written through it\n",
               subject.c_str(), folder.c_str());
      return false;
    }
    if (status.kind == platform::ItemKind::Directory) return true;
    error = ENOTDIR;
  }
  LogError(errorCount, "%s: cannot create the folder%s: %s\n", subject.c_str(), folder.c_str(),
           platform::ErrorText(error).c_str());
  return false;
}

// Makes the folder the user named for the entries, or accepts the folder
// (or link to one) already there: the user's own path means what the
// system says it means.
bool EnsureGivenFolder(const std::string& path, unsigned& errorCount) {
  platform::System& sys = platform::Sys();
  int error = sys.MakeDirectory(path);
  if (error == 0) return true;
  platform::PathStatus status;
  if (error == EEXIST && sys.Status(path, true, status) == 0 && status.exists) {
    if (status.kind == platform::ItemKind::Directory) return true;
    error = ENOTDIR;
  }
  LogError(errorCount, "%s: cannot create the folder: %s\n", path.c_str(), platform::ErrorText(error).c_str());
  return false;
}

// Creates the output file as a new file. A plain file of that name is
// unlinked first, so a hard link to it elsewhere keeps its bytes; a link or
// anything else in the way is an error.
std::unique_ptr<platform::ByteStream> CreateOutputFile(const std::string& path, int& error) {
  platform::System& sys = platform::Sys();
  auto out = sys.CreateNew(path, error);
  if (out || error != EEXIST) return out;
  platform::PathStatus status;
  if (sys.Status(path, false, status) != 0 || !status.exists) return nullptr;
  if (status.isLink) {
    error = platform::kErrSymbolicLink;
    return nullptr;
  }
  if (status.kind != platform::ItemKind::RegularFile) {
    error = status.kind == platform::ItemKind::Directory ? EISDIR : platform::kErrNotRegularFile;
    return nullptr;
  }
  if (int removed = sys.RemoveFile(path)) {
    error = removed;
    return nullptr;
  }
  return sys.CreateNew(path, error);
}

// The archive stream and the copy buffer of one extraction.
class DataReader {
 public:
  explicit DataReader(platform::ByteStream& stream) : stream_(stream) {}

  std::span<std::uint8_t> Buffer(std::uint32_t size) {
    if (buffer_.empty()) buffer_.resize(kCopyBufferSize);
    return std::span<std::uint8_t>(buffer_.data(), std::min<std::size_t>(size, buffer_.size()));
  }
  std::size_t Read(std::span<std::uint8_t> chunk) { return stream_.Read(chunk.data(), chunk.size()); }
  std::uint64_t CopyTo(platform::ByteStream& out, std::uint32_t size) {
    return stream_.CopyTo(out, size, Buffer(kCopyBufferSize));
  }

  // Why the data ended early: the stream's error, or the end of the file.
  std::string Shortfall(const std::string& name, std::uint64_t got, std::uint32_t size) const {
    if (stream_.error()) {
      return StringPrintf("%s: read error after %llu of %u byte%s: %s\n", name.c_str(),
                          static_cast<unsigned long long>(got), size, size == 1 ? "" : "s",
                          platform::ErrorText(stream_.error()).c_str());
    }
    return StringPrintf("%s: the archive ends after %llu of the entry's %u byte%s\n", name.c_str(),
                        static_cast<unsigned long long>(got), size, size == 1 ? "" : "s");
  }

 private:
  platform::ByteStream& stream_;
  std::vector<std::uint8_t> buffer_;
};

// Reads and drops an entry's data so the entries behind it stay in step.
// Empty when it was all there, else why it was not.
std::string SkipData(DataReader& reader, const ArchiveEntry& entry) {
  std::uint64_t done = 0;
  while (done < entry.dataSize) {
    auto chunk = reader.Buffer(static_cast<std::uint32_t>(entry.dataSize - done));
    std::size_t got = reader.Read(chunk);
    done += got;
    if (got < chunk.size()) return reader.Shortfall(PrintableName(entry.name), done, entry.dataSize);
  }
  return {};
}

}  // namespace

int Archive::Extract(const char* archivePath) {
  platform::System& sys = platform::Sys();
  errorCount = 0;
  knownFolders_.clear();
  lastChain_.clear();
  const std::string archiveName = archivePath;
  LogPrintf("Extracting file %s...\n", archivePath);

  const ExtractOptions& options = extractOptions;
  const bool placed = !options.outputFolder.empty() || !options.parentFolder.empty();
  const char* refused = options.outputFolder.empty() ? RefusedArchiveNameReason(archiveName) : nullptr;
  if (const char* why = refused) {
    ReportError("%s: %s\n", PrintableName(archiveName).c_str(), why);
    return ConcludeRun(errorCount);
  }
  int error = 0;
  std::unique_ptr<platform::ByteStream> stream = sys.OpenRead(archiveName, false, error);
  if (!stream) {
    ReportError("%s: %s\n", archivePath, platform::ErrorText(error).c_str());
    return ConcludeRun(errorCount);
  }

  // Every header is read before anything is created: a damaged list creates
  // nothing at all.
  HeaderListEnd end = ReadHeaderList(*stream, entries, recoverEmptyFiles);
  if (!end.complete) {
    ReportError("%s: %s\n", archivePath, DescribeDamage(end).c_str());
    return ConcludeRun(errorCount);
  }
  // Behind a named header of size 0 the data block's start is unknown:
  // nothing read from there could be trusted.
  if (end.EndsOnEmptyFile()) {
    ReportError("%s", DescribeEmptyFileEnd(end, entries, archiveName, "extract", "extracted").c_str());
    return ConcludeRun(errorCount);
  }
  if (end.recoveredEmptyFiles > 0) LogWarning("%s", DescribeRecovery(end, entries, archiveName).c_str());

  // The entries to take. A pattern that matches none is an error, named
  // before anything is written; the entries that were matched still go out.
  EntrySelection selection(options.patterns);
  std::vector<bool> chosen;
  chosen.reserve(entries.size());
  for (const auto& item : entries) {
    // A named header of size 0 is in the list only when it was read past:
    // an empty file, created empty like any other chosen entry.
    const bool terminator = item->dataSize == 0 && item->name.empty();
    chosen.push_back(!terminator && selection.Chooses(item->name));
  }
  for (const std::string& pattern : selection.Unmatched()) {
    ReportError("%s: no entry of the archive matches this name\n", PrintableName(pattern).c_str());
  }
  if (std::find(chosen.begin(), chosen.end(), true) == chosen.end() && !selection.empty()) {
    return ConcludeRun(errorCount);
  }

  std::string folder = OutputFolderName(archiveName);
  if (!options.outputFolder.empty()) {
    folder = options.outputFolder;
    if (!EnsureGivenFolder(folder, errorCount)) return ConcludeRun(errorCount);
  } else {
    if (!options.parentFolder.empty()) {
      const std::string& parent = options.parentFolder;
      folder = parent + (platform::System::IsSeparator(parent.back()) ? "" : "\\") + folder;
    }
    if (!EnsureFolder(folder, folder, {}, errorCount)) return ConcludeRun(errorCount);
  }
  // Where the run goes back to: beside the archive, the folder it started in.
  const std::string back = placed ? sys.CurrentDirectory() : "..";
  // The run works inside the output folder: every entry's folders are made
  // from there and its file is created there under the entry's own name. The
  // folder is entered once, not once per entry, and left when the run ends.
  // A folder the user named means what the system says it means, ".." too.
  if (int e = placed ? sys.ChangeDirectoryAsGiven(folder) : sys.ChangeDirectory(folder)) {
    ReportError("%s: cannot enter the folder: %s\n", folder.c_str(), platform::ErrorText(e).c_str());
    return ConcludeRun(errorCount);
  }

  DataReader reader(*stream);
  // The lanes that write files side by side count their own errors, and
  // take turns at the folders (MakeDirectoryChain reports to errorCount).
  std::vector<unsigned> laneErrors(kLanes);
  std::mutex folderTurn;

  // Everything one entry does once its data is at hand: its folders, its
  // line in the log, its file. With `held`, `bytes` holds `got` of the
  // entry's bytes, fewer when the archive ended early (`shortfall` says
  // why); without, they are copied from the archive's stream. False when
  // the run must stop.
  auto writeEntry = [this, &folder, &reader, &folderTurn](const ArchiveEntry& entry, unsigned& errors, bool held,
                                                          const std::uint8_t* bytes, std::size_t got,
                                                          const std::string& shortfall) -> bool {
    platform::System& sys = platform::Sys();
    // An entry that gets no file still has its data read past, and an
    // archive that ends inside it ends the run.
    auto skipped = [&] {
      const std::string why = held ? shortfall : SkipData(reader, entry);
      if (!why.empty()) LogError(errors, "%s", why.c_str());
      return why.empty();
    };
    // A name with folders in it gets them created inside the output folder.
    if (entry.name.find_first_of("\\/") != std::string::npos) {
      std::lock_guard turn(folderTurn);
      unsigned before = errorCount;
      MakeDirectoryChain(entry.name);
      if (errorCount != before) return skipped();
    }
    LogDebugLine(folder + "\\" + entry.name + "\n");
    LogPrintf("Extracting %s (%u byte%s)\n", entry.name.c_str(), entry.dataSize, entry.dataSize == 1 ? "" : "s");

    int error = 0;
    std::unique_ptr<platform::ByteStream> out = CreateOutputFile(entry.name, error);
    if (!out) {
      LogError(errors, "%s: cannot create the file: %s\n", entry.name.c_str(), platform::ErrorText(error).c_str());
      return skipped();
    }
    std::uint64_t copied = got;
    std::string why = shortfall;
    if (held) {
      if (got > 0 && !out->Write(bytes, got)) copied = 0;
    } else {
      copied = reader.CopyTo(*out, entry.dataSize);
      if (copied < entry.dataSize) why = reader.Shortfall(entry.name, copied, entry.dataSize);
    }
    bool stop = false;
    if (copied < entry.dataSize && out->error()) {
      LogError(errors, "%s: %s; the incomplete file is removed\n", entry.name.c_str(),
               platform::ErrorText(out->error()).c_str());
      out.reset();
      sys.RemoveFile(entry.name);
      stop = true;
    } else if (copied < entry.dataSize) {
      // The file keeps exactly the bytes the archive still held.
      LogError(errors, "%s", why.c_str());
      stop = true;
    }
    if (out && !out->Close()) {
      LogError(errors, "%s: %s; the incomplete file is removed\n", entry.name.c_str(),
               platform::ErrorText(out->error()).c_str());
      sys.RemoveFile(entry.name);
      stop = true;
    }
    return !stop;
  };

  // Two lanes pay where folders hold many files; where most files have a
  // folder of their own, the lanes would make the same folders side by
  // side, each waiting on the other. An entry whose order against an
  // earlier one decides what is made (the same name twice, or a name that
  // is a file for one and a folder for the other) waits for every entry
  // before it.
  std::vector<const char*> refusal(entries.size());  // why a chosen entry's name is refused, if it is
  std::vector<std::string_view> names;
  std::vector<std::size_t> named;  // the entry of each name
  std::size_t folderRuns = 1;      // runs of names in one folder, the output folder's counted
  std::string_view lastFolder;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!chosen[i] || (refusal[i] = RefusedEntryNameReason(entries[i]->name))) continue;
    const std::string_view name = names.emplace_back(entries[i]->name);
    named.push_back(i);
    const std::string_view inFolder = name.substr(0, name.find_last_of("\\/") + 1);
    if (inFolder != lastFolder) ++folderRuns;
    lastFolder = inFolder;
  }
  const bool sideBySide = names.size() >= kFilesPerFolderForLanes * folderRuns;
  std::vector<bool> waitsForEarlier(entries.size());
  if (sideBySide) {
    const std::vector<bool> meets = NamesMeetingEarlierOnes(names);
    for (std::size_t n = 0; n < names.size(); ++n) waitsForEarlier[named[n]] = meets[n];
  }
  const std::size_t lanes = sideBySide ? kLanes : 1;
  {
    // The files are written on other threads while this one reads the
    // entries behind them: the transcript still comes in archive order, and
    // once an entry stops the run no later entry's file is begun.
    OrderedWorker worker(kHeldEntryLimit, kReadAhead / kHeldEntryLimit, lanes);
    auto skip = [&](const ArchiveEntry& entry) {
      const std::string why = SkipData(reader, entry);
      if (why.empty()) return true;
      worker.Drain();
      ReportError("%s", why.c_str());
      return false;
    };
    // Once the last chosen entry is out, the rest of the archive is not read.
    auto left = std::count(chosen.begin(), chosen.end(), true);
    std::uint64_t headerOffset = 0;
    for (std::size_t index = 0; index < entries.size(); ++index) {
      const ArchiveEntry& entry = *entries[index];
      const std::uint64_t offset = headerOffset;
      headerOffset += entry.name.size() + kHeaderFixedSize;
      const bool take = chosen[index];
      if (left == 0) break;
      if (!take) {
        if (!skip(entry)) break;
        continue;
      }
      --left;
      if (const char* why = refusal[index]) {
        worker.Queue([&laneErrors, &entry, offset, why](std::span<const std::uint8_t>, std::size_t lane) {
          if (entry.name.empty()) {
            LogError(laneErrors[lane], "the header at offset %llu: refused: %s; the entry is skipped\n",
                     static_cast<unsigned long long>(offset), why);
          } else {
            LogError(laneErrors[lane], "%s: refused: %s; the entry is skipped\n", PrintableName(entry.name).c_str(),
                     why);
          }
          return true;
        });
        if (!skip(entry)) break;
        continue;
      }
      if (entry.dataSize > kHeldEntryLimit) {
        // Copied from the archive straight to its file, here, once the
        // lanes are idle.
        if (!worker.Drain() || !writeEntry(entry, laneErrors[0], false, nullptr, 0, {})) break;
        continue;
      }
      if (waitsForEarlier[index] && !worker.Drain()) break;
      std::span<std::uint8_t> room = worker.Room(entry.dataSize);
      const std::size_t got = reader.Read(room);
      const std::string shortfall = got < entry.dataSize ? reader.Shortfall(entry.name, got, entry.dataSize) : "";
      auto job = [&writeEntry, &laneErrors, &entry, shortfall](std::span<const std::uint8_t> held, std::size_t lane) {
        return writeEntry(entry, laneErrors[lane], true, held.data(), held.size(), shortfall);
      };
      if (!worker.Queue(std::move(job), got) || !shortfall.empty()) break;
    }
    worker.Drain();
  }
  for (unsigned errors : laneErrors) errorCount += errors;
  stream.reset();
  if (int e = sys.ChangeDirectory(back)) {
    ReportError("%s: cannot go back to the archive's folder: %s\n", folder.c_str(), platform::ErrorText(e).c_str());
  }
  return ConcludeRun(errorCount);
}

void Archive::MakeDirectoryChain(const std::string& path) {
  // The entries of a folder follow one another: when the chain is the one
  // the entry before made in whole, every folder of it is known already.
  const std::string_view chain = std::string_view(path).substr(0, path.find_last_of("\\/") + 1);
  if (chain == lastChain_) return;
  std::vector<std::string_view> parts = SplitPath(path);
  parts.pop_back();  // the file name itself is never created
  std::erase_if(parts, [](std::string_view part) { return part.empty() || part == "."; });

  // Each folder is made by its path below the current directory, which
  // stays where it is: no folder is entered, and the folders made or checked
  // earlier in this run (all but the first of a chain's new ones, in a
  // deep tree) cost no call at all.
  std::string folder;
  std::string shown;
  for (std::string_view part : parts) {
    if (!folder.empty()) folder += platform::System::kNativeSeparator;
    folder += part;
    if (!shown.empty()) shown += '\\';
    shown += part;
    if (knownFolders_.contains(folder)) continue;
    if (part == "..") {
      ReportError("%s: refused: a folder chain never climbs with '..'\n", shown.c_str());
      return;
    }
    if (!EnsureFolder(folder, shown, path, errorCount)) return;
    knownFolders_.insert(folder);
  }
  lastChain_ = chain;
}
