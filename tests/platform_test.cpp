// The platform layer: the logical current directory, and paths longer than the system takes in one call.
#include <gtest/gtest.h>
#include <limits.h>

#include <filesystem>
#include <tuple>

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
  platform::PathStatus walk;
  sys.Status("walk", true, walk);
  // The path, how it is given (0: the walk's, 1: the user's, 2: the walk's way up from the link, by walk's identity),
  // and where it leads.
  using Row = std::tuple<std::string, int, std::string>;
  for (const auto& [path, given, lands] :
       {Row{"..", false, "/walk"}, Row{"..", true, "/real/deep"}, Row{"..\\..", true, "/real"},
        Row{dir.path() + "/walk/link/..", true, "/real/deep"}, Row{"../link", false, "/walk/link"}, Row{"", 2, "/walk"}}) {
    ASSERT_EQ(sys.ChangeDirectory(dir.path() + "/walk/link"), 0);
    const int error = given == 2 ? sys.ChangeToParent(walk.id) : given ? sys.ChangeDirectoryAsGiven(path)
                                                                      : sys.ChangeDirectory(path);
    ASSERT_EQ(error, 0) << path;
    EXPECT_EQ(sys.CurrentDirectory(), dir.path() + lands) << path;
    EXPECT_TRUE(fs::equivalent(".", dir.path() + lands)) << path;  // where the process really is
  }
}

TEST(Platform, PathsLongerThanTheSystemLimitWork) {
  if (!test::LongCurrentDirectories()) GTEST_SKIP() << "long paths are not enabled on this Windows";
  test::TempDir dir;
  platform::System& sys = platform::Sys();
  EXPECT_EQ(sys.ChangeDirectory("missing"), ENOENT);  // and a failed change keeps the current directory
  EXPECT_EQ(sys.CurrentDirectory(), dir.path());
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
  // A full path below the current folder is opened; one beside it whose name merely starts the same is not inside.
  fs::create_directory(level + "X");
  test::WriteFile(level + "X/f", "beside");
  ASSERT_EQ(sys.ChangeDirectory(level), 0);
  std::string doubled = deep.substr(0, deep.size() - level.size());  // a doubled separator names what one names
  EXPECT_EQ(test::ReadFile(doubled.append("/").append(level).append("/f")), "x");
  EXPECT_EQ(test::ReadFile(dir.path() + "/" + level + "X/f"), "beside");
}

}  // namespace
