#include "archive/entry_name.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsControl(unsigned char c) { return (c >= 0x01 && c <= 0x1F) || c == 0x7F; }

#ifdef _WIN32
// True when text is upper in any letter case.
bool SameLetters(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}

// Windows opens a device, not a file, for these names in any folder and with
// any extension ("nul.txt", "Com1.tar.gz"); spaces before the extension do
// not count.
bool IsDeviceName(std::string_view part) {
  std::string_view base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(base, device)) return true;
  }
  return base.size() == 4 && base[3] >= '0' && base[3] <= '9' &&
         (SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT"));
}
#endif
}  // namespace

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
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
  for (std::string_view part : SplitPath(name)) {
    if (part == "..") return "the name climbs out of the output folder with '..'";
#ifdef _WIN32
    if (IsDeviceName(part)) return "the name holds a Windows device name (CON, PRN, AUX, NUL, COM1, LPT1 and the like)";
    if (part != "." && !part.empty() && (part.back() == '.' || part.back() == ' '))
      return "the name holds a part that ends in a dot or a space, which Windows would drop";
#endif
  }
  std::string_view last = SplitPath(name).back();
  if (last.empty() || last == ".") return "the name ends in a separator and names no file";
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
