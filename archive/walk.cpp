// Walking a folder tree and taking in its files.
#include <algorithm>
#include <utility>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "archive/report.h"

namespace {

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && platform::System::IsSeparator(path.back());
}

// "s\c.txt" for the message about an item of the current directory.
std::string ShownItem(const std::string& folderName, const std::string& item) {
  return folderName.empty() ? item : folderName + "\\" + item;
}

// Byte order of the names (char_traits compares bytes as unsigned).
void SortByName(std::vector<platform::DirItem>& items) {
  std::sort(items.begin(), items.end(),
            [](const platform::DirItem& a, const platform::DirItem& b) { return a.name < b.name; });
}

}  // namespace

std::string Archive::EntryNameFor(const std::string& fullPath) const {
  // The packed folder's path and one separator are cut by count; a folder
  // that already ends in a separator (a file system's root) has none to cut.
  std::size_t cut = rootPrefix.size() + (EndsInSeparator(rootPrefix) ? 0 : 1);
  std::string name = fullPath.substr(std::min(cut, fullPath.size()));
  // On POSIX a '/' in the relative part can only be a separator. (Written
  // as a plain store of every byte, the loop runs many bytes at a time.)
  for (char& c : name) c = c == '/' ? '\\' : c;
  return name;
}

std::string Archive::CurrentFolderName() const {
  const std::string here = platform::Sys().CurrentDirectory();
  std::string name = EntryNameFor(here + "\\");
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return name;
}

void Archive::WalkFolders() {
  platform::System& sys = platform::Sys();
  if (walkBroken_) return;
  // A folder the walk is already inside, reached again through a link,
  // would lead it in circles.
  platform::PathStatus here;
  sys.Status(".", true, here);
  if (std::find(walkStack_.begin(), walkStack_.end(), here.id) != walkStack_.end()) {
    LogWarning("%s: this folder is already being packed (a link leads back into it); skipped\n",
               CurrentFolderName().c_str());
    return;
  }
  std::vector<platform::DirItem> items;
  if (int error = sys.ListDirectory(".", items)) {
    std::string shown = CurrentFolderName();
    ReportError("%s: cannot list the folder: %s\n", shown.empty() ? rootPrefix.c_str() : shown.c_str(),
                platform::ErrorText(error).c_str());
    return;
  }
  if (sortListings) SortByName(items);
  walkStack_.push_back(here.id);

  // The folder's files come from the listing just read, not a second one.
  currentListing_ = &items;
  AddFolderFiles();
  currentListing_ = nullptr;

  const std::string folderName = CurrentFolderName();
  for (const platform::DirItem& item : items) {
    if (walkBroken_) break;
    if (item.name.empty() || item.name[0] == '.' || item.kind != platform::ItemKind::Directory) continue;
    auto shown = [&] { return ShownItem(folderName, item.name); };  // for messages only
    if (const char* why = UnstorableItemNameReason(item.name)) {
      ReportError("%s: %s\n", PrintableName(shown()).c_str(), why);
      continue;
    }
    if (int error = sys.ChangeDirectory(item.name)) {
      ReportError("%s: cannot enter the folder: %s\n", shown().c_str(), platform::ErrorText(error).c_str());
      continue;
    }
    WalkFolders();
    if (int error = sys.ChangeToParent(walkStack_.back())) {
      ReportError("%s: cannot leave the folder: %s\n", shown().c_str(), platform::ErrorText(error).c_str());
      walkBroken_ = true;
    }
  }
  walkStack_.pop_back();
}

