#include "archive/diff.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "archive/entry_name.h"
#include "archive/listing.h"
#include "archive/report.h"

namespace {

using ull = unsigned long long;

// The key two archives' entries are matched on.
std::string Key(const std::string& name) {
  std::string key = name;
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

struct Side {
  const char* path;
  std::unique_ptr<platform::ByteStream> stream;
  ArchiveListing listing;
  std::map<std::string, const ListedEntry*> byName;

  bool Open(unsigned& errors) {
    // The listing logs its own errors; the stream is opened again to read
    // the data wherever it lies, which only a file can give twice: a pipe
    // is refused at once rather than waited on for a writer that is gone.
    if (!ReadListing(path, listing)) {
      ++errors;
      return false;
    }
    int error = 0;
    stream = platform::Sys().OpenRead(path, true, error);
    if (!stream) {
      LogError(errors, "%s: %s\n", path, platform::ErrorText(error).c_str());
      return false;
    }
    for (const ListedEntry& entry : listing.entries) byName[Key(entry.name)] = &entry;
    return true;
  }

  // Reads n bytes of an entry's data from where it stands; false with an
  // error logged when the archive ends or fails first.
  bool Read(const ListedEntry& entry, std::uint64_t done, std::uint8_t* buffer, std::size_t n, unsigned& errors) {
    std::size_t got = stream->Read(buffer, n);
    if (got == n) return true;
    if (stream->error()) {
      LogError(errors, "%s: %s: read error after %llu of %u bytes: %s\n", path, PrintableName(entry.name).c_str(),
               static_cast<ull>(done + got), entry.size, platform::ErrorText(stream->error()).c_str());
    } else {
      LogError(errors, "%s: %s: the archive ends after %llu of the entry's %u bytes\n", path,
               PrintableName(entry.name).c_str(), static_cast<ull>(done + got), entry.size);
    }
    return false;
  }
};

// Whether two entries of the same size hold the same bytes. Sets ok false,
// with an error logged, when either cannot be read.
bool SameBytes(Side& a, const ListedEntry& ea, Side& b, const ListedEntry& eb, unsigned& errors, bool& ok) {
  for (Side* side : {&a, &b}) {
    const ListedEntry& entry = side == &a ? ea : eb;
    if (!side->stream->Seek(entry.dataOffset)) {
      LogError(errors, "%s: cannot go to offset %llu: %s\n", side->path, static_cast<ull>(entry.dataOffset),
               platform::ErrorText(side->stream->error()).c_str());
      ok = false;
      return false;
    }
  }
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<std::uint8_t> bufferA(std::min<std::size_t>(kChunk, ea.size));
  std::vector<std::uint8_t> bufferB(bufferA.size());
  for (std::uint64_t done = 0; done < ea.size;) {
    auto n = static_cast<std::size_t>(std::min<std::uint64_t>(ea.size - done, kChunk));
    if (!a.Read(ea, done, bufferA.data(), n, errors) || !b.Read(eb, done, bufferB.data(), n, errors)) {
      ok = false;
      return false;
    }
    if (std::memcmp(bufferA.data(), bufferB.data(), n) != 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

int DiffArchives(const char* first, const char* second, std::vector<EntryDifference>& differences) {
  unsigned errors = 0;
  Side a{first, nullptr, {}, {}};
  Side b{second, nullptr, {}, {}};
  bool opened = a.Open(errors);
  opened = b.Open(errors) && opened;  // both are tried, so both are reported
  if (!opened) return 0;

  auto ia = a.byName.begin();
  auto ib = b.byName.begin();
  bool ok = true;
  while (ok && (ia != a.byName.end() || ib != b.byName.end())) {
    if (ib == b.byName.end() || (ia != a.byName.end() && ia->first < ib->first)) {
      differences.push_back({EntryDifference::Removed, ia->second->name});
      ++ia;
    } else if (ia == a.byName.end() || ib->first < ia->first) {
      differences.push_back({EntryDifference::Added, ib->second->name});
      ++ib;
    } else {
      const ListedEntry& ea = *ia->second;
      const ListedEntry& eb = *ib->second;
      if (ea.size != eb.size || !SameBytes(a, ea, b, eb, errors, ok)) {
        if (ok) differences.push_back({EntryDifference::Changed, eb.name});
      }
      ++ia, ++ib;
    }
  }
  return ok ? 1 : 0;
}
