#include "archive/list_verify.h"

#include <cctype>
#include <cstring>
#include <unordered_map>

#include "archive/entry_name.h"
#include "archive/header_list.h"
#include "archive/report.h"

namespace {

std::unique_ptr<platform::ByteStream> OpenArchive(const char* archivePath, unsigned& errorCount) {
  int error = 0;
  auto stream = platform::Sys().OpenRead(archivePath, false, error);
  if (!stream) LogError(errorCount, "%s: %s\n", archivePath, platform::ErrorText(error).c_str());
  return stream;
}

using ull = unsigned long long;

// The file an entry name puts below the output folder, as extraction makes
// it: empty and "." parts dropped, '\' between levels; on Windows in one
// letter case, as the file system matches names.
std::string FileKey(std::string_view name) {
  std::string key;
  for (std::string_view part : SplitPath(name)) {
    if (part.empty() || part == ".") continue;
    if (!key.empty()) key += '\\';
    key += part;
  }
#ifdef _WIN32
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
  return key;
}

// Where entries would collide on extraction: a file where a folder must go
// (either order) is an error, two entries for one file a warning.
class CollisionCheck {
 public:
  void Add(const ArchiveEntry& entry, std::uint64_t offset, unsigned& errors) {
    const std::string key = FileKey(entry.name);
    const Seen here{&entry, offset};
    for (std::size_t cut = key.find('\\'); cut != std::string::npos; cut = key.find('\\', cut + 1)) {
      const std::string folder = key.substr(0, cut);
      if (auto file = files_.find(folder); file != files_.end()) {
        LogError(errors, "%s: the header at offset %llu needs the folder %s, where the entry %s (offset %llu) is a file\n",
                 Shown(here).c_str(), static_cast<ull>(offset), folder.c_str(), Shown(file->second).c_str(),
                 static_cast<ull>(file->second.offset));
      }
      folders_.emplace(folder, here);
    }
    if (auto folder = folders_.find(key); folder != folders_.end()) {
      LogError(errors, "%s: the header at offset %llu is a file where the entry %s (offset %llu) needs a folder\n",
               Shown(here).c_str(), static_cast<ull>(offset), Shown(folder->second).c_str(),
               static_cast<ull>(folder->second.offset));
    } else if (auto file = files_.find(key); file != files_.end()) {
      LogWarning("%s: the header at offset %llu names the same file as the entry %s (offset %llu); extraction keeps "
                 "only the later one\n",
                 Shown(here).c_str(), static_cast<ull>(offset), Shown(file->second).c_str(),
                 static_cast<ull>(file->second.offset));
    }
    files_.emplace(key, here);
  }

 private:
  struct Seen {
    const ArchiveEntry* entry;
    std::uint64_t offset;
  };
  static std::string Shown(const Seen& seen) { return PrintableName(seen.entry->name); }
  std::unordered_map<std::string, Seen> files_;
  std::unordered_map<std::string, Seen> folders_;
};

}  // namespace

int ListArchive(const char* archivePath, std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                bool recoverEmptyFiles) {
  unsigned errors = 0;
  auto stream = OpenArchive(archivePath, errors);
  if (!stream) return 0;
  HeaderListEnd end = ReadHeaderList(*stream, entries, recoverEmptyFiles);
  int result = 1;
  if (!end.complete) {
    LogError(errors, "%s: %s\n", archivePath, DescribeDamage(end).c_str());
    result = 0;
  } else if (end.EndsOnEmptyFile()) {
    LogError(errors, "%s", DescribeEmptyFileEnd(end, entries, archivePath, "list", "listed").c_str());
    result = 0;
  } else if (end.recoveredEmptyFiles > 0) {
    LogWarning("%s", DescribeRecovery(end, entries, archivePath).c_str());
  }
  if (!entries.empty()) entries.pop_back();
  return result;
}

