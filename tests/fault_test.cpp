// Faults met while extracting and packing: full disks, refused opens, short
// reads, files and folders that change under the walk, things that are not
// files, and a process killed in the middle of writing an archive.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

struct FaultCase {
  const char* label;
  std::function<void(test::FaultySystem&)> arm;
  const char* error;
  std::map<std::string, std::string> left;  // files under maps/ afterwards
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.label; }

class ExtractFault : public testing::TestWithParam<FaultCase> {};

TEST_P(ExtractFault, IsReportedWithTheFileAndTheRunFails) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}, {"c.txt", "z"}}));
  test::FaultySystem sys;
  GetParam().arm(sys);
  platform::ScopedSystem scoped(sys);
  test::LogCapture log;
  Archive archive;
  EXPECT_EQ(archive.Extract("maps.vrk"), 0);
  std::vector<std::string> lines = log.Lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), GetParam().error), lines.end()) << log.Transcript();
  EXPECT_EQ(lines.back(), "Failed with 1 error.");
  using Tree = std::map<std::string, std::string>;
  EXPECT_EQ(test::Exists("maps") ? test::TreeOf("maps") : Tree{}, GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractFault,
    testing::Values(
        FaultCase{"archive unreadable", [](auto& s) { s.failOpen["maps.vrk"] = EACCES; },
                  "Error: maps.vrk: Permission denied", {}},
        FaultCase{"disk full", [](auto& s) { s.failWriteAfter["sub/b.txt"] = {4, ENOSPC}; },
                  "Error: sub\\b.txt: No space left on device; the incomplete file is removed", {{"a.txt", "abc"}}},
        FaultCase{"file too large", [](auto& s) { s.failWriteAfter["a.txt"] = {0, EFBIG}; },
                  "Error: a.txt: File too large; the incomplete file is removed", {}},
        FaultCase{"create refused", [](auto& s) { s.failOpen["a.txt"] = EACCES; },
                  "Error: a.txt: cannot create the file: Permission denied",
                  {{"sub/b.txt", "0123456789"}, {"c.txt", "z"}}},
        FaultCase{"folder refused", [](auto& s) { s.failMakeDir["sub"] = EACCES; },
                  "Error: sub\\b.txt: cannot create the folder sub: Permission denied", {{"a.txt", "abc"}, {"c.txt", "z"}}},
        FaultCase{"short read", [](auto& s) { s.shortReadAfter["maps.vrk"] = {110, EIO}; },
                  "Error: sub\\b.txt: read error after 4 of 10 bytes: Input/output error",
                  {{"a.txt", "abc"}, {"sub/b.txt", "0123"}}}),
    test::LabelName());

struct PackFault {
  const char* label;
  std::function<void(test::FaultySystem&)> arm;
  const char* error;
  bool copiedAtWrite = false;  // no file held: each is read when the archive is written
  bool reopened = false;       // and none kept open since the walk: each is opened again
};
void PrintTo(const PackFault& c, std::ostream* os) { *os << c.label; }

class CompressFault : public testing::TestWithParam<PackFault> {};

