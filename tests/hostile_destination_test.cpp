// What already stands where extraction writes: links, hard links, files
// where folders go. Nothing is ever written through a link or into the
// bytes of a file that is there.
#include <gtest/gtest.h>

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

}  // namespace
