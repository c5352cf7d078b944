// Packing: byte layout, walk order, what is skipped, and failures that must
// leave no archive (and an existing one untouched).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#endif

#include <cerrno>
#include <filesystem>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

using test::Pack;
using test::Outcome;

TEST(Compress, EmptyFolderGivesTerminatorAndTrailer) {
  test::TempDir dir;
  fs::create_directories("src/only/folders");
  Outcome packed = Pack(dir);
  EXPECT_EQ(packed.result, 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes().Terminator().Signature().str());
  EXPECT_EQ(test::ReadFile("out.vrk").size(), 52u);
  EXPECT_EQ(packed.lines, (std::vector<std::string>{"Compressing path " + dir.path() + "/src into out.vrk...", "OK!",
                                                    "Saving out.vrk...", "All done!"}));
}

TEST(Compress, OneFileGivesThe81ByteArchive) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a.txt", "abc");
  Outcome packed = Pack(dir);
  std::string expected = std::string("a.txt") + std::string(17, '\0') + "\x03" + std::string(3, '\0') +
                         std::string(21, '\0') + "abc" + "Korvane VRK Tool archive v1.01a";
  EXPECT_EQ(test::ReadFile("out.vrk"), expected);
  EXPECT_EQ(expected.size(), 81u);
  EXPECT_EQ(packed.lines.at(1), "Compressing a.txt (3 bytes)");
}

// Sizes on both sides of the stream's buffering, and 256 stored as 00 01 00 00.
TEST(Compress, LayoutHoldsForSmallAndLargeFiles) {
  for (std::size_t size : {256u, 5000u, 70000u, 3000000u}) {
    test::TempDir dir;
    fs::create_directory("src");
    std::string content(size, 'x');
    content.back() = 'y';
    test::WriteFile("src/f", content);
    Pack(dir);
    EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes::Of({{"f", content}})) << size;
  }
  EXPECT_EQ(ArchiveBytes().Header("f", 256).str().substr(18, 4), std::string("\x00\x01\x00\x00", 4));
}

TEST(Compress, WalkIsPreOrderInListingOrderAndSkipsDotFolders) {
  test::TempDir dir;
  fs::create_directories("src/s/deeper");
  fs::create_directories("src/.backup");
  for (const char* file : {"src/b.txt", "src/.cfg", "src/a.txt", "src/s/c.txt", "src/s/deeper/d.txt", "src/.backup/x.txt"})
    test::WriteFile(file, file);
  test::FaultySystem sys;
  sys.listOrder["src"] = {"b.txt", "s", ".cfg", "a.txt", ".backup"};
  platform::ScopedSystem scoped(sys);
  Outcome packed = Pack(dir);
  EXPECT_EQ(packed.names, (std::vector<std::string>{"b.txt", ".cfg", "a.txt", "s\\c.txt", "s\\deeper\\d.txt", ""}));
  // Extracting the result gives the tree back (dot folders aside).
  test::LogCapture log;
  Archive back;
  ASSERT_EQ(back.Extract("out.vrk"), 1);
  auto tree = test::TreeOf("out");
  EXPECT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree["s/deeper/d.txt"], "src/s/deeper/d.txt");
}

TEST(Compress, TrailingSeparatorLosesNoCharacter) {
  test::TempDir dir;
  fs::create_directories("src/sub");
  test::WriteFile("src/sub/x.txt", "x");
  EXPECT_EQ(Pack(dir, "src/").names, (std::vector<std::string>{"sub\\x.txt", ""}));
}

TEST(Compress, ExistingArchiveInsideTheFolderIsPackedWithItsOldContent) {
  test::TempDir dir;
  fs::create_directory("src");
  platform::Sys().ChangeDirectory("src");
  test::WriteFile("out.vrk", "old");
  test::LogCapture log;
  Archive archive;
  ASSERT_EQ(archive.CompressPath("out.vrk", (dir.path() + "/src").c_str()), 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes::Of({{"out.vrk", "old"}}));
}

// A tree of the system's own, packed and extracted back byte for byte.
TEST(Compress, RealTreeRoundTrips) {
  VRK_POSIX_ONLY("the system's header tree in /usr/include");
  const std::string source = "/usr/include";
  if (!fs::is_directory(source)) GTEST_SKIP() << source << " is missing";
  test::TempDir dir;
  test::LogCapture log;
  {
    Archive archive;
    ASSERT_EQ(archive.CompressPath("inc.vrk", source.c_str()), 1) << log.Transcript().substr(0, 2000);
  }
  Archive archive;
  ASSERT_EQ(archive.Extract("inc.vrk"), 1);
  std::size_t compared = 0;
  for (auto it = fs::recursive_directory_iterator(source); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path relative = fs::relative(it->path(), source);
    if (it->path().filename().string().starts_with(".") && it->is_directory()) {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file() || fs::file_size(it->path()) == 0) continue;
    ASSERT_EQ(test::ReadFile(it->path().string()), test::ReadFile(("inc" / relative).string())) << relative;
    ++compared;
  }
  EXPECT_GT(compared, 100u);
}

}  // namespace
