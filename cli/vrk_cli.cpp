#include "cli/vrk_cli.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

// Shows the transcript as the log box would, with LF line ends. With the
// debug channel on, standard error already receives every message from it,
// so what would go there is not written a second time.
class StreamLogView final : public LogView {
 public:
  StreamLogView(std::ostream& out, std::ostream& err, bool quiet, bool interactive, bool debugToErr)
      : out_(out), err_(err), quiet_(quiet), interactive_(interactive), debugToErr_(debugToErr) {}
  ~StreamLogView() override { out_.flush(); }

  void AppendText(std::string_view text) override {
    const bool problem = text.starts_with("Error: ") || text.starts_with("Warning: ");
    if (quiet_ && !problem) return;
    std::ostream& to = quiet_ ? err_ : out_;
    if (debugToErr_ && &to == &err_) return;
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
  bool debugToErr_;
};

// Passes what is written on to another stream buffer, and keeps the
// system's reason for the first write that failed.
class CheckedBuffer final : public std::streambuf {
 public:
  explicit CheckedBuffer(std::streambuf* inner) : inner_(inner) {}
  bool failed() const { return failed_; }
  int error() const { return error_; }

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    errno = 0;
    std::streamsize written = inner_ ? inner_->sputn(text, n) : 0;
    if (written < n) Fail();
    return written;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  int sync() override {
    errno = 0;
    if (inner_ && inner_->pubsync() == 0) return 0;
    Fail();
    return -1;
  }

