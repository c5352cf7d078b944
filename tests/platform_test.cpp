// The platform layer: the logical current directory, separators, paths
// longer than the system takes in one call, reads of files that change size
// and the packing buffer.
#include <gtest/gtest.h>
#include <limits.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/platform.h"
#include "tests/support.h"

namespace fs = std::filesystem;

namespace {

// The walk's ".." leads back along the link it entered; a ".." in a path the
// user gives means what it means to the system (`cat ../x`).
TEST(Platform, DotDotOfTheWalkIsLogicalAndOfAGivenPathTheSystems) {
  VRK_POSIX_ONLY("the logical current directory, which Windows keeps itself");
  test::TempDir dir;
  fs::create_directories("real/deep/target");
  fs::create_directories("walk");
  fs::create_directory_symlink(dir.path() + "/real/deep/target", "walk/link");
  platform::System& sys = platform::Sys();
  struct Row {
    std::string path;
    bool given;
    std::string lands;
  };
  for (const Row& row : {Row{"..", false, "/walk"}, Row{"..", true, "/real/deep"}, Row{"..\\..", true, "/real"},
                         Row{dir.path() + "/walk/link/..", true, "/real/deep"}, Row{"../link", false, "/walk/link"}}) {
    ASSERT_EQ(sys.ChangeDirectory(dir.path() + "/walk/link"), 0);
    const int error = row.given ? sys.ChangeDirectoryAsGiven(row.path) : sys.ChangeDirectory(row.path);
    ASSERT_EQ(error, 0) << row.path;
    EXPECT_EQ(sys.CurrentDirectory(), dir.path() + row.lands) << row.path;
    EXPECT_TRUE(fs::equivalent(".", dir.path() + row.lands)) << row.path;  // where the process really is
  }
}

TEST(Platform, SplitFolderCutsAtTheLastSeparatorAndKeepsARootWhole) {
  for (const auto& [path, parts] : std::vector<std::pair<std::string, std::string>>{
           {"/home/u/a.b.vrk", "/home/u|a.b.vrk"}, {"/maps.vrk", "/|maps.vrk"}, {"maps.vrk", "|maps.vrk"}}) {
    EXPECT_EQ(platform::SplitFolder(path).folder + "|" + platform::SplitFolder(path).name, parts);
  }
}

TEST(Platform, FailedChangeKeepsTheCurrentDirectory) {
  test::TempDir dir;
  EXPECT_EQ(platform::Sys().ChangeDirectory("missing"), ENOENT);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

// A full path below the current folder may be opened relative to it; one
// beside it whose name merely starts the same may not.
TEST(Platform, FullPathBesideTheCurrentFolderIsNotTakenAsInsideIt) {
  test::TempDir dir;
  fs::create_directories("out");
  fs::create_directories("outX");
  test::WriteFile("out/f", "inside");
  test::WriteFile("outX/f", "beside");
  ASSERT_EQ(platform::Sys().ChangeDirectory("out"), 0);
  EXPECT_EQ(test::ReadFile(dir.path() + "/outX/f"), "beside");
  EXPECT_EQ(test::ReadFile(dir.path() + "/out/f"), "inside");
}

TEST(Platform, PathsLongerThanTheSystemLimitWork) {
  if (!test::LongCurrentDirectories()) GTEST_SKIP() << "long paths are not enabled on this Windows";
  test::TempDir dir;
  platform::System& sys = platform::Sys();
  const std::string level(200, 'd');
  std::size_t depth = 0;
  while ((sys.CurrentDirectory()).size() < 2 * PATH_MAX) {
    ASSERT_EQ(sys.MakeDirectory(level), 0);
    ASSERT_EQ(sys.ChangeDirectory(level), 0);
    ++depth;
  }
  const std::string deep = sys.CurrentDirectory();
  test::WriteFile("f", "x");
  ASSERT_EQ(sys.ChangeDirectory(dir.path()), 0);
  // A missing folder level is the reason, however long the path.
  EXPECT_EQ(sys.Rename(deep + "/no/f", deep + "/g"), sys.Rename("no/f", "g"));
  ASSERT_EQ(sys.ChangeDirectoryAsGiven(deep.substr(dir.path().size() + 1) + "/.."), 0);
  EXPECT_EQ(sys.CurrentDirectory(), deep.substr(0, deep.size() - level.size() - 1));
  ASSERT_EQ(sys.ChangeDirectory(deep), 0);
  EXPECT_EQ(test::ReadFile("f"), "x");
  for (std::size_t i = 0; i < depth; ++i) ASSERT_EQ(sys.ChangeDirectory(".."), 0);
  EXPECT_EQ(sys.CurrentDirectory(), dir.path());
}

// A read of a file's known length plus one byte sees a file that grew since
// it was opened, and stops at the end of one that did not.
TEST(Platform, ReadUpToTheKnownLengthSeesGrowth) {
  test::TempDir dir;
  for (bool grows : {false, true}) {
    test::WriteFile("f", "0123456789");
    int error = 0;
    auto file = platform::Sys().OpenRead("f", true, error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->Length(), 10);
    if (grows) std::ofstream("f", std::ios::binary | std::ios::app) << "abc";
    std::string bytes(11, '\0');
    std::size_t got = file->ReadUpTo(bytes.data(), bytes.size());
    if (got < 10) got += file->Read(bytes.data() + got, 10 - got);  // a short read that was not the end
    EXPECT_EQ(bytes.substr(0, got), grows ? "0123456789a" : "0123456789");
    EXPECT_EQ(file->error(), 0);
  }
}

}  // namespace
