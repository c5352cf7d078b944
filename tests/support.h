// Helpers shared by the engine tests: archives built byte by byte, a fresh
// folder per test, the captured log and a platform that fails on request.
#pragma once

#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "log/log.h"
#include "platform/platform.h"

// Ends a test that needs what only POSIX systems have (links, pipes, the
// emulated logical current directory), and says what it was.
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
  ArchiveBytes& Signature();
  ArchiveBytes& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  // Headers for each (name, content) pair, the terminator, the contents and
  // the trailer: a complete archive.
  static std::string Of(const std::vector<std::pair<std::string, std::string>>& files);
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

// A fresh folder made current for the life of the object, then removed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string saved_;
  bool borrowed_ = false;  // the folder of the parent of a death test (Windows)
};

// Collects the log transcript as the box shows it (CR LF as LF).
class LogCapture : public LogView {
 public:
  LogCapture();
  ~LogCapture() override;
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
  bool Logged(const std::string& line) const;
};

// Whether the system takes a current directory longer than MAX_PATH: on
// Windows only with long paths enabled; always elsewhere.
bool LongCurrentDirectories();

// Tells a process ended as kill -9 ends it (by killAfterWriting below), for
// EXPECT_EXIT.
std::function<bool(int)> KilledAbruptly();

// Writes bytes as archiveName in the current folder and extracts it.
Outcome ExtractBytes(const std::string& archiveName, const std::string& bytes, const ExtractOptions& options = {},
                     bool recoverEmptyFiles = false);
// Packs dir/folder into dir/out.vrk, with dir current;
// a holdBudget of 0 copies every file at the write instead of holding any.
Outcome Pack(const TempDir& dir, const std::string& folder = "src", long holdBudget = -1, bool keepOpen = true);

// Names the cases of a parameterised table after their rows' `label`.
struct LabelName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    std::string name = info.param.label;
    for (char& c : name) {
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
  }
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Every regular file below a folder, relative path -> content.
std::map<std::string, std::string> TreeOf(const std::string& folder);
// Everything below a folder, links not followed: relative path -> content,
// "<dir>" or "<link>", leaving out the path `except` and all below it.
std::map<std::string, std::string> Snapshot(const std::string& folder, const std::string& except = "\n");

// Extracts bytes as a/b/out/maps.vrk below dir (so a name that climbs lands
// inside dir) after setup has run in a/b/out, and checks what must hold for
// any input: nothing outside the output folder changed; the run ends with
// "All done!" exactly when it returns 1; and a success wrote every file the
// archive holds, with its bytes. Leaves dir current. options may place the
// output elsewhere as long as it ends up in a/b/out/maps.
Outcome ExtractChecked(const TempDir& dir, const std::string& bytes,
                       const std::function<void()>& setup = [] {}, const ExtractOptions& options = {});

// The real platform, with failures injected where a rule matches: a rule
// names a substring of the path, written with '/' for either separator, and
// the error to fail with.
class FaultySystem : public platform::System {
 public:
  std::map<std::string, int> failOpen;         // OpenRead and CreateNew
  std::map<std::string, int> failMakeDir;
  std::map<std::string, int> failChangeDir;
  std::map<std::string, int> failList;
  std::map<std::string, int> failRename;
  std::map<std::string, int> failReplace;  // FindReplaceTarget, by the path asked about
  // Writes to a matching file fail with the error once this many bytes went.
  std::map<std::string, std::pair<std::size_t, int>> failWriteAfter;
  // Reads from a matching file end (cleanly, or with the error) after this many bytes.
  std::map<std::string, std::pair<std::size_t, int>> shortReadAfter;
  // The first read of a matching file stops after this many bytes, though
  // more follow (as a read of a pipe or a network file may).
  std::map<std::string, std::size_t> splitFirstRead;
  // Length() of a matching file reports this instead.
  std::map<std::string, std::int64_t> fakeLength;
  // The order in which a folder's items are listed, by folder name.
  std::map<std::string, std::vector<std::string>> listOrder;
  // Writing to a matching file kills the process (as kill -9 would) once
  // this many bytes went.
  std::map<std::string, std::size_t> killAfterWriting;
  int killSignal = 0;  // POSIX: the signal raised instead of SIGKILL
  // Called with the current directory after each listing, before the walk
  // acts on it.
  std::function<void(const std::string&)> onList;
  // Called with the path before each file is created (CreateNew and
  // CreateReplacement), before any rule is matched.
  std::function<void(const std::string&)> onCreate;
  // The kernel's file-to-file copy refuses with this error (0: it copies).
  int refuseKernelCopy = 0;
  int kernelCopies = 0;  // the kernel copies asked for
  std::vector<std::string> debugOutput;

  std::unique_ptr<platform::ByteStream> OpenRead(const std::string& path, bool regularOnly, int& error) override;
  std::unique_ptr<platform::ByteStream> CreateNew(const std::string& path, int& error) override;
  int FindReplaceTarget(const std::string& path, platform::ReplaceTarget& target) override;
  std::unique_ptr<platform::ByteStream> CreateReplacement(const std::string& path, const platform::ReplaceTarget& like,
                                                          int& error) override;
  int MakeDirectory(const std::string& path) override;
  int ChangeDirectory(const std::string& path) override;
  int ChangeDirectoryAsGiven(const std::string& path) override;
  int ListDirectory(const std::string& path, std::vector<platform::DirItem>& items) override;
  int Rename(const std::string& from, const std::string& to) override;
  std::int64_t KernelCopy(int from, int to, std::size_t n, int& error) override;
  void DebugOutput(std::string_view text) override { debugOutput.emplace_back(text); }

 private:
  std::unique_ptr<platform::ByteStream> Wrap(std::unique_ptr<platform::ByteStream> stream, const std::string& path);
};

}  // namespace test
