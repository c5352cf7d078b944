#include "archive/listing.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/archive.h"
#include "archive/entry_match.h"
#include "archive/entry_name.h"
#include "archive/header_list.h"
#include "archive/report.h"

namespace {

using ull = unsigned long long;

// The header list with every entry's offsets. Logs and returns false when
// the list is damaged.
bool ReadEntries(const char* archivePath, platform::ByteStream& stream, ArchiveListing& listing,
                 unsigned& errorCount) {
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  HeaderListEnd end = ReadHeaderList(stream, entries);
  // A list that ends on an empty file packed by another writer leaves the
  // data block's start unknown: no entry's bytes can be found.
  const std::string emptyFileEnd =
      end.EndsOnEmptyFile() ? DescribeEmptyFileEnd(end, entries, archivePath, "extract", "read") : std::string();
  listing.complete = end.complete;
  listing.terminator = end.complete && !entries.empty() && entries.back()->name.empty();
  if (!entries.empty()) entries.pop_back();  // the header that ended the list
  std::uint64_t header = 0;
  std::uint64_t data = end.dataOffset;
  listing.dataBlock = end.dataOffset;
  listing.entries.reserve(entries.size());
  for (auto& entry : entries) {
    const std::uint64_t headerLength = entry->name.size() + kHeaderFixedSize;
    listing.entries.push_back({std::move(entry->name), entry->dataSize, header, data});
    header += headerLength;
    data += listing.entries.back().size;
    listing.bytes += listing.entries.back().size;
  }
  if (!end.complete || !emptyFileEnd.empty()) {
    // Without the list's end the data block's place is unknown.
    for (ListedEntry& entry : listing.entries) entry.dataOffset = 0;
    listing.dataBlock = 0;
    if (emptyFileEnd.empty()) {
      LogError(errorCount, "%s: %s\n", archivePath, DescribeDamage(end).c_str());
    } else {
      LogError(errorCount, "%s", emptyFileEnd.c_str());
    }
    return false;
  }
  return true;
}

std::unique_ptr<platform::ByteStream> Open(const char* archivePath, unsigned& errorCount) {
  int error = 0;
  auto stream = platform::Sys().OpenRead(archivePath, false, error);
  if (!stream) LogError(errorCount, "%s: %s\n", archivePath, platform::ErrorText(error).c_str());
  return stream;
}

}  // namespace

int ReadListing(const char* archivePath, ArchiveListing& listing) {
  unsigned errors = 0;
  auto stream = Open(archivePath, errors);
  listing.opened = stream != nullptr;
  if (!stream || !ReadEntries(archivePath, *stream, listing, errors)) return 0;
  const std::uint64_t trailerAt = listing.dataBlock + listing.bytes;
  // The signature is looked for where it should be, without reading the data.
  const std::int64_t length = stream->Length();
  char trailer[kArchiveSignatureSize];
  listing.trailer = length >= 0 && static_cast<std::uint64_t>(length) >= trailerAt + sizeof trailer &&
                    stream->Seek(trailerAt) && stream->Read(trailer, sizeof trailer) == sizeof trailer &&
                    std::memcmp(trailer, ArchiveSignature, sizeof trailer) == 0;
  return 1;
}

int WriteEntryData(const char* archivePath, std::string_view name, platform::ByteStream& out, const char* outName) {
  unsigned errors = 0;
  auto stream = Open(archivePath, errors);
  ArchiveListing listing;
  if (!stream || !ReadEntries(archivePath, *stream, listing, errors)) return 0;
  const ListedEntry* found = nullptr;
  for (const ListedEntry& entry : listing.entries) {
    if (SameEntryName(entry.name, name)) found = &entry;
  }
  if (!found) {
    LogError(errors, "%s: no entry named %s\n", archivePath, PrintableName(name).c_str());
    return 0;
  }

  // The entries before it are passed over: by position where the stream
  // can be placed, else by reading them.
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint64_t at = listing.dataBlock;
  if (!stream->Seek(found->dataOffset)) {
    while (at < found->dataOffset) {
      auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(found->dataOffset - at, buffer.size()));
      std::size_t got = stream->Read(buffer.data(), chunk);
      at += got;
      if (got < chunk) break;
    }
  }
  std::uint64_t copied = stream->CopyTo(out, found->size, buffer);
  if (copied < found->size && out.error()) {
    LogError(errors, "%s: %s\n", outName, platform::ErrorText(out.error()).c_str());
  } else if (copied < found->size && stream->error()) {
    LogError(errors, "%s: read error after %llu of %u bytes: %s\n", PrintableName(found->name).c_str(),
             static_cast<ull>(copied), found->size, platform::ErrorText(stream->error()).c_str());
  } else if (copied < found->size) {
    LogError(errors, "%s: the archive ends after %llu of the entry's %u bytes\n", PrintableName(found->name).c_str(),
             static_cast<ull>(copied), found->size);
  }
  return errors == 0 ? 1 : 0;
}
