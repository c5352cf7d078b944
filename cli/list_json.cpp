#include "cli/list_json.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

namespace {

using Json = nlohmann::ordered_json;

bool IsValidUtf8(const std::string& text) {
  try {
    static_cast<void>(Json(text).dump());
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    hex += kDigits[u >> 4];
    hex += kDigits[u & 0xF];
  }
  return hex;
}

// Sets object[key] to text, and object[key + "_hex"] to its bytes when the
// text is not valid UTF-8.
void PutName(Json& object, const std::string& key, const std::string& text) {
  object[key] = text;
  if (!IsValidUtf8(text)) object[key + "_hex"] = Hex(text);
}

}  // namespace

void PrintListingJson(const std::string& archivePath, const ArchiveListing& listing, std::ostream& out) {
  Json document = Json::object();
  PutName(document, "archive", archivePath);
  Json entries = Json::array();
  for (const ListedEntry& entry : listing.entries) {
    Json item = Json::object();
    PutName(item, "name", entry.name);
    std::string path = entry.name;
    std::replace(path.begin(), path.end(), '\\', '/');
    item["path"] = path;
    item["size"] = entry.size;
    item["header_offset"] = entry.headerOffset;
    item["data_offset"] = listing.complete && listing.terminator ? Json(entry.dataOffset) : Json(nullptr);
    entries.push_back(std::move(item));
  }
  document["entries"] = std::move(entries);
  document["summary"] = {{"entries", listing.entries.size()},
                         {"bytes", listing.bytes},
                         {"complete", listing.complete},
                         {"terminator", listing.terminator},
                         {"trailer", listing.trailer}};
  out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}
