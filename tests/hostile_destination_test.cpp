// What already stands where extraction writes: links, hard links, files
// where folders go. Nothing is ever written through a link or into the
// bytes of a file that is there. And what stands where packing writes its
// archive: replaced only as opening it for writing could, keeping its mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>

#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

struct DestinationRow {
  const char* label;
  std::function<void()> setup;  // run in the folder that holds the archive
  int result;
  const char* error;                           // an Error line, or nullptr
  std::map<std::string, std::string> expect;  // files afterwards, relative to that folder
};
void PrintTo(const DestinationRow& row, std::ostream* os) { *os << row.label; }

class Destination : public testing::TestWithParam<DestinationRow> {};

TEST_P(Destination, IsNeverWrittenThrough) {
  test::TempDir dir;
  const std::string bytes = ArchiveBytes::Of({{"a.txt", "new"}, {"sub\\b.txt", "new"}, {"c.txt", "new"}});
  test::Outcome run = test::ExtractChecked(dir, bytes, GetParam().setup);
  EXPECT_EQ(run.result, GetParam().result);
  if (GetParam().error) {
    EXPECT_TRUE(std::count(run.lines.begin(), run.lines.end(), GetParam().error)) << testing::PrintToString(run.lines);
  }
  for (const auto& [path, content] : GetParam().expect) {
    EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/" + path), content) << path;
  }
}

void Elsewhere() {
  fs::create_directory("elsewhere");
  test::WriteFile("outside.txt", "keep");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Destination,
    testing::Values(
#ifndef _WIN32
        DestinationRow{"link as the output folder",
                       [] { Elsewhere(); fs::create_directory_symlink("elsewhere", "maps"); }, 0,
                       "Error: maps: a symbolic link stands where the folder goes; nothing is written through it", {}},
        DestinationRow{"link as a sub-folder",
                       [] { Elsewhere(); fs::create_directory("maps"); fs::create_directory_symlink("../elsewhere", "maps/sub"); }, 0,
                       "Error: sub\\b.txt: a symbolic link stands where the folder sub goes; nothing is written through it",
                       {{"maps/a.txt", "new"}, {"maps/c.txt", "new"}}},
        DestinationRow{"link as a file",
                       [] { Elsewhere(); fs::create_directory("maps"); fs::create_symlink("../outside.txt", "maps/a.txt"); }, 0,
                       "Error: a.txt: cannot create the file: Is a symbolic link", {{"outside.txt", "keep"}, {"maps/c.txt", "new"}}},
        DestinationRow{"dangling link as a file",
                       [] { fs::create_directory("maps"); fs::create_symlink("../planted.txt", "maps/c.txt"); }, 0,
                       "Error: c.txt: cannot create the file: Is a symbolic link", {{"maps/a.txt", "new"}}},
#endif
        DestinationRow{"hard link to a file outside",
                       [] { Elsewhere(); fs::create_directory("maps"); fs::create_hard_link("outside.txt", "maps/a.txt"); }, 1,
                       nullptr, {{"outside.txt", "keep"}, {"maps/a.txt", "new"}}},
        DestinationRow{"file where a folder goes",
                       [] { fs::create_directory("maps"); test::WriteFile("maps/sub", "file"); }, 0,
                       "Error: sub\\b.txt: cannot create the folder sub: Not a directory", {{"maps/sub", "file"}, {"maps/c.txt", "new"}}},
        DestinationRow{"folder where a file goes",
                       [] { fs::create_directories("maps/c.txt"); }, 0,
                       "Error: c.txt: cannot create the file: Is a directory", {{"maps/a.txt", "new"}}},
        DestinationRow{"output folder is a file", [] { test::WriteFile("maps", "file"); }, 0,
                       "Error: maps: cannot create the folder: Not a directory", {{"maps", "file"}}},
        DestinationRow{"output folder exists", [] { fs::create_directory("maps"); test::WriteFile("maps/mine.txt", "mine"); }, 1,
                       nullptr, {{"maps/mine.txt", "mine"}, {"maps/sub/b.txt", "new"}}},
        DestinationRow{"existing file is replaced", [] { fs::create_directory("maps"); test::WriteFile("maps/a.txt", "a much longer old text"); }, 1,
                       nullptr, {{"maps/a.txt", "new"}}}),
    test::LabelName());

#ifdef _WIN32
TEST(DestinationLinks, AreNeverWrittenThrough) {
  VRK_POSIX_ONLY("the rows of Table/Destination that plant symbolic links");
}
#endif

struct ArchivePathRow {
  const char* label;
  std::function<void()> setup;  // run in the folder that gets out.vrk
  const char* error;            // the Error line of a refusal, or nullptr
  // Afterwards ("NEW" stands for the new archive); a refusal changes nothing.
  std::map<std::string, std::string> expect;
  bool posixOnly = false;
  bool bitsStopTheProcess = false;  // meaningless as root, where write permission stops nothing
};
void PrintTo(const ArchivePathRow& row, std::ostream* os) { *os << row.label; }

