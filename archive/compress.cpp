// Packing a folder tree into an archive file.
#include <cerrno>
#include <random>

#include "archive/archive.h"
#include "archive/report.h"

namespace {

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && platform::System::IsSeparator(path.back())) path.pop_back();
  return path;
}

// A fresh name beside the archive. It never ends in ".vrk", so a file left
// behind by a killed run is not taken for an archive.
std::string TemporaryName(const std::string& archivePath) {
  static std::mt19937_64 random{std::random_device{}()};
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = archivePath + ".partial-";
  for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

}  // namespace

int Archive::CompressPath(const char* archivePath, const char* folder) {
  platform::System& sys = platform::Sys();
  errorCount = 0;
  walkBroken_ = false;
  walkStack_.clear();
  const std::string notWritten = StringPrintf("; %s was not written", archivePath);
  LogPrintf("Compressing path %s into %s...\n", folder, archivePath);

  // Files the walk opens and does not read stay open for the write, as far
  // as the limit of open files allows; whatever the outcome, they are
  // closed before the limit goes back.
  platform::OpenFileAllowance allowance;
  struct ClosedAtTheEnd {
    PackedData& data;
    ~ClosedAtTheEnd() { data.clear(); }
  } closed{data};
  data.AllowOpen(allowance.files());
  const std::string saved = sys.CurrentDirectory();
  rootPrefix = folder;
  if (int error = sys.ChangeDirectoryAsGiven(folder)) {
    ReportError("%s: cannot enter the folder: %s\n", folder, platform::ErrorText(error).c_str());
    return ConcludeRun(errorCount, notWritten);
  }
  // Names are cut from the paths the platform reports below the folder; a
  // folder given in another form (relative, or through "..") is taken in the
  // reported form so that no name loses or keeps a character it should not.
  const std::string reported = sys.CurrentDirectory();
  if (WithoutTrailingSeparators(reported) != WithoutTrailingSeparators(rootPrefix)) rootPrefix = reported;

  WalkFolders();

  if (int error = sys.ChangeDirectory(saved)) {
    ReportError("%s: cannot go back to the folder: %s\n", saved.c_str(), platform::ErrorText(error).c_str());
  }
  entries.push_back(std::make_unique<ArchiveEntry>());  // the terminator
  if (errorCount != 0) return ConcludeRun(errorCount, notWritten);

  LogPrintf("OK!\n");
  LogPrintf("Saving %s...\n", archivePath);
  WriteArchiveFile(archivePath);
  return ConcludeRun(errorCount, notWritten);
}

bool Archive::WriteArchiveFile(const std::string& archivePath) {
  platform::System& sys = platform::Sys();
  // The archive is written under a fresh name and renamed into place only
  // once every byte is written and closed, so a failure (or a kill) never
  // damages an archive that already has the name. The rename must not do
  // what opening the file for writing could not: a file the user may not
  // write is refused, a link is written through to its target (the new
  // file goes beside the target), and the new file keeps the old one's
  // permissions.
  platform::ReplaceTarget target;
  if (int refused = sys.FindReplaceTarget(archivePath, target)) {
    ReportError("%s: cannot replace the file: %s\n", archivePath.c_str(), platform::ErrorText(refused).c_str());
    return false;
  }
  std::string temporary;
  std::unique_ptr<platform::ByteStream> out;
  int error = 0;
  for (int attempt = 0; attempt < 100 && !out; ++attempt) {
    temporary = TemporaryName(target.path);
    out = sys.CreateReplacement(temporary, target, error);
    if (!out && error != EEXIST) break;
  }
  if (!out) {
    ReportError("%s: cannot create the file: %s\n", archivePath.c_str(), platform::ErrorText(error).c_str());
    return false;
  }
  // Ctrl+C or a SIGTERM while the bytes go out removes the temporary file.
  platform::RemovedOnInterrupt pending(temporary);

  bool written = true;
  for (const auto& entry : entries) {
    if (!entry->WriteEntryHeader(*out)) {
      written = false;
      break;
    }
  }
  bool sourceFailed = false;
  if (written) written = WriteDataBlock(*out, sourceFailed);
  data.clear();
  written = written && out->Write(ArchiveSignature, kArchiveSignatureSize);
  if (!written || !out->Close()) {
    if (!sourceFailed) ReportError("%s: %s\n", archivePath.c_str(), platform::ErrorText(out->error()).c_str());
    out.reset();
    sys.RemoveFile(temporary);
    return false;
  }
  if (int renamed = sys.Rename(temporary, target.path)) {
    ReportError("%s: %s\n", archivePath.c_str(), platform::ErrorText(renamed).c_str());
    sys.RemoveFile(temporary);
    return false;
  }
  return true;
}
