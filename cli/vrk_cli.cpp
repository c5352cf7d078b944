#include "cli/vrk_cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <iostream>
#include <ostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "archive/archive.h"
#include "archive/diff.h"
#include "archive/entry_name.h"
#include "archive/list_verify.h"
#include "archive/listing.h"
#include "cli/list_json.h"
#include "log/log.h"
#include "platform/platform.h"

namespace {

// Shows the transcript as the log box would, with LF line ends.
class StreamLogView final : public LogView {
 public:
  StreamLogView(std::ostream& out, std::ostream& err, bool quiet, bool interactive)
      : out_(out), err_(err), quiet_(quiet), interactive_(interactive) {}
  ~StreamLogView() override { out_.flush(); }

  void AppendText(std::string_view text) override {
    const bool problem = text.starts_with("Error: ") || text.starts_with("Warning: ");
    if (quiet_ && !problem) return;
    std::ostream& to = quiet_ ? err_ : out_;
    // The log's own CR before each LF goes; any other CR stays.
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find("\r\n", at);
      if (end == std::string_view::npos) end = text.size();
      to.write(text.data() + at, static_cast<std::streamsize>(end - at));
      at = end + 1;  // on to the LF
    }
    if (quiet_ || interactive_) to.flush();
  }
  int GetLineCount() override { return 0; }
  void LineScroll(int) override {}
  void UpdateWindow() override {}

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool quiet_;
  bool interactive_;
};

// Registers a view for the life of one run and puts the previous one back.
class ScopedLogView {
 public:
  explicit ScopedLogView(LogView& view) : previous_(g_pMainDialog) { g_pMainDialog = &view; }
  ~ScopedLogView() { g_pMainDialog = previous_; }

 private:
  LogView* previous_;
};

// Restores the current directory when a command returns.
class DirectoryGuard {
 public:
  DirectoryGuard() : saved_(platform::Sys().CurrentDirectory()) {}
  ~DirectoryGuard() { platform::Sys().ChangeDirectory(saved_); }
  const std::string& saved() const { return saved_; }

 private:
  std::string saved_;
};

bool EnterFolderOf(const std::string& folder) {
  if (folder.empty()) return true;
  if (int error = platform::Sys().ChangeDirectory(folder)) {
    LogPrintf("Error: %s: %s\n", folder.c_str(), platform::ErrorText(error).c_str());
    return false;
  }
  return true;
}

int Status(int result) { return result == 1 ? kExitSuccess : kExitFailed; }

// Turns a folder the user named into a full path, taken from the folder the
// command started in. A folder that mayBeNew need not exist yet; the folder
// it goes in must.
bool MakeFullFolderPath(std::string& path, bool mayBeNew) {
  platform::System& sys = platform::Sys();
  const std::string start = sys.CurrentDirectory();
  std::string newName;
  int error = sys.ChangeDirectory(path);
  platform::PathStatus status;
  if (error && mayBeNew && sys.Status(path, false, status) == 0 && !status.exists) {
    auto parts = platform::SplitFolder(path);
    if (!parts.name.empty() && parts.name != "." && parts.name != "..") {
      newName = parts.name;
      error = parts.folder.empty() ? 0 : sys.ChangeDirectory(parts.folder);
    }
  }
  if (error) {
    LogPrintf("Error: %s: %s\n", path.c_str(), platform::ErrorText(error).c_str());
    return false;
  }
  path = sys.CurrentDirectory();
  if (!newName.empty()) {
    if (!platform::System::IsSeparator(path.back())) path += platform::System::kNativeSeparator;
    path += newName;
  }
  sys.ChangeDirectory(start);
  return true;
}

int Extract(const std::string& archivePath, ExtractOptions options) {
  DirectoryGuard guard;
  if (!options.parentFolder.empty() && !MakeFullFolderPath(options.parentFolder, false)) return kExitFailed;
  if (!options.outputFolder.empty() && !MakeFullFolderPath(options.outputFolder, true)) return kExitFailed;
  auto [folder, name] = platform::SplitFolder(archivePath);
  if (!EnterFolderOf(folder)) return kExitFailed;
  Archive archive;
  archive.extractOptions = std::move(options);
  return Status(archive.Extract(name.c_str()));
}

