#include "archive/list_verify.h"

#include <cstring>

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

}  // namespace

int ListArchive(const char* archivePath, std::vector<std::unique_ptr<ArchiveEntry>>& entries) {
  unsigned errors = 0;
  auto stream = OpenArchive(archivePath, errors);
  if (!stream) return 0;
  HeaderListEnd end = ReadHeaderList(*stream, entries);
  if (!entries.empty()) entries.pop_back();
  if (!end.complete) {
    LogError(errors, "%s: %s\n", archivePath, DescribeDamage(end).c_str());
    return 0;
  }
  return 1;
}

int VerifyArchive(const char* archivePath) {
  unsigned errors = 0;
  LogPrintf("Verifying %s...\n", archivePath);
  auto stream = OpenArchive(archivePath, errors);
  if (!stream) return ConcludeRun(errors);

  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  HeaderListEnd end = ReadHeaderList(*stream, entries);
  std::uint64_t offset = 0;
  for (const auto& entry : entries) {
    if (entry->dataSize != 0 && entry->complete) {
      if (const char* why = RefusedEntryNameReason(entry->name)) {
        LogError(errors, "%s: the header at offset %llu names an entry that extraction refuses: %s\n",
                 PrintableName(entry->name).c_str(), static_cast<ull>(offset), why);
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
        LogError(errors, "%s: the entry's data at offset %llu claims %u bytes but only %llu remain%s\n",
                 PrintableName(entry->name).c_str(), static_cast<ull>(position - (entry->dataSize - left)),
                 entry->dataSize, static_cast<ull>(entry->dataSize - left),
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
      LogPrintf("Trailer found at offset %llu, followed by %llu more bytes.\n", static_cast<ull>(position),
                static_cast<ull>(behind - sizeof trailer));
    }
  } else {
    LogPrintf("%llu bytes behind the data block at offset %llu are not the trailer.\n", static_cast<ull>(behind),
              static_cast<ull>(position));
  }
  LogPrintf("%llu entries, %llu bytes of data.\n", static_cast<ull>(entries.size() - 1), static_cast<ull>(dataBytes));
  return ConcludeRun(errors);
}