void Archive::AddFolderFiles() {
  platform::System& sys = platform::Sys();
  std::vector<platform::DirItem> listed;
  const std::vector<platform::DirItem>* items = std::exchange(currentListing_, nullptr);
  if (!items) {
    if (int error = sys.ListDirectory(".", listed)) {
      const std::string folderName = CurrentFolderName();
      ReportError("%s: cannot list the folder: %s\n", folderName.empty() ? rootPrefix.c_str() : folderName.c_str(),
                  platform::ErrorText(error).c_str());
      return;
    }
    if (sortListings) SortByName(listed);
    items = &listed;
  }
  std::string here = sys.CurrentDirectory();
  if (!EndsInSeparator(here)) here += '\\';
  // An item's entry name (and the name messages show) is the folder's
  // followed by the item's own, which holds no separator.
  const std::string namePrefix = EntryNameFor(here);
  std::string fullPath = here;
  for (const platform::DirItem& item : *items) {
    if (item.kind == platform::ItemKind::Directory) continue;
    switch (item.kind) {
      case platform::ItemKind::Other:
        LogWarning("%s: not a regular file (a pipe, socket or device); skipped\n", (namePrefix + item.name).c_str());
        continue;
      case platform::ItemKind::BrokenLink:
        LogWarning("%s: a link whose target is missing; skipped\n", (namePrefix + item.name).c_str());
        continue;
      default:
        break;
    }
    if (const char* why = UnstorableItemNameReason(item.name)) {
      ReportError("%s: %s\n", PrintableName(namePrefix + item.name).c_str(), why);
      continue;
    }
    fullPath.resize(here.size());
    fullPath += item.name;
    AddFileNamed(fullPath, namePrefix + item.name);
  }
}

void Archive::AddFile(const char* fullPath) { AddFileNamed(fullPath, EntryNameFor(fullPath)); }

void Archive::AddFileNamed(const std::string& fullPath, std::string name) {
  platform::System& sys = platform::Sys();
  int error = 0;
  std::unique_ptr<platform::ByteStream> file = sys.OpenRead(fullPath, true, error);
  if (!file) {
    ReportError("%s: %s\n", name.c_str(), platform::ErrorText(error).c_str());
    return;
  }
  std::int64_t length = file->Length();
  if (length < 0) {
    ReportError("%s: %s\n", name.c_str(), platform::ErrorText(file->error()).c_str());
    return;
  }
  if (length == 0) {
    // A header of size 0 would end the archive's header list.
    LogWarning("%s: empty file; not stored, since the format cannot hold empty files\n", name.c_str());
    return;
  }
  if (length > kMaxStoredSize) {
    ReportError("%s: %lld bytes is too large to store (at most %u bytes per file)\n", name.c_str(),
                static_cast<long long>(length), kMaxStoredSize);
    return;
  }
  auto entry = std::make_unique<ArchiveEntry>();
  entry->name = std::move(name);
  entry->dataSize = static_cast<std::uint32_t>(length);
  LogPrintf("Compressing %s (%u byte%s)\n", entry->name.c_str(), entry->dataSize, entry->dataSize == 1 ? "" : "s");

  const auto size = static_cast<std::size_t>(length);
  std::uint8_t* place = data.HoldPlace(size);
  if (!place) {
    // Copied from the file when the archive is written; the open has shown
    // that it can be read.
    data.Reference(entry->dataSize, std::move(file));
    entries.push_back(std::move(entry));
    return;
  }
  // One byte more than the size learnt at the open, so that the read that
  // fills the file's place also tells whether the file grew.
  std::size_t got = file->ReadUpTo(place, size + 1);
  bool grew = got > size;
  if (got < size) {
    // A short read need not be the end: the rest is asked for, and then
    // whether anything follows it.
    got += file->Read(place + got, size - got);
    std::uint8_t extra;
    grew = got == size && file->Read(&extra, 1) == 1;
  }
  if (got != size || grew) {
    if (file->error()) {
      ReportError("%s: read error: %s\n", entry->name.c_str(), platform::ErrorText(file->error()).c_str());
    } else if (grew) {
      ReportError("%s: the file grew while it was read (it had %llu byte%s)\n", entry->name.c_str(),
                  static_cast<unsigned long long>(size), size == 1 ? "" : "s");
    } else {
      ReportError("%s: the file shrank while it was read (%llu of %llu byte%s)\n", entry->name.c_str(),
                  static_cast<unsigned long long>(got), static_cast<unsigned long long>(size), size == 1 ? "" : "s");
    }
    return;
  }
  data.Keep(entry->dataSize);
  entries.push_back(std::move(entry));
}