// Every failure is named; the walk goes on, so all of them are reported in
// one run; no archive is written and an old one is left exactly as it was.
TEST_P(CompressFault, LeavesTheExistingArchiveUntouched) {
  test::TempDir dir;
  fs::create_directories("src/sub");
  test::WriteFile("src/a.txt", "abc");
  test::WriteFile("src/sub/b.txt", "0123456789");
  test::WriteFile("src/z.txt", "last");
  test::WriteFile("out.vrk", "old archive");
  test::FaultySystem sys;
  GetParam().arm(sys);
  platform::ScopedSystem scoped(sys);
  test::Outcome packed = test::Pack(dir, "src", GetParam().copiedAtWrite ? 0 : -1, !GetParam().reopened);
  EXPECT_EQ(packed.result, 0);
  EXPECT_NE(std::find(packed.lines.begin(), packed.lines.end(), GetParam().error), packed.lines.end())
      << testing::PrintToString(packed.lines);
  EXPECT_EQ(packed.lines.back(), "Failed with 1 error; out.vrk was not written.");
  EXPECT_EQ(test::ReadFile("out.vrk"), "old archive");
  for (const auto& [path, content] : test::TreeOf(dir.path())) {
    EXPECT_EQ(path.find(".partial-"), std::string::npos) << "a temporary file was left behind";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompressFault,
    testing::Values(
        PackFault{"unreadable", [](auto& s) { s.failOpen["sub/b.txt"] = EACCES; }, "Error: sub\\b.txt: Permission denied"},
        PackFault{"read error", [](auto& s) { s.shortReadAfter["a.txt"] = {1, EIO}; },
                  "Error: a.txt: read error: Input/output error"},
        PackFault{"shrank", [](auto& s) { s.shortReadAfter["z.txt"] = {2, 0}; },
                  "Error: z.txt: the file shrank while it was read (2 of 4 bytes)"},
        PackFault{"grew", [](auto& s) { s.fakeLength["z.txt"] = 3; }, "Error: z.txt: the file grew while it was read (it had 3 bytes)"},
        PackFault{"too large", [](auto& s) { s.fakeLength["z.txt"] = 0x80000000LL; },
                  "Error: z.txt: 2147483648 bytes is too large to store (at most 2147483647 bytes per file)"},
        PackFault{"unlistable", [](auto& s) { s.failList["src/sub"] = EACCES; },
                  "Error: sub: cannot list the folder: Permission denied"},
        PackFault{"unenterable", [](auto& s) { s.failChangeDir["sub"] = EACCES; },
                  "Error: sub: cannot enter the folder: Permission denied"},
        PackFault{"disk full", [](auto& s) { s.failWriteAfter["out.vrk.partial-"] = {40, ENOSPC}; },
                  "Error: out.vrk: No space left on device"},
        PackFault{"create refused", [](auto& s) { s.failOpen["out.vrk.partial-"] = EACCES; },
                  "Error: out.vrk: cannot create the file: Permission denied"},
        PackFault{"archive may not be replaced", [](auto& s) { s.failReplace["out.vrk"] = EACCES; },
                  "Error: out.vrk: cannot replace the file: Permission denied"},
        PackFault{"rename refused", [](auto& s) { s.failRename["out.vrk"] = EXDEV; },
                  "Error: out.vrk: Invalid cross-device link"},
        // Between the walk and the write (the archive's file is created in
        // between), b.txt changes under the packer.
        PackFault{"grew after the walk", [](auto& s) { s.onCreate = [](auto&) { Append("src/sub/b.txt", "abc"); }; },
                  "Error: sub\\b.txt: the file grew since the walk (it had 10 bytes, now 13)", true},
        PackFault{"shrank after the walk", [](auto& s) { s.onCreate = [](auto&) { fs::resize_file("src/sub/b.txt", 4); }; },
                  "Error: sub\\b.txt: the file shrank since the walk (it had 10 bytes, now 4)", true},
        PackFault{"replaced after the walk",
                  [](auto& s) {
                    s.onCreate = [](auto&) {
                      test::WriteFile("src/new.txt", "9876543210");
                      fs::rename("src/new.txt", "src/sub/b.txt");
                    };
                  },
                  "Error: sub\\b.txt: the file was replaced by another since the walk", true},
        PackFault{"removed after the walk", [](auto& s) { s.onCreate = [](auto&) { fs::remove("src/sub/b.txt"); }; },
                  "Error: sub\\b.txt: the file cannot be read since the walk: No such file or directory", true},
        PackFault{"replaced after the walk, opened again",
                  [](auto& s) {
                    s.onCreate = [](auto&) {
                      test::WriteFile("src/new.txt", "9876543210");
                      fs::rename("src/new.txt", "src/sub/b.txt");
                    };
                  },
                  "Error: sub\\b.txt: the file was replaced by another since the walk", true, true},
        PackFault{"unreadable after the walk, opened again",
                  [](auto& s) { s.onCreate = [&s](auto&) { s.failOpen["sub/b.txt"] = EACCES; }; },
                  "Error: sub\\b.txt: the file cannot be read since the walk: Permission denied", true, true},
        PackFault{"shrank while copied", [](auto& s) { s.shortReadAfter["z.txt"] = {2, 0}; },
                  "Error: z.txt: the file shrank while it was copied (2 of 4 bytes)", true},
        PackFault{"read error while copied",
                  [](auto& s) { s.shortReadAfter["z.txt"] = {2, EIO}; },
                  "Error: z.txt: read error: Input/output error", true},
        PackFault{"folder vanishes during the walk",
                  [](auto& s) {
                    s.onList = [](const std::string& here) {
                      if (here.ends_with(platform::System::kNativeSeparator + std::string("src"))) fs::remove_all("sub");
                    };
                  },
                  "Error: sub: cannot enter the folder: No such file or directory"}),
    test::LabelName());

struct SkipRow {
  const char* label;
  std::function<void()> plant;  // run in src
  const char* warning;
};
void PrintTo(const SkipRow& row, std::ostream* os) { *os << row.label; }

class Skipped : public testing::TestWithParam<SkipRow> {};

// What cannot be stored is skipped with a warning, never opened, and the run
// still succeeds with everything else.
TEST_P(Skipped, WithAWarningAndTheRunSucceeds) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/real.txt", "data");
  platform::Sys().ChangeDirectory("src");
  GetParam().plant();
  platform::Sys().ChangeDirectory(dir.path());
  test::Outcome packed = test::Pack(dir);
  EXPECT_EQ(packed.result, 1);
  EXPECT_TRUE(packed.Logged(GetParam().warning)) << testing::PrintToString(packed.lines);
  EXPECT_EQ(packed.names, (std::vector<std::string>{"real.txt", ""}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Skipped,
    testing::Values(
        SkipRow{"empty file", [] { test::WriteFile("empty.txt", ""); },
                "Warning: empty.txt: empty file; not stored, since the format cannot hold empty files"}
#ifndef _WIN32
        ,
        SkipRow{"named pipe", [] { mkfifo("pipe", 0644); },
                "Warning: pipe: not a regular file (a pipe, socket or device); skipped"},
        SkipRow{"device", [] { fs::create_symlink("/dev/null", "null"); },
                "Warning: null: not a regular file (a pipe, socket or device); skipped"},
        SkipRow{"dangling link", [] { fs::create_symlink("missing-target", "dangling"); },
                "Warning: dangling: a link whose target is missing; skipped"},
        SkipRow{"link cycle", [] { fs::create_directory_symlink(".", "loop"); },
                "Warning: loop: this folder is already being packed (a link leads back into it); skipped"}
#endif
        ),
    test::LabelName());

#ifdef _WIN32
TEST(Fault, PipesDevicesAndLinksAreSkippedWithAWarning) {
  VRK_POSIX_ONLY("the rows of Table/Skipped that plant named pipes, device files and links");
}
#endif

TEST(Fault, LinkToAFileOrASecondWayIntoAFolderIsPacked) {
  VRK_POSIX_ONLY("symbolic links");
  test::TempDir dir;
  fs::create_directories("src/a");
  test::WriteFile("src/a/f.txt", "f");
  fs::create_symlink("a/f.txt", "src/link.txt");
  fs::create_directory_symlink(dir.path() + "/src/a", "src/alias");
  fs::create_directory_symlink("..", "src/a/up");
  test::Outcome packed = test::Pack(dir);
  std::sort(packed.names.begin(), packed.names.end());
  EXPECT_EQ(packed.names, (std::vector<std::string>{"", "a\\f.txt", "alias\\f.txt", "link.txt"}));
}

struct KillRow {
  const char* label;
  int signal;  // 0: as kill -9 kills
  bool leavesTemporary;
};
void PrintTo(const KillRow& row, std::ostream* os) { *os << row.label; }

class KilledWhileWriting : public testing::TestWithParam<KillRow> {};

// Killed in the middle of writing: the old archive stays as it was. After
// kill -9 the stale file left behind is named so it is never taken for an
// archive; Ctrl+C or SIGTERM remove it before the process ends.
TEST_P(KilledWhileWriting, LeavesTheOldArchive) {
  if (GetParam().signal) VRK_POSIX_ONLY("signals");
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a.txt", std::string(100000, 'a'));
  test::WriteFile("out.vrk", "old archive");
  std::function<bool(int)> killed = test::KilledAbruptly();
#ifndef _WIN32
  if (GetParam().signal) killed = testing::KilledBySignal(GetParam().signal);
#endif
  EXPECT_EXIT(
      {
        platform::InstallInterruptCleanup();
        test::FaultySystem sys;
        sys.killAfterWriting["out.vrk.partial-"] = 50000;
        sys.killSignal = GetParam().signal;
        platform::ScopedSystem scoped(sys);
        test::Pack(dir);
      },
      killed, "");
  EXPECT_EQ(test::ReadFile("out.vrk"), "old archive");
  std::vector<std::string> stale;
  for (const auto& item : fs::directory_iterator(dir.path())) {
    std::string name = item.path().filename().string();
    if (name.starts_with("out.vrk.partial-")) stale.push_back(name);
  }
  ASSERT_EQ(stale.size(), GetParam().leavesTemporary ? 1u : 0u);
  for (const std::string& name : stale) EXPECT_FALSE(name.ends_with(".vrk"));
  EXPECT_EQ(test::Pack(dir).result, 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes::Of({{"a.txt", std::string(100000, 'a')}}));
}

INSTANTIATE_TEST_SUITE_P(Table, KilledWhileWriting,
                         testing::Values(KillRow{"kill -9", 0, true}, KillRow{"Ctrl+C", SIGINT, false},
                                         KillRow{"SIGTERM", SIGTERM, false}),
                         test::LabelName());

class KernelCopyRefused : public testing::TestWithParam<int> {};

// Where the file system refuses the kernel's file-to-file copy, packing and
// extracting copy through memory instead, with the same bytes.
TEST_P(KernelCopyRefused, FallsBackToReadsAndWritesWithTheSameBytes) {
  VRK_POSIX_ONLY("the kernel's file-to-file copy");
  test::TempDir dir;
  fs::create_directory("src");
  std::string big(300001, '\0');  // copied by the kernel where it can
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  test::WriteFile("src/big.bin", big);
  test::WriteFile("src/a.txt", "abc");
  test::FaultySystem sys;
  sys.refuseKernelCopy = GetParam();
  sys.listOrder["src"] = {"big.bin", "a.txt"};
  platform::ScopedSystem scoped(sys);
  ASSERT_EQ(test::Pack(dir, "src", 0).result, 1);
  EXPECT_TRUE(test::ReadFile("out.vrk") == ArchiveBytes::Of({{"big.bin", big}, {"a.txt", "abc"}}));
  test::LogCapture log;
  ASSERT_EQ(Archive().Extract("out.vrk"), 1);
  EXPECT_TRUE(test::ReadFile("out/big.bin") == big);
  EXPECT_EQ(test::ReadFile("out/a.txt"), "abc");
  EXPECT_EQ(sys.kernelCopies, 4);  // a part, then a refusal, for each direction
}

INSTANTIATE_TEST_SUITE_P(Errors, KernelCopyRefused, testing::Values(EXDEV, EINVAL, ENOSYS, EOPNOTSUPP));

}  // namespace
