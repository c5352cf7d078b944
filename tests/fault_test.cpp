// Faults met while extracting and packing, what the walk skips, and a process killed while writing an archive.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "tests/support.h"

namespace fs = std::filesystem;
using enum test::FaultySystem::What;

namespace {

// kAtWrite holds a.txt and z.txt (the budget is their size exactly) and reads sub/b.txt when the
// archive is written, after the row's change; kReopen also keeps none open, and arms the rules then.
enum Run { kExtract, kPack, kAtWrite, kReopen };
struct Row {
  const char* label;
  Run run;
  std::vector<test::FaultySystem::Rule> rules;
  std::string error;                             // logged after "Error: "
  std::map<std::string, std::string> left = {};  // extracting: the files under maps/
  std::function<void()> change = [] {};
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.label; }
class Fault : public testing::TestWithParam<Row> {};

// Every failure is named and fails the run; packing leaves an old archive as it was and no temporary file behind.
TEST_P(Fault, IsNamedAndFailsTheRun) {
  const Row& row = GetParam();
  test::TempDir dir;
  fs::create_directories("src/sub");
  test::WriteFile("src/a.txt", "abc");
  test::WriteFile("src/sub/b.txt", "0123456789");
  test::WriteFile("src/z.txt", "z");
  test::WriteFile("out.vrk", "old archive");
  test::FaultySystem sys;
  if (row.run != kReopen) sys.rules = row.rules;
  sys.onCreate = [&](auto&) {
    row.change();
    if (row.run == kReopen) sys.rules = row.rules;
  };
  platform::ScopedSystem scoped(sys);
  const std::string archive = test::ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}, {"z.txt", "z"}});
  test::Outcome run = row.run == kExtract
                          ? test::ExtractBytes("maps.vrk", archive)
                          : test::Pack(dir, "src", row.run == kPack ? -1 : 4, row.run == kReopen ? 0 : -1);
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(run.Logged("Error: " + row.error)) << testing::PrintToString(run.lines);
  EXPECT_EQ(run.lines.back(), row.run ? "Failed with 1 error; out.vrk was not written." : "Failed with 1 error.");
  auto left = test::TreeOf(dir.path()), expected = row.left;
  std::erase_if(left, [](auto& file) { return file.first.starts_with("src/") || file.first == "maps.vrk"; });
  expected["out.vrk"] = "old archive";
  EXPECT_EQ(left, expected);
}