int Compress(const std::string& folderPath, const std::string& archivePath, bool sorted) {
  DirectoryGuard guard;
  // The folder's full path, as the platform reports it once it is current.
  if (!EnterFolderOf(folderPath)) return kExitFailed;
  const std::string fullFolder = platform::Sys().CurrentDirectory();
  platform::Sys().ChangeDirectory(guard.saved());
  auto [folder, name] = platform::SplitFolder(archivePath);
  if (!EnterFolderOf(folder)) return kExitFailed;
  Archive archive;
  archive.sortListings = sorted;
  return Status(archive.CompressPath(name.c_str(), fullFolder.c_str()));
}

int List(const std::string& archivePath, std::ostream& out) {
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  int result = ListArchive(archivePath.c_str(), entries);
  unsigned long long bytes = 0;
  for (const auto& entry : entries) {
    out << StringPrintf("%10u  ", entry->dataSize) << entry->name << '\n';
    bytes += entry->dataSize;
  }
  out << StringPrintf("%llu file%s, %llu bytes\n", static_cast<unsigned long long>(entries.size()), entries.size() == 1 ? "" : "s", bytes);
  return Status(result);
}

int ListJson(const std::string& archivePath, std::ostream& out) {
  ArchiveListing listing;
  int result = ReadListing(archivePath.c_str(), listing);
  if (listing.opened) PrintListingJson(archivePath, listing, out);
  return Status(result);
}

// Bytes to a standard stream, for entry data.
class OstreamByteStream final : public platform::ByteStream {
 public:
  explicit OstreamByteStream(std::ostream& out) : out_(out) {}
  std::size_t Read(void*, std::size_t) override { return 0; }
  int GetByte() override { return -1; }
  bool Write(const void* buffer, std::size_t n) override {
    errno = 0;
    out_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(n));
    return Check();
  }
  bool Close() override {
    errno = 0;
    out_.flush();
    return Check();
  }
  std::int64_t Length() override { return -1; }
  int error() const override { return error_; }

 private:
  bool Check() {
    if (out_.good()) return true;
    if (error_ == 0) error_ = errno ? errno : EIO;
    return false;
  }
  std::ostream& out_;
  int error_ = 0;
};

int Cat(const std::string& archivePath, const std::string& entryName, std::ostream& out) {
#ifdef _WIN32
  // The entry's bytes go out as they are, without LF widened to CR LF.
  if (&out == &std::cout) {
    std::cout.flush();
    _setmode(_fileno(stdout), _O_BINARY);
  }
#endif
  OstreamByteStream stream(out);
  int result = WriteEntryData(archivePath.c_str(), entryName, stream, "standard output");
  if (!stream.Close() && result) {
    LogPrintf("Error: standard output: %s\n", platform::ErrorText(stream.error()).c_str());
    result = 0;
  }
  return Status(result);
}

// diff's own statuses, as diff(1) has them.
constexpr int kDiffSame = 0;
constexpr int kDiffDiffers = 1;
constexpr int kDiffTrouble = 2;

int Diff(const std::string& first, const std::string& second, std::ostream& out) {
  std::vector<EntryDifference> differences;
  if (!DiffArchives(first.c_str(), second.c_str(), differences)) return kDiffTrouble;
  for (const EntryDifference& difference : differences) {
    static constexpr const char* kWords[] = {"added", "removed", "changed"};
    out << kWords[difference.kind] << ": " << PrintableName(difference.name) << '\n';
  }
  out.flush();
  return differences.empty() ? kDiffSame : kDiffDiffers;
}

}  // namespace

