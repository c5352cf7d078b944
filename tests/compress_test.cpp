// Packing: byte layout, transcript, walk order, and round trips. (What is
// skipped, and failures: fault_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

using test::Outcome;
using test::Pack;

// A tree of folders only gives the terminator and the trailer. A file gives
// its header (size little-endian: 259 is 03 01 00 00), the terminator, its
// bytes and the trailer, written out here byte by byte; larger files, on both
// sides of the stream's buffering, come out as the byte builder lays them.
TEST(Compress, ArchiveLayoutAndTranscript) {
  test::TempDir dir;
  fs::create_directories("src/only/folders");
  Outcome packed = Pack(dir);
  EXPECT_EQ(packed.result, 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), std::string(21, '\0') + "Korvane VRK Tool archive v1.01a");
  EXPECT_EQ(packed.lines, (std::vector<std::string>{"Compressing path " + dir.path() + "/src into out.vrk...", "OK!",
                                                    "Saving out.vrk...", "All done!"}));
  const std::string small = std::string(256, 'x') + "abc";
  test::WriteFile("src/a.txt", "1");
  EXPECT_EQ(Pack(dir).lines.at(1), "Compressing a.txt (1 byte)");
  test::WriteFile("src/a.txt", small);
  EXPECT_EQ(Pack(dir).lines.at(1), "Compressing a.txt (259 bytes)");
  EXPECT_EQ(test::ReadFile("out.vrk"), std::string("a.txt") + std::string(17, '\0') + "\x03\x01" + std::string(2, '\0') +
                                           std::string(21, '\0') + small + "Korvane VRK Tool archive v1.01a");
  for (std::size_t size : {5000u, 70000u, 3000000u}) {
    std::string content(size, 'x');
    content.back() = 'y';
    test::WriteFile("src/a.txt", content);
    EXPECT_EQ(Pack(dir).result, 1);
    EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes::Of({{"a.txt", content}})) << size;
  }
}

// The walk goes in pre-order, in the order the folder lists its items, and
// passes over folders whose names start with a dot. The folder is named with
// a trailing separator, which must cost the entries' names no character.
TEST(Compress, WalkIsPreOrderInListingOrderAndSkipsDotFolders) {
  test::TempDir dir;
  fs::create_directories("src/s/deeper");
  fs::create_directories("src/.backup");
  for (const char* file : {"src/b.txt", "src/.cfg", "src/a.txt", "src/s/c.txt", "src/s/deeper/d.txt", "src/.backup/x.txt"})
    test::WriteFile(file, file);
  test::FaultySystem sys;
  sys.listOrder["src"] = {"b.txt", "s", ".cfg", "a.txt", ".backup"};
  sys.splitFirstRead["a.txt"] = 3;  // a file that comes in two reads
  platform::ScopedSystem scoped(sys);
  Outcome packed = Pack(dir, "src/");
  EXPECT_EQ(packed.names, (std::vector<std::string>{"b.txt", ".cfg", "a.txt", "s\\c.txt", "s\\deeper\\d.txt", ""}));
  // Extracting the result gives the tree back (dot folders aside).
  test::LogCapture log;
  Archive back;
  ASSERT_EQ(back.Extract("out.vrk"), 1);
  auto tree = test::TreeOf("out");
  EXPECT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree["s/deeper/d.txt"], "src/s/deeper/d.txt");
  EXPECT_EQ(tree["a.txt"], "src/a.txt");
}

// The archive is written as NAME.partial- and eight letters or digits, a
// fresh name each run, never one that could be taken for an archive.
TEST(Compress, TemporaryNameIsEightFreshLettersOrDigits) {
  test::TempDir dir;
  fs::create_directory("src");
  test::FaultySystem sys;
  std::set<std::string> names;
  sys.onCreate = [&names](const std::string& path) { names.insert(path); };
  platform::ScopedSystem scoped(sys);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(Pack(dir).result, 1);
  EXPECT_EQ(names.size(), 40u);
  for (const std::string& name : names)
    EXPECT_TRUE(std::regex_match(name, std::regex(".*out\\.vrk\\.partial-[a-z0-9]{8}"))) << name;
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
