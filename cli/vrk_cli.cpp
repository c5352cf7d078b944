#include "cli/vrk_cli.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "archive/archive.h"
#include "archive/list_verify.h"
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

int Extract(const std::string& archivePath) {
  DirectoryGuard guard;
  auto [folder, name] = platform::SplitFolder(archivePath);
  if (!EnterFolderOf(folder)) return kExitFailed;
  Archive archive;
  return Status(archive.Extract(name.c_str()));
}

int Compress(const std::string& folderPath, const std::string& archivePath) {
  DirectoryGuard guard;
  // The folder's full path, as the platform reports it once it is current.
  if (!EnterFolderOf(folderPath)) return kExitFailed;
  const std::string fullFolder = platform::Sys().CurrentDirectory();
  platform::Sys().ChangeDirectory(guard.saved());
  auto [folder, name] = platform::SplitFolder(archivePath);
  if (!EnterFolderOf(folder)) return kExitFailed;
  Archive archive;
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

}  // namespace

int RunVrk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive) {
  CLI::App app{"Extracts, packs, lists and verifies VRK archives.", "vrk"};
  // The build gives the project's version as VRK_VERSION.
  app.set_version_flag("--version", "vrk " VRK_VERSION " (Korvane VRK Tool, archive format v1.01a)");
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
  CLI::App* compress = app.add_subcommand("compress", "Pack every file below FOLDER into ARCHIVE");
  compress->alias("c");
  compress->add_option("FOLDER", folderPath, "The folder to pack")->required();
  compress->add_option("ARCHIVE", archivePath, "The archive to write")->required();
  CLI::App* list = app.add_subcommand("list", "Show each entry's size and name; nothing is written");
  list->alias("l");
  list->add_option("ARCHIVE", archivePath, "The archive to list")->required();
  CLI::App* verify = app.add_subcommand("verify", "Check that every entry can be extracted whole; nothing is written");
  verify->alias("t");
  verify->add_option("ARCHIVE", archivePath, "The archive to check")->required();

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
  if (list->parsed()) {
    // The listing owns standard output; problems go to standard error.
    StreamLogView view(err, err, false, true);
    ScopedLogView scoped(view);
    return List(archivePath, out);
  }
  StreamLogView view(out, err, quiet, interactive);
  ScopedLogView scoped(view);
  if (extract->parsed()) return Extract(archivePath);
  if (compress->parsed()) return Compress(folderPath, archivePath);
  return Status(VerifyArchive(archivePath.c_str()));
}