int RunVrk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive) {
  CLI::App app{"Extracts, packs, lists and verifies VRK archives.", "vrk"};
  app.set_version_flag("--version", "vrk 1.0.0.1 (Korvane VRK Tool, archive format v1.01a)");
  app.require_subcommand(1);
  app.fallthrough();  // the options may follow the command too
  bool debug = false;
  bool quiet = false;
  app.add_flag("--debug", debug, "Copy every message, and each extracted file's path, to standard error");
  app.add_flag("-q,--quiet", quiet, "No transcript; error and warning lines go to standard error");

  std::string archivePath;
  std::string folderPath;
  CLI::App* extract = app.add_subcommand("extract", "Unpack ARCHIVE into a folder beside it, named after it");
  extract->alias("x");
  extract->add_option("ARCHIVE", archivePath, "The archive to unpack")->required();
  ExtractOptions extractOptions;
  extract->add_option("NAME", extractOptions.patterns,
                      "Only the entries with these names; '*', '?' and [...] match as in the shell, within one "
                      "folder level, '\\' and '/' alike; a folder's name takes all below it");
  CLI::Option* into = extract->add_option("-C,--directory", extractOptions.parentFolder,
                                          "Make the folder named after the archive inside DIR, not beside the archive")
                          ->type_name("DIR");
  extract->add_option("-o,--output", extractOptions.outputFolder, "Put the entries straight into DIR (made if missing)")
      ->type_name("DIR")
      ->excludes(into);
  extract->footer(
      "Examples:\n"
      "  vrk extract maps.vrk -C out          makes out/maps and unpacks into it\n"
      "  vrk extract maps.vrk -o work         unpacks straight into work\n"
      "  vrk extract maps.vrk 'sub\\b.txt' '*.txt' 'tex/*.dds'\n"
      "                                       only those entries; a name no entry has is an error\n");
  CLI::App* compress = app.add_subcommand("compress", "Pack every file below FOLDER into ARCHIVE");
  compress->alias("c");
  compress->add_option("FOLDER", folderPath, "The folder to pack")->required();
  compress->add_option("ARCHIVE", archivePath, "The archive to write")->required();
  bool sorted = false;
  compress->add_flag("--sort", sorted,
                     "Take each folder's files, then its sub-folders, in byte order of their names, so the same "
                     "tree gives the same archive on every machine");
  compress->footer("Example:\n  vrk compress --sort mod mod.vrk     the same bytes wherever it runs\n");
  CLI::App* list = app.add_subcommand("list", "Show each entry's size and name; nothing is written");
  list->alias("l");
  list->add_option("ARCHIVE", archivePath, "The archive to list")->required();
  bool json = false;
  list->add_flag("--json", json,
                 "One JSON document: each entry's name, path, size and header and data offsets, and a summary");
  list->footer("Example:\n  vrk list --json maps.vrk | jq -r '.entries[].path'\n");
  CLI::App* verify = app.add_subcommand("verify", "Check that every entry can be extracted whole; nothing is written");
  verify->alias("t");
  verify->add_option("ARCHIVE", archivePath, "The archive to check")->required();
  std::string entryName;
  CLI::App* cat = app.add_subcommand("cat", "Write one entry's bytes to standard output, and nothing else");
  cat->alias("p");
  cat->add_option("ARCHIVE", archivePath, "The archive that holds the entry")->required();
  cat->add_option("NAME", entryName, "The entry's name as stored, with '\\' or '/'")->required();
  cat->footer("Example:\n  vrk cat maps.vrk 'sub\\b.txt' | less\n");
  std::string secondPath;
  CLI::App* diff = app.add_subcommand(
      "diff", "Show which entries B added, removed or changed against A; exit 0 same, 1 different, 2 trouble");
  diff->add_option("A", archivePath, "The first archive")->required();
  diff->add_option("B", secondPath, "The second archive")->required();
  diff->footer(
      "Entries are matched by name, so order does not matter. One line each:\n"
      "  added: NAME, removed: NAME, changed: NAME (size or bytes)\n"
      "Example:\n  vrk diff release1.vrk release2.vrk\n");

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    app.exit(e, out, err);
    return kExitUsage;
  }

  if (debug) platform::SetDebugOutput(true);
  if (list->parsed() || cat->parsed() || diff->parsed()) {
    // The listing owns standard output; problems go to standard error.
    StreamLogView view(err, err, false, true);
    ScopedLogView scoped(view);
    if (cat->parsed()) return Cat(archivePath, entryName, out);
    if (diff->parsed()) return Diff(archivePath, secondPath, out);
    return json ? ListJson(archivePath, out) : List(archivePath, out);
  }
  StreamLogView view(out, err, quiet, interactive);
  ScopedLogView scoped(view);
  if (extract->parsed()) return Extract(archivePath, std::move(extractOptions));
  if (compress->parsed()) return Compress(folderPath, archivePath, sorted);
  return Status(VerifyArchive(archivePath.c_str()));
}
