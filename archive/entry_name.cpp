#include "archive/entry_name.h"

#include <algorithm>
#include <unordered_set>

#include "platform/platform.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsControl(unsigned char c) { return (c >= 0x01 && c <= 0x1F) || c == 0x7F; }
}  // namespace

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  parts.reserve(static_cast<std::size_t>(std::count_if(path.begin(), path.end(), IsSeparator)) + 1);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

const char* RefusedEntryNameReason(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (IsSeparator(name.front())) return "the name is absolute";
  for (char c : name) {
    if (c == ':') return "the name holds a drive or stream colon";
    if (IsControl(static_cast<unsigned char>(c))) return "the name holds a control character";
  }
  const std::vector<std::string_view> parts = SplitPath(name);
  for (std::string_view part : parts) {
    if (part == "..") return "the name climbs out of the output folder with '..'";
#ifdef _WIN32
    if (platform::NamesDevice(part)) {
      return "the name holds a Windows device name (CON, PRN, AUX, NUL, COM1, LPT1 and the like)";
    }
    if (part != "." && !part.empty() && (part.back() == '.' || part.back() == ' '))
      return "the name holds a part that ends in a dot or a space, which Windows would drop";
#endif
  }
  std::string_view last = parts.back();
  if (last.empty()) return "the name ends in a separator and names no file";
  if (last == ".") return "the name has no file name: it ends in '.'";
  return nullptr;
}

std::string OutputFolderName(std::string_view archiveName) {
  return std::string(archiveName.substr(0, archiveName.size() > 4 ? archiveName.size() - 4 : 0));
}

const char* UnstorableItemNameReason(std::string_view itemName) {
  for (char c : itemName) {
    if (c == '\\') return "the name holds a '\\', which the archive would read as a folder separator";
    if (c == ':') return "the name holds a ':', which extraction refuses";
    if (IsControl(static_cast<unsigned char>(c))) return "the name holds a control character, which extraction refuses";
  }
  return nullptr;
}

const char* RefusedArchiveNameReason(std::string_view archiveName) {
  if (archiveName.size() <= 4) return "the name is too short to name an output folder after it";
  std::string folder = OutputFolderName(archiveName);
  if (folder == "." || folder == "..") return "the output folder would be '.' or '..'";
  for (char c : folder) {
    if (IsSeparator(c)) return "the output folder would not be a plain folder beside the archive";
  }
  return nullptr;
}

std::string PrintableName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (IsControl(u)) {
      shown += '^';
      shown += u == 0x7F ? '?' : static_cast<char>(u + 0x40);
    } else {
      shown += c;
    }
  }
  return shown;
}

std::vector<bool> NamesMeetingEarlierOnes(const std::vector<std::string_view>& names) {
  std::vector<bool> meets(names.size());
  std::vector<std::string> keys;
  keys.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string& key = keys.emplace_back();
    key.reserve(names[i].size());
    for (std::string_view part : SplitPath(names[i])) {
      if (part.empty() || part == ".") continue;
#ifdef _WIN32
      if (std::any_of(part.begin(), part.end(), [](char c) { return c == '~' || (c & 0x80); })) meets[i] = true;
#endif
      if (!key.empty()) key += '/';
      for (char c : part) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  std::unordered_set<std::string_view> files;
  std::unordered_set<std::string_view> folders;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::string& key = keys[i];
    if (folders.contains(key) || !files.insert(key).second) meets[i] = true;
    // The folders it lies in, deepest first. Every folder of a folder in the
    // set is in it too, so the first one known ends the climb.
    for (std::size_t end = key.rfind('/'); end != std::string::npos && end > 0; end = key.rfind('/', end - 1)) {
      const std::string_view folder(key.data(), end);
      if (files.contains(folder)) meets[i] = true;
      if (!folders.insert(folder).second) break;
    }
  }
  return meets;
}
