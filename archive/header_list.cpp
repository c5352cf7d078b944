#include "archive/header_list.h"

#include <new>

#include "archive/entry_name.h"
#include "log/log.h"

namespace {

using ull = unsigned long long;

// Whether the headers read (entries from `first` on, the list's end at
// end.dataOffset) and their sizes account for the whole file, with or
// without the trailer. Returns why not, or an empty string.
std::string CheckLength(platform::ByteStream& stream, const std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                        std::size_t first, const HeaderListEnd& end) {
  if (!end.complete) return "the headers behind it do not reach a terminator (" + DescribeDamage(end) + ")";
  const std::int64_t length = stream.Length();
  if (length < 0) return "the archive's length cannot be read: " + platform::ErrorText(stream.error());
  std::uint64_t expected = end.dataOffset;
  for (std::size_t i = first; i < entries.size(); ++i) expected += entries[i]->dataSize;
  const auto actual = static_cast<std::uint64_t>(length);
  if (actual == expected || actual == expected + kArchiveSignatureSize) return {};
  return StringPrintf("the headers up to the terminator and their sizes account for %llu bytes (%llu with the "
                      "trailer), but the archive holds %llu",
                      static_cast<ull>(expected), static_cast<ull>(expected + kArchiveSignatureSize),
                      static_cast<ull>(actual));
}

}  // namespace

HeaderListEnd ReadHeaderList(platform::ByteStream& stream, std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                             bool readPastEmptyFiles) {
  HeaderListEnd end;
  const std::size_t first = entries.size();
  std::uint64_t offset = 0;
  std::uint64_t emptyFileLength = 0;
  try {
    for (;;) {
      auto entry = std::make_unique<ArchiveEntry>();
      int more = entry->ReadEntryHeader(stream);
      const bool complete = entry->complete;
      const bool named = !entry->name.empty();
      const std::uint64_t length = entry->name.size() + kHeaderFixedSize;
      entries.push_back(std::move(entry));
      if (!more && complete && named) {
        // An empty file packed by another writer: the format's list ends
        // here; only a reader asked to read past it goes on.
        if (end.emptyFileIndex == HeaderListEnd::kNone) {
          end.emptyFileIndex = entries.size() - 1;
          end.emptyFileOffset = offset;
          emptyFileLength = length;
        }
        ++end.recoveredEmptyFiles;
        more = readPastEmptyFiles;
      }
      if (!more) {
        end.complete = complete;
        end.lastHeaderOffset = offset;
        end.dataOffset = offset + length;
        if (!complete) {
          end.readError = stream.error();
          end.nameTooLong = entries.back()->name.size() == kMaxEntryNameLength;
        }
        break;
      }
      offset += length;
    }
  } catch (const std::bad_alloc&) {
    end.complete = false;
    end.outOfMemory = true;
    end.lastHeaderOffset = offset;
  }
  if (!readPastEmptyFiles || end.emptyFileIndex == HeaderListEnd::kNone) {
    end.recoveredEmptyFiles = 0;
    return end;
  }
  std::string refused = CheckLength(stream, entries, first, end);
  if (refused.empty()) return end;
  // Read as a reader that does not read past them: the list ends on the
  // first named header of size 0.
  HeaderListEnd plain;
  plain.complete = true;
  plain.emptyFileIndex = end.emptyFileIndex;
  plain.emptyFileOffset = plain.lastHeaderOffset = end.emptyFileOffset;
  plain.dataOffset = end.emptyFileOffset + emptyFileLength;
  plain.recoveryRefused = std::move(refused);
  entries.resize(end.emptyFileIndex + 1);
  return plain;
}

std::string DescribeDamage(const HeaderListEnd& end) {
  auto offset = static_cast<ull>(end.lastHeaderOffset);
  if (end.outOfMemory) return StringPrintf("out of memory while reading the header at offset %llu", offset);
  if (end.nameTooLong) {
    return StringPrintf("damaged archive: the header at offset %llu has a name longer than %llu bytes", offset,
                        static_cast<ull>(kMaxEntryNameLength));
  }
  if (end.readError) {
    return StringPrintf("read error in the header at offset %llu: %s", offset,
                        platform::ErrorText(end.readError).c_str());
  }
  return StringPrintf("damaged archive: the header at offset %llu is cut off", offset);
}

std::string DescribeEmptyFileEnd(const HeaderListEnd& end, const std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                                 const std::string& archiveName, const char* command, const char* notDone) {
  std::string message = StringPrintf(
      "%s: a header of size 0 with a name ends the list at offset %llu: the archive holds an empty file packed by "
      "another writer, so where its data block begins is unknown and nothing is %s; ",
      PrintableName(entries[end.emptyFileIndex]->name).c_str(), static_cast<ull>(end.emptyFileOffset), notDone);
  if (end.recoveryRefused.empty()) {
    // Quoted where a shell would split or expand the name.
    std::string shown = PrintableName(archiveName);
    if (shown.find_first_of(" \t'\"$&;|<>()*?`") != std::string::npos) shown = '"' + shown + '"';
    message += StringPrintf("to recover it, run: vrk %s --recover %s\n", command, shown.c_str());
  } else {
    message += "reading on to the terminator does not recover it: " + end.recoveryRefused + "\n";
  }
  return message;
}

std::string DescribeRecovery(const HeaderListEnd& end, const std::vector<std::unique_ptr<ArchiveEntry>>& entries,
                             const std::string& archiveName) {
  return StringPrintf(
      "%s: recovered %llu empty file%s packed by another writer (the first, %s, at offset %llu): the header list "
      "was read on to the terminator, and the sizes account for the whole archive\n",
      PrintableName(archiveName).c_str(), static_cast<ull>(end.recoveredEmptyFiles),
      end.recoveredEmptyFiles == 1 ? "" : "s", PrintableName(entries[end.emptyFileIndex]->name).c_str(),
      static_cast<ull>(end.emptyFileOffset));
}
