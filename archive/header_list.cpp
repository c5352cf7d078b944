#include "archive/header_list.h"

#include <new>

#include "log/log.h"

HeaderListEnd ReadHeaderList(platform::ByteStream& stream, std::vector<std::unique_ptr<ArchiveEntry>>& entries) {
  HeaderListEnd end;
  std::uint64_t offset = 0;
  try {
    for (;;) {
      auto entry = std::make_unique<ArchiveEntry>();
      int more = entry->ReadEntryHeader(stream);
      bool complete = entry->complete;
      std::uint64_t length = entry->name.size() + kHeaderFixedSize;
      entries.push_back(std::move(entry));
      if (!more) {
        end.complete = complete;
        end.lastHeaderOffset = offset;
        end.dataOffset = offset + length;
        if (!complete) {
          end.readError = stream.error();
          end.nameTooLong = entries.back()->name.size() == kMaxEntryNameLength;
        }
        return end;
      }
      offset += length;
    }
  } catch (const std::bad_alloc&) {
    end.outOfMemory = true;
    end.lastHeaderOffset = offset;
    return end;
  }
}

std::string DescribeDamage(const HeaderListEnd& end) {
  auto offset = static_cast<unsigned long long>(end.lastHeaderOffset);
  if (end.outOfMemory) return StringPrintf("out of memory while reading the header at offset %llu", offset);
  if (end.nameTooLong) {
    return StringPrintf("damaged archive: the header at offset %llu has a name longer than %llu bytes", offset,
                        static_cast<unsigned long long>(kMaxEntryNameLength));
  }
  if (end.readError) {
    return StringPrintf("read error in the header at offset %llu: %s", offset,
                          platform::ErrorText(end.readError).c_str());
  }
  return StringPrintf("damaged archive: the header at offset %llu is cut off", offset);
}