void Replace() {
  test::WriteFile("src/new.txt", "9876543210");
  fs::rename("src/new.txt", "src/sub/b.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Fault,
    testing::Values(
        Row{"disk full", kExtract, {{kWrite, "sub/b.txt", 4, ENOSPC}},
            "sub\\b.txt: No space left on device; the incomplete file is removed", {{"maps/a.txt", "abc"}}},
        Row{"close fails", kExtract, {{kClose, "sub/b.txt", 0, EIO}},
            "sub\\b.txt: Input/output error; the incomplete file is removed", {{"maps/a.txt", "abc"}}},
        Row{"short read", kExtract, {{kRead, "maps.vrk", 110, EIO}},
            "sub\\b.txt: read error after 4 of 10 bytes: Input/output error",
            {{"maps/a.txt", "abc"}, {"maps/sub/b.txt", "0123"}}},
        Row{"read error", kPack, {{kRead, "a.txt", 1, EIO}}, "a.txt: read error: Input/output error"},
        Row{"shrank", kPack, {{kRead, "a.txt", 2, 0}}, "a.txt: the file shrank while it was read (2 of 3 bytes)"},
        Row{"grew", kPack, {{kLength, "a.txt", 2, 0}}, "a.txt: the file grew while it was read (it had 2 bytes)"},
        Row{"grew, read in two", kPack, {{kSplit, "a.txt", 1, 0}, {kLength, "a.txt", 2, 0}},
            "a.txt: the file grew while it was read (it had 2 bytes)"},
        Row{"too large", kPack, {{kLength, "z.txt", 1LL << 31, 0}},
            "z.txt: 2147483648 bytes is too large to store (at most 2147483647 bytes per file)"},
        Row{"unlistable", kPack, {{kList, "src/sub", 0, EACCES}}, "sub: cannot list the folder: Permission denied"},
        Row{"unenterable", kPack, {{kChangeDir, "sub", 0, EACCES}}, "sub: cannot enter the folder: Permission denied"},
        Row{"archive disk full", kPack, {{kWrite, ".partial-", 40, ENOSPC}}, "out.vrk: No space left on device"},
        Row{"archive refused", kPack, {{kOpen, ".partial-", 0, EACCES}},
            "out.vrk: cannot create the file: Permission denied"},
        Row{"may not replace", kPack, {{kReplace, "out.vrk", 0, EACCES}},
            "out.vrk: cannot replace the file: Permission denied"},
        Row{"rename refused", kPack, {{kRename, "out.vrk", 0, EXDEV}}, "out.vrk: Invalid cross-device link"},
        Row{"shrank while copied", kAtWrite, {{kRead, "sub/b.txt", 4, 0}},
            "sub\\b.txt: the file shrank while it was copied (4 of 10 bytes)"},
        Row{"read error while copied", kAtWrite, {{kRead, "sub/b.txt", 4, EIO}},
            "sub\\b.txt: read error: Input/output error"},
        Row{"grew after the walk", kAtWrite, {},
            "sub\\b.txt: the file grew since the walk (it had 10 bytes, now 13)", {},
            [] { std::ofstream("src/sub/b.txt", std::ios::app) << "abc"; }},
        Row{"grew while copied, read in two", kAtWrite, {{kSplit, "sub/b.txt", 4, 0}, {kLength, "sub/b.txt", 10, 0}},
            "sub\\b.txt: the file grew while it was copied (it had 10 bytes)", {},
            [] { std::ofstream("src/sub/b.txt", std::ios::app) << "abc"; }},
        Row{"replaced after the walk", kAtWrite, {},
            "sub\\b.txt: the file was replaced by another since the walk", {}, Replace},
        Row{"removed after the walk", kAtWrite, {},
            "sub\\b.txt: the file cannot be read since the walk: No such file or directory", {},
            [] { fs::remove("src/sub/b.txt"); }},
        Row{"replaced, opened again", kReopen, {},
            "sub\\b.txt: the file was replaced by another since the walk", {}, Replace},
        Row{"unreadable, opened again", kReopen, {{kOpen, "sub/b.txt", 0, EACCES}, {kOpen, "a.txt", 0, EACCES}},
            "sub\\b.txt: the file cannot be read since the walk: Permission denied"}
#ifndef _WIN32
        ,
        Row{"a pipe, opened again", kReopen, {},
            "sub\\b.txt: the file cannot be read since the walk: Not a regular file", {},
            [] { fs::remove("src/sub/b.txt"), mkfifo("src/sub/b.txt", 0644); }}
#endif
        ),
    test::LabelName());

struct SkipRow {
  const char* label;
  std::function<void()> plant;
  const char* warning;          // none: the row's names are packed
  std::vector<std::string> names = {"real.txt", ""};
};

void PrintTo(const SkipRow& row, std::ostream* os) { *os << row.label; }
class Walk : public testing::TestWithParam<SkipRow> {};

// What cannot be stored is skipped with a warning and the run succeeds; a link to a file or into a folder is packed.
TEST_P(Walk, SkipsWithAWarningWhatCannotBeStored) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/real.txt", "d");
  GetParam().plant();
  test::Outcome packed = test::Pack(dir);
  EXPECT_EQ(packed.result, 1);
  EXPECT_TRUE(packed.Logged("Compressing real.txt (1 byte)")) << testing::PrintToString(packed.lines);
  EXPECT_TRUE(!GetParam().warning || packed.Logged(GetParam().warning)) << testing::PrintToString(packed.lines);
  std::sort(packed.names.begin(), packed.names.end() - 1);
  EXPECT_EQ(packed.names, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Walk,
    testing::Values(SkipRow{"empty file", [] { test::WriteFile("src/empty.txt", ""); },
                            "Warning: empty.txt: empty file; not stored, since the format cannot hold empty files"}
#ifndef _WIN32
                    ,
                    SkipRow{"named pipe", [] { mkfifo("src/pipe", 0644); },
                            "Warning: pipe: not a regular file (a pipe, socket or device); skipped"},
                    SkipRow{"dangling link", [] { fs::create_symlink("missing-target", "src/dangling"); },
                            "Warning: dangling: a link whose target is missing; skipped"},
                    SkipRow{"link cycle", [] { fs::create_directory_symlink(".", "src/loop"); },
                            "Warning: loop: this folder is already being packed (a link leads back into it); skipped"},
                    SkipRow{"links",
                            [] {
                              fs::create_directory("src/a");
                              test::WriteFile("src/a/f.txt", "f");
                              fs::create_symlink("a/f.txt", "src/link.txt");
                              fs::create_directory_symlink(fs::absolute("src/a"), "src/alias");
                            },
                            nullptr, {"a\\f.txt", "alias\\f.txt", "link.txt", "real.txt", ""}}
#endif
                    ),
    test::LabelName());

class KilledWhileWriting : public testing::TestWithParam<int> {};

// Killed while writing (by the signal, 0: kill -9), the old archive stays; Ctrl+C or SIGTERM remove the temporary file.
TEST_P(KilledWhileWriting, LeavesTheOldArchive) {
  if (GetParam()) VRK_POSIX_ONLY("signals");
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a.txt", std::string(100000, 'a'));
  test::WriteFile("out.vrk", "old archive");
  EXPECT_EXIT(
      {
        platform::InstallInterruptCleanup();
        test::FaultySystem sys;
        sys.rules.push_back({kKill, ".partial-", 50000, GetParam()});
        platform::ScopedSystem scoped(sys);
        test::Pack(dir);
      },
      test::KilledAbruptly(GetParam()), "");
  auto left = test::TreeOf(dir.path());
  EXPECT_EQ(left.size(), GetParam() ? 2u : 3u);  // src/a.txt, out.vrk, and after kill -9 the temporary file
  EXPECT_EQ(left["out.vrk"], "old archive");
}

INSTANTIATE_TEST_SUITE_P(Signal, KilledWhileWriting, testing::Values(0, SIGINT, SIGTERM));

}  // namespace