 private:
  void Fail() {
    if (!failed_) error_ = errno;
    failed_ = true;
  }
  std::streambuf* inner_;
  bool failed_ = false;
  int error_ = 0;
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

// A path from the command line means what it means to any other program,
// ".." included.
bool EnterFolderOf(const std::string& folder) {
  if (folder.empty()) return true;
  if (int error = platform::Sys().ChangeDirectoryAsGiven(folder)) {
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
  int error = sys.ChangeDirectoryAsGiven(path);
  platform::PathStatus status;
  if (error && mayBeNew && sys.Status(path, false, status) == 0 && !status.exists) {
    auto parts = platform::SplitFolder(path);
    if (!parts.name.empty() && parts.name != "." && parts.name != "..") {
      newName = parts.name;
      error = parts.folder.empty() ? 0 : sys.ChangeDirectoryAsGiven(parts.folder);
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

int Extract(const std::string& archivePath, ExtractOptions options, bool recover) {
  DirectoryGuard guard;
  if (!options.parentFolder.empty() && !MakeFullFolderPath(options.parentFolder, false)) return kExitFailed;
  if (!options.outputFolder.empty() && !MakeFullFolderPath(options.outputFolder, true)) return kExitFailed;
  auto [folder, name] = platform::SplitFolder(archivePath);
  if (!EnterFolderOf(folder)) return kExitFailed;
  Archive archive;
  archive.extractOptions = std::move(options);
  archive.recoverEmptyFiles = recover;
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

// One line per entry, its name shown as messages show it (control bytes as
// ^A ... ^_), so no name can break the listing's lines; then the total. An
// archive that could not be read whole lists nothing.
int List(const std::string& archivePath, bool recover, std::ostream& out) {
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  if (ListArchive(archivePath.c_str(), entries, recover) != 1) return kExitFailed;
  unsigned long long bytes = 0;
  for (const auto& entry : entries) {
    out << StringPrintf("%10u  ", entry->dataSize) << PrintableName(entry->name) << '\n';
    bytes += entry->dataSize;
  }
  out << StringPrintf("%llu file%s, %llu byte%s\n", static_cast<unsigned long long>(entries.size()),
                      entries.size() == 1 ? "" : "s", bytes, bytes == 1 ? "" : "s");
  return kExitSuccess;
}

// Names on the command line that can only be a mistake, refused before any
// work: an empty one (an unset variable), and as the archive to write one
// that names a folder.
const CLI::Validator kNotEmpty(
    [](std::string& name) { return name.empty() ? std::string("the name is empty") : std::string(); }, "", "");
const CLI::Validator kFileToWrite(
    [](std::string& name) -> std::string {
      if (name.empty()) return "the name is empty";
      if (platform::System::IsSeparator(name.back())) return "the name ends in a separator; name the file to write";
      platform::PathStatus status;
      if (platform::Sys().Status(name, true, status) == 0 && status.exists &&
          status.kind == platform::ItemKind::Directory) {
        return "a folder of that name exists; name the file to write";
      }
      return {};
    },
    "", "");

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

int Cat(const std::string& archivePath, const std::string& entryName, std::ostream& out,
        [[maybe_unused]] bool outIsStdout) {
#ifdef _WIN32
  // The entry's bytes go out as they are, without LF widened to CR LF.
  if (outIsStdout) {
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


constexpr char kExitStatusHelp[] =
    "Exit status: 0 when the run succeeded, 1 when it met errors (each one reported), 2 when the command line was "
    "not understood.";

// The message for a command line that held a word no command or option
// takes, or an empty string when the parse failed for another reason. Where
// a name is missing, the word may have been meant as that name.
std::string NotUnderstood(CLI::App& app, bool nameMissing) {
  const std::vector<std::string> left = app.remaining();
  if (left.empty()) return {};
  const std::string& word = left.front();
  std::vector<CLI::App*> chosen = app.get_subcommands();
  const std::string command = chosen.empty() ? "vrk" : "vrk " + chosen.front()->get_name();
  if (word.size() > 1 && word.front() == '-') {
    std::string message = word + ": not an option of " + command;
    if (!chosen.empty() && nameMissing) message += "; a name that begins with '-' goes after '--': " + command + " -- " + word;
    return message;
  }
  if (!chosen.empty()) return {};
  std::string message = word + ": not a command of vrk; the commands are";
  const char* separator = " ";
  for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    message += separator + sub->get_name();
    separator = ", ";
  }
  return message;
}


// outIsStdout: out writes to the process's standard output. outputChecked is
// set when the command reported its own output's failures.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive,
               bool outIsStdout, bool& outputChecked) {
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
  bool recover = false;
  constexpr char kRecoverHelp[] =
      "Read past named headers of size 0 (empty files packed by another writer) where the sizes account for the "
      "whole archive";
  CLI::App* extract = app.add_subcommand("extract", "Unpack ARCHIVE into a folder beside it, named after it");
  extract->alias("x");
  extract->add_option("ARCHIVE", archivePath, "The archive to unpack")->required()->check(kNotEmpty);
  extract->add_flag("--recover", recover, kRecoverHelp);
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
  compress->add_option("FOLDER", folderPath, "The folder to pack")->required()->check(kNotEmpty);
  compress->add_option("ARCHIVE", archivePath, "The archive to write; one that exists is replaced")
      ->required()
      ->check(kFileToWrite);
  bool sorted = false;
  compress->add_flag("--sort", sorted,
                     "Take each folder's files, then its sub-folders, in byte order of their names, so the same "
                     "tree gives the same archive on every machine");
  compress->footer("Example:\n  vrk compress --sort mod mod.vrk     the same bytes wherever it runs\n");
  CLI::App* list = app.add_subcommand("list", "Show each entry's size and name; nothing is written");
  list->alias("l");
  list->add_option("ARCHIVE", archivePath, "The archive to list")->required()->check(kNotEmpty);
  list->add_flag("--recover", recover, kRecoverHelp);
  bool json = false;
  list->add_flag("--json", json,
                 "One JSON document: each entry's name, path, size and header and data offsets, and a summary");
  list->footer("Example:\n  vrk list --json maps.vrk | jq -r '.entries[].path'\n");
  CLI::App* verify = app.add_subcommand("verify", "Check that every entry can be extracted whole; nothing is written");
  verify->alias("t");
  verify->add_option("ARCHIVE", archivePath, "The archive to check")->required()->check(kNotEmpty);
  std::string entryName;
  CLI::App* cat = app.add_subcommand("cat", "Write one entry's bytes to standard output, and nothing else");
  cat->alias("p");
  cat->add_option("ARCHIVE", archivePath, "The archive that holds the entry")->required()->check(kNotEmpty);
  cat->add_option("NAME", entryName, "The entry's name as stored, with '\\' or '/'")->required();
  cat->footer("Example:\n  vrk cat maps.vrk 'sub\\b.txt' | less\n");
  std::string secondPath;
  CLI::App* diff = app.add_subcommand(
      "diff", "Show which entries B added, removed or changed against A; exit 0 same, 1 different, 2 trouble");
  diff->add_option("A", archivePath, "The first archive")->required()->check(kNotEmpty);
  diff->add_option("B", secondPath, "The second archive")->required()->check(kNotEmpty);
  diff->footer(
      "Entries are matched by name, so order does not matter. One line each:\n"
      "  added: NAME, removed: NAME, changed: NAME (size or bytes)\n"
      "Example:\n  vrk diff release1.vrk release2.vrk\n\n"
      "Exit status: 0 when the archives hold the same entries with the same bytes, 1 when they differ, 2 when an "
      "archive could not be read whole or the command line was not understood.");

  // Every command takes the global options too, and its help shows them.
  app.footer(kExitStatusHelp);
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    sub->add_flag("--debug", debug, "Copy every message, and each extracted file's path, to standard error");
    sub->add_flag("-q,--quiet", quiet, "No transcript; error and warning lines go to standard error");
    // After the command's own examples, where it has them.
    const std::string examples = sub->get_footer();
    if (sub == diff) continue;  // diff has statuses of its own
    sub->footer(examples.empty() ? std::string(kExitStatusHelp) : examples + "\n" + kExitStatusHelp);
  }

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
    if (std::string message = NotUnderstood(app, dynamic_cast<const CLI::RequiredError*>(&e) != nullptr);
        !message.empty()) {
      err << message << "\nRun with --help for more information.\n";
    } else {
      app.exit(e, out, err);
    }
    return kExitUsage;
  }

  if (debug) platform::SetDebugOutput(true);
  const char* debugVariable = std::getenv("VRK_DEBUG");
  const bool debugToErr = debug || (debugVariable && std::strcmp(debugVariable, "1") == 0);
  if (list->parsed() || cat->parsed() || diff->parsed()) {
    // The listing owns standard output; problems go to standard error.
    StreamLogView view(err, err, false, true, debugToErr);
    ScopedLogView scoped(view);
    if (cat->parsed()) {
      outputChecked = true;  // cat reports its own write failures
      return Cat(archivePath, entryName, out, outIsStdout);
    }
    if (diff->parsed()) return Diff(archivePath, secondPath, out);
    return json ? ListJson(archivePath, out) : List(archivePath, recover, out);
  }
  StreamLogView view(out, err, quiet, interactive, debugToErr);
  ScopedLogView scoped(view);
  if (extract->parsed()) return Extract(archivePath, std::move(extractOptions), recover);
  if (compress->parsed()) return Compress(folderPath, archivePath, sorted);
  return Status(VerifyArchive(archivePath.c_str()));
}

}  // namespace

// Runs the command, then makes sure what it wrote to standard output got
// there: a listing or transcript lost to a full disk is a failure.
int RunVrk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive) {
  CheckedBuffer buffer(out.rdbuf());
  std::ostream checked(&buffer);
  bool outputChecked = false;
  int status = RunCommand(args, checked, err, interactive, &out == &std::cout, outputChecked);
  checked.flush();
  if (!outputChecked && (buffer.failed() || !out)) {
    err << "Error: standard output: "
        << (buffer.error() ? platform::ErrorText(buffer.error()) : std::string("cannot be written")) << '\n';
    err.flush();
    return status == kExitSuccess ? kExitFailed : status;
  }
  return status;
}
