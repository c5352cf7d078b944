// An independent reading of archive bytes, used as the oracle by the
// hostile-input tests and the fuzz targets: which files a successful
// extraction must leave, and which inputs it must never call a success.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/entry_name.h"

namespace model {

struct Entry {
  std::string name;
  std::uint32_t size = 0;
};

struct Reading {
  bool headersComplete = false;  // the list closed on the terminator (size 0, no name)
  bool dataComplete = false;     // every entry's data is there
  bool namesAccepted = true;     // no name that extraction refuses
  bool conflicts = false;        // a name is both a file and a folder of another
  std::vector<Entry> entries;    // the headers read, the one that ended the list excluded
  std::map<std::string, std::string> files;  // path with '/' -> content, later entries replacing earlier
  bool CanSucceed() const { return headersComplete && dataComplete && namesAccepted && !conflicts; }
};

// "a\.\\b/c" -> "a/b/c": the path extraction writes below its folder.
inline std::string Normalize(std::string_view name) {
  std::string path;
  for (std::string_view part : SplitPath(name)) {
    if (part.empty() || part == ".") continue;
    if (!path.empty()) path += '/';
    path += part;
  }
  return path;
}

inline Reading Read(std::string_view bytes) {
  Reading r;
  std::size_t at = 0;
  for (;;) {
    std::size_t nul = bytes.find('\0', at);
    if (nul == std::string_view::npos || bytes.size() - nul - 1 < 20) return r;
    Entry e{std::string(bytes.substr(at, nul - at))};
    for (int i = 0; i < 4; ++i) e.size |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[nul + 17 + i])) << (8 * i);
    at = nul + 21;
    if (e.size == 0 && !e.name.empty()) return r;  // an empty file: the data block's start is unknown
    if (e.size == 0) break;
    r.entries.push_back(e);
  }
  r.headersComplete = true;
  for (const Entry& e : r.entries) {
    if (RefusedEntryNameReason(e.name)) r.namesAccepted = false;
    if (bytes.size() - at < e.size) return r;
    r.files[Normalize(e.name)] = std::string(bytes.substr(at, e.size));
    at += e.size;
  }
  r.dataComplete = true;
  for (const auto& [path, content] : r.files) {
    auto next = r.files.lower_bound(path + '/');
    if (next != r.files.end() && next->first.starts_with(path + '/')) r.conflicts = true;
  }
  return r;
}

}  // namespace model