int VerifyArchive(const char* archivePath) {
  unsigned errors = 0;
  LogPrintf("Verifying %s...\n", archivePath);
  auto stream = OpenArchive(archivePath, errors);
  if (!stream) return ConcludeRun(errors);

  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  HeaderListEnd end = ReadHeaderList(*stream, entries);
  std::uint64_t offset = 0;
  CollisionCheck collisions;
  for (const auto& entry : entries) {
    if (entry->dataSize != 0 && entry->complete) {
      if (const char* why = RefusedEntryNameReason(entry->name)) {
        LogError(errors, "%s: the header at offset %llu names an entry that extraction refuses: %s\n",
                 PrintableName(entry->name).c_str(), static_cast<ull>(offset), why);
      } else {
        collisions.Add(*entry, offset, errors);
      }
    }
    offset += entry->name.size() + kHeaderFixedSize;
  }
  if (!end.complete) {
    LogError(errors, "%s: %s\n", archivePath, DescribeDamage(end).c_str());
    return ConcludeRun(errors);
  }
  const ArchiveEntry& last = *entries.back();
  if (!last.name.empty()) {
    LogError(errors,
             "%s: the header list ends at offset %llu on a header of size 0 that has a name: an empty file "
             "stored by another writer, so what follows is probably more headers read as data\n",
             PrintableName(last.name).c_str(), static_cast<ull>(end.lastHeaderOffset));
  }

  // The data block, entry by entry, through one bounded buffer.
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint64_t position = end.dataOffset;
  std::uint64_t dataBytes = 0;
  for (const auto& entry : entries) {
    std::uint64_t left = entry->dataSize;
    while (left > 0) {
      std::size_t chunk = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
      std::size_t got = stream->Read(buffer.data(), chunk);
      left -= got;
      position += got;
      if (got < chunk) {
        LogError(errors, "%s: the entry's data at offset %llu claims %u byte%s but only %llu remain%s\n",
                 PrintableName(entry->name).c_str(), static_cast<ull>(position - (entry->dataSize - left)),
                 entry->dataSize, entry->dataSize == 1 ? "" : "s", static_cast<ull>(entry->dataSize - left),
                 stream->error() ? (" (" + platform::ErrorText(stream->error()) + ")").c_str() : "");
        return ConcludeRun(errors);
      }
    }
    dataBytes += entry->dataSize;
  }

  // Behind the data block: normally the signature, which no reader needs.
  char trailer[kArchiveSignatureSize];
  std::size_t got = stream->Read(trailer, sizeof trailer);
  std::uint64_t behind = got;
  while (got == sizeof trailer) {
    char rest[4096];
    std::size_t more = stream->Read(rest, sizeof rest);
    behind += more;
    if (more < sizeof rest) break;
  }
  if (behind == 0) {
    LogPrintf("No trailer behind the data block (offset %llu).\n", static_cast<ull>(position));
  } else if (got == sizeof trailer && std::memcmp(trailer, ArchiveSignature, sizeof trailer) == 0) {
    if (behind == sizeof trailer) {
      LogPrintf("Trailer found at offset %llu.\n", static_cast<ull>(position));
    } else {
      LogPrintf("Trailer found at offset %llu, followed by %llu more byte%s.\n", static_cast<ull>(position),
                static_cast<ull>(behind - sizeof trailer), behind - sizeof trailer == 1 ? "" : "s");
    }
  } else {
    LogPrintf("%llu byte%s behind the data block at offset %llu %s not the trailer.\n", static_cast<ull>(behind),
              behind == 1 ? "" : "s", static_cast<ull>(position), behind == 1 ? "is" : "are");
  }
  const auto count = static_cast<ull>(entries.size() - 1);
  LogPrintf("%llu entr%s, %llu byte%s of data.\n", count, count == 1 ? "y" : "ies", static_cast<ull>(dataBytes),
            dataBytes == 1 ? "" : "s");
  return ConcludeRun(errors);
}
