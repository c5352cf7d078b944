// Helpers of the engine tests: archives built byte by byte, a fresh folder, the log, a platform that fails on request.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "log/log.h"
#include "platform/platform.h"

// Ends a test that needs what only POSIX systems have, and says what it was.
#ifdef _WIN32
#define VRK_POSIX_ONLY(what) GTEST_SKIP() << "POSIX only: " << (what)
#else
#define VRK_POSIX_ONLY(what) static_cast<void>(0)
#endif

namespace test {

// Builds archive bytes: headers, data, trailer, or anything else.
class ArchiveBytes {
 public:
  ArchiveBytes& Header(const std::string& name, std::uint32_t size);
  ArchiveBytes& Terminator() { return Header("", 0); }
  ArchiveBytes& Signature() { return Raw(ArchiveSignature); }
  ArchiveBytes& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  // A complete archive: headers, terminator, contents and trailer.
  static std::string Of(const std::vector<std::pair<std::string, std::string>>& files);
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

// A fresh folder made current for the life of the object, then removed; on Linux, descriptors or limits changed fail.
class TempDir {
 public:
  explicit TempDir(bool checkHeld = true);
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string saved_;
  bool borrowed_ = false;  // the folder of the parent of a death test (Windows)
  std::string held_;       // the descriptors and limits the test began with; empty: not checked
};

// Collects the log transcript as the box shows it (CR LF as LF).
class LogCapture : public LogView {
 public:
  LogCapture() : previous_(g_pMainDialog) { g_pMainDialog = this; }
  ~LogCapture() override { g_pMainDialog = previous_; }
  void AppendText(std::string_view text) override { boxText_ += text; }
  int GetLineCount() override { return 0; }
  void LineScroll(int) override {}
  void UpdateWindow() override {}
  const std::string& BoxText() const { return boxText_; }
  std::string Transcript() const;
  std::vector<std::string> Lines() const;

 private:
  std::string boxText_;
  LogView* previous_;
};

// What an extraction or packing run returned and logged.
struct Outcome {
  int result;
  std::vector<std::string> lines;
  std::vector<std::string> names;  // packing: the entries, terminator last
  bool Logged(const std::string& line) const { return std::ranges::find(lines, line) != lines.end(); }
};

// Whether the system takes a current directory longer than MAX_PATH (Windows: with long paths enabled).
bool LongCurrentDirectories();
// Tells a process ended by a kKill rule, for EXPECT_EXIT.
std::function<bool(int)> KilledAbruptly(int signal = 0);

// Writes bytes as archiveName in the current folder and extracts it.
Outcome ExtractBytes(const std::string& archiveName, const std::string& bytes, const ExtractOptions& options = {},
                     bool recoverEmptyFiles = false);
// Packs dir/folder into dir/out.vrk, with dir current; a limit below 0 keeps the archive's own.
Outcome Pack(const TempDir& dir, const std::string& folder = "src", long holdBudget = -1, long keepOpenUpTo = -1);

// Names the cases of a parameterised table after their rows' `label`.
struct LabelName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    std::string name = info.param.label;
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
  }
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Every regular file below a folder, relative path -> content.
std::map<std::string, std::string> TreeOf(const std::string& folder);
// Everything below a folder but `except`, links not followed, named as the platform layer lists them (Windows: in the
// system's code page): relative path -> content, "<dir>" or "<link>".
std::map<std::string, std::string> Snapshot(const std::string& folder, const std::string& except = "\n");

// Extracts bytes as dir/a/b/out/maps.vrk after setup ran in a/b/out, and checks that nothing outside a/b/out/maps
// changed, that "All done!" ends exactly a run returning 1, and that it wrote every file with its bytes; dir current.
Outcome ExtractChecked(const TempDir& dir, const std::string& bytes,
                       const std::function<void()>& setup = [] {}, const ExtractOptions& options = {});

// The real platform with faults where a rule's path ('/' for '\\') is part of the path (kList: the current directory;
// kRename: the new name). kOpen to kReplace and kClose fail with `error`; at `bytes`, kWrite fails writes, kRead ends
// reads (with `error` if any), kSplit cuts the first read, kLength is the length, kKill kills (-9 or signal `error`).
class FaultySystem : public platform::System {
 public:
  enum What { kOpen, kChangeDir, kList, kRename, kReplace, kWrite, kRead, kSplit, kLength, kKill, kClose };
  struct Rule {
    What what;
    std::string path;
    std::int64_t bytes;
    int error;
  };
  std::vector<Rule> rules;
  std::map<std::string, std::vector<std::string>> listOrder;  // a folder's name -> the order its items are listed in
  std::function<void(const std::string&)> onCreate;  // called with the path before a file is created or rules match
  int refuseKernelCopy = 0;  // the kernel's file copy moves a part, then refuses with this error (0: it copies)
  int kernelCopies = 0;      // the kernel copies asked for
  std::vector<std::string> debugOutput;
  const Rule* Find(What what, const std::string& path) const;
  std::unique_ptr<platform::ByteStream> OpenRead(const std::string& path, bool regularOnly, int& error) override {
    return Open(path, error, [&] { return System::OpenRead(path, regularOnly, error); });
  }
  std::unique_ptr<platform::ByteStream> CreateNew(const std::string& path, int& error) override {
    if (onCreate) onCreate(path);
    return Open(path, error, [&] { return System::CreateNew(path, error); });
  }
  std::unique_ptr<platform::ByteStream> CreateReplacement(const std::string& path, const platform::ReplaceTarget& like,
                                                          int& error) override;
  int FindReplaceTarget(const std::string& p, platform::ReplaceTarget& t) override {
    return Or(kReplace, p, [&] { return System::FindReplaceTarget(p, t); });
  }
  int ChangeDirectory(const std::string& p) override {
    return Or(kChangeDir, p, [&] { return System::ChangeDirectory(p); });
  }
  int Rename(const std::string& from, const std::string& to) override {
    return Or(kRename, to, [&] { return System::Rename(from, to); });
  }
  int ListDirectory(const std::string& path, std::vector<platform::DirItem>& items) override;
  std::int64_t KernelCopy(int from, int to, std::size_t n, int& error) override;
  void DebugOutput(std::string_view text) override { debugOutput.emplace_back(text); }

 private:
  int Or(What what, const std::string& path, const std::function<int()>& call) const {
    const Rule* rule = Find(what, path);
    return rule ? rule->error : call();
  }
  std::unique_ptr<platform::ByteStream> Open(const std::string& path, int& error,
                                             const std::function<std::unique_ptr<platform::ByteStream>()>& open);
};

}  // namespace test
