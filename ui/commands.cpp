#include "ui/commands.h"

#include "archive/archive.h"
#include "log/log.h"
#include "platform/platform.h"

namespace {

// The file dialogs of other systems make the chosen file's folder current
// themselves; ours leave the current directory alone, so the command does it.
// Answers the bare name to pass on, or false (reported) when the folder
// cannot be entered: a bare name would then point into the wrong folder.
bool EnterFolderOf(const std::string& chosenPath, std::string& fileName) {
  platform::PathParts parts = platform::SplitFolder(chosenPath);
  if (!parts.folder.empty()) {
    const int error = platform::Sys().ChangeDirectoryAsGiven(parts.folder);
    if (error != 0) {
      LogPrintf("Error: %s: cannot enter the folder: %s\n", parts.folder.c_str(), platform::ErrorText(error).c_str());
      return false;
    }
  }
  fileName = std::move(parts.name);
  return true;
}

}  // namespace

void ExtractCommand(WindowServices& services) {
  Archive archive;
  const std::string startFolder = platform::Sys().CurrentDirectory();

  FileDialogRequest request;
  request.title = kExtractTitle;
  request.initialFolder = startFolder;
  std::string chosenPath;
  if (!services.GetOpenFileName(request, chosenPath)) return;

  std::string fileName;
  if (!EnterFolderOf(chosenPath, fileName)) return;
  archive.Extract(fileName.c_str());
}

void CompressCommand(WindowServices& services) {
  Archive archive;
  const std::string startFolder = platform::Sys().CurrentDirectory();

  std::string folder;
  if (services.BrowseForFolder(folder, kCompressTitle, "", startFolder.c_str()) != 1) return;

  // The save dialog starts where the command started, not in the folder
  // just chosen.
  FileDialogRequest request;
  request.title = kSaveTitle;
  request.initialFolder = startFolder;
  std::string chosenPath;
  if (!services.GetSaveFileName(request, chosenPath)) return;

  std::string fileName;
  if (!EnterFolderOf(chosenPath, fileName)) return;
  archive.CompressPath(fileName.c_str(), folder.c_str());
}