class ArchivePath : public testing::TestWithParam<ArchivePathRow> {};

// The archive is written under a temporary name and renamed into place; the
// rename must not do what opening the archive for writing could not.
TEST_P(ArchivePath, IsReplacedOnlyAsAnOpenForWritingWould) {
  const ArchivePathRow& row = GetParam();
  if (row.posixOnly) VRK_POSIX_ONLY("links, modes and owners");
#ifndef _WIN32
  if (row.bitsStopTheProcess && geteuid() == 0) {
    GTEST_SKIP() << "root may write a read-only file; tests/process_test.sh refuses one to an unprivileged user";
  }
#endif
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a.txt", "abc");
  row.setup();
  const auto before = test::Snapshot(dir.path(), "src");
  struct stat old {};
  const bool existed = stat("out.vrk", &old) == 0;
  test::Outcome packed = test::Pack(dir);
  const auto after = test::Snapshot(dir.path(), "src");
  if (row.error) {
    EXPECT_EQ(packed.result, 0);
    EXPECT_TRUE(packed.Logged(row.error)) << testing::PrintToString(packed.lines);
    EXPECT_EQ(after, before);
    return;
  }
  EXPECT_EQ(packed.result, 1) << testing::PrintToString(packed.lines);
  for (auto [path, content] : row.expect) {
    if (content == "NEW") content = ArchiveBytes::Of({{"a.txt", "abc"}});
    EXPECT_EQ(after.count(path) ? after.at(path) : "<missing>", content) << path;
  }
  EXPECT_EQ(after.size(), before.size() + (existed ? 0 : 1)) << "a file was left behind";
  struct stat now {};
  if (existed && stat("out.vrk", &now) == 0) {  // through a link: what it leads to
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(now.st_uid, old.st_uid);
    EXPECT_EQ(now.st_gid, old.st_gid);
  }
}

void Chmod(const char* path, fs::perms perms) { fs::permissions(path, perms); }

INSTANTIATE_TEST_SUITE_P(
    Table, ArchivePath,
    testing::Values(
        ArchivePathRow{"folder of that name", [] { fs::create_directory("out.vrk"); },
                       "Error: out.vrk: cannot replace the file: Is a directory", {}},
        ArchivePathRow{"read-only archive",
                       [] { test::WriteFile("out.vrk", "old"); Chmod("out.vrk", fs::perms::owner_read | fs::perms::group_read); },
                       "Error: out.vrk: cannot replace the file: Permission denied", {}, false, true},
#ifndef _WIN32
        ArchivePathRow{"another user's archive keeps its owner",
                       [] {
                         test::WriteFile("out.vrk", "old");
                         Chmod("out.vrk", fs::perms::all);
                         if (geteuid() == 0 && chown("out.vrk", 65534, 65534) != 0) FAIL() << "chown";
                       },
                       nullptr, {{"out.vrk", "NEW"}}, true},
        ArchivePathRow{"link to an archive elsewhere",
                       [] { fs::create_directory("keep"); test::WriteFile("keep/real.vrk", "old"); fs::create_symlink("keep/real.vrk", "out.vrk"); },
                       nullptr, {{"out.vrk", "<link>"}, {"keep/real.vrk", "NEW"}}, true},
        ArchivePathRow{"link through links, relative to each",
                       [] {
                         fs::create_directories("keep/deep");
                         test::WriteFile("keep/real.vrk", "old");
                         fs::create_symlink("../real.vrk", "keep/deep/hop.vrk");
                         fs::create_symlink("keep/deep/hop.vrk", "out.vrk");
                       },
                       nullptr, {{"out.vrk", "<link>"}, {"keep/deep/hop.vrk", "<link>"}, {"keep/real.vrk", "NEW"}}, true},
        ArchivePathRow{"dangling link", [] { fs::create_directory("keep"); fs::create_symlink("keep/new.vrk", "out.vrk"); },
                       nullptr, {{"out.vrk", "<link>"}, {"keep/new.vrk", "NEW"}}, true},
        ArchivePathRow{"link to a read-only archive",
                       [] {
                         fs::create_directory("keep");
                         test::WriteFile("keep/real.vrk", "old");
                         Chmod("keep/real.vrk", fs::perms::owner_read);
                         fs::create_symlink("keep/real.vrk", "out.vrk");
                       },
                       "Error: out.vrk: cannot replace the file: Permission denied", {}, true, true},
#endif
        ArchivePathRow{"private archive keeps its mode",
                       [] { test::WriteFile("out.vrk", "old"); Chmod("out.vrk", fs::perms::owner_read | fs::perms::owner_write); },
                       nullptr, {{"out.vrk", "NEW"}}, true}),
    test::LabelName());

}  // namespace
