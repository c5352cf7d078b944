// Packing: byte layout, walk order, what is skipped, and failures that must
// leave no archive (and an existing one untouched).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

struct Packed {
  int result;
  std::vector<std::string> lines;
  std::vector<std::string> names;
};

// Packs dir/src into dir/out.vrk from dir.
Packed Pack(const test::TempDir& dir, const std::string& folder = "src") {
  test::LogCapture log;
  Archive archive;
  std::string full = dir.path() + "/" + folder;
  int result = archive.CompressPath("out.vrk", full.c_str());
  Packed packed{result, log.Lines(), {}};
  for (const auto& entry : archive.entries) packed.names.push_back(entry->name);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
  return packed;
}

TEST(Compress, EmptyFolderGivesTerminatorAndTrailer) {
  test::TempDir dir;
  fs::create_directories("src/only/folders");
  Packed packed = Pack(dir);
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
  Packed packed = Pack(dir);
  std::string expected = std::string("a.txt") + std::string(17, '\0') + "\x03" + std::string(3, '\0') +
                         std::string(21, '\0') + "abc" + "Korvane VRK Tool archive v1.01a";
  EXPECT_EQ(test::ReadFile("out.vrk"), expected);
  EXPECT_EQ(expected.size(), 81u);
  EXPECT_EQ(packed.lines.at(1), "Compressing a.txt (3 bytes)");
}

TEST(Compress, SizeIsLittleEndian) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/f", std::string(256, 'x'));
  Pack(dir);
  EXPECT_EQ(test::ReadFile("out.vrk").substr(18, 4), std::string("\x00\x01\x00\x00", 4));
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
  Packed packed = Pack(dir);
  EXPECT_EQ(packed.names, (std::vector<std::string>{"b.txt", ".cfg", "a.txt", "s\\c.txt", "s\\deeper\\d.txt", ""}));
  // Extracting the result gives the tree back (dot folders aside).
  test::LogCapture log;
  Archive back;
  ASSERT_EQ(back.Extract("out.vrk"), 1);
  auto tree = test::TreeOf("out");
  EXPECT_EQ(tree.size(), 5u);
  EXPECT_EQ(tree["s/deeper/d.txt"], "src/s/deeper/d.txt");
}

TEST(Compress, SkipsWhatCannotBeStoredWithWarningsAndStillSucceeds) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/real.txt", "data");
  test::WriteFile("src/empty.txt", "");
  mkfifo("src/pipe", 0644);
  fs::create_symlink("missing-target", "src/dangling");
  fs::create_symlink("real.txt", "src/link.txt");
  Packed packed = Pack(dir);
  EXPECT_EQ(packed.result, 1);
  auto has = [&](const std::string& line) {
    return std::find(packed.lines.begin(), packed.lines.end(), line) != packed.lines.end();
  };
  EXPECT_TRUE(has("Warning: empty.txt: empty file; not stored, since the format cannot hold empty files"));
  EXPECT_TRUE(has("Warning: pipe: not a regular file (a pipe, socket or device); skipped"));
  EXPECT_TRUE(has("Warning: dangling: a link whose target is missing; skipped"));
  std::sort(packed.names.begin(), packed.names.end());
  EXPECT_EQ(packed.names, (std::vector<std::string>{"", "link.txt", "real.txt"}));
  EXPECT_EQ(packed.lines.back(), "All done!");
}

TEST(Compress, FolderLinkCycleIsEnteredOnce) {
  test::TempDir dir;
  fs::create_directories("src/a");
  test::WriteFile("src/a/f.txt", "f");
  fs::create_directory_symlink("..", "src/a/up");
  fs::create_directory_symlink(dir.path() + "/src/a", "src/alias");
  Packed packed = Pack(dir);
  std::sort(packed.names.begin(), packed.names.end());
  // The alias is a second way into a folder the walk is not inside: taken.
  EXPECT_EQ(packed.names, (std::vector<std::string>{"", "a\\f.txt", "alias\\f.txt"}));
  EXPECT_EQ(std::count_if(packed.lines.begin(), packed.lines.end(),
                          [](auto& l) { return l.starts_with("Warning: ") && l.find("already being packed") != std::string::npos; }),
            2);
}

TEST(Compress, TrailingSeparatorLosesNoCharacter) {
  test::TempDir dir;
  fs::create_directories("src/sub");
  test::WriteFile("src/sub/x.txt", "x");
  EXPECT_EQ(Pack(dir, "src/").names, (std::vector<std::string>{"sub\\x.txt", ""}));
}

TEST(Compress, FileNameHoldingABackslashIsAnError) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a\\b.txt", "x");
  Packed packed = Pack(dir);
  EXPECT_EQ(packed.result, 0);
  EXPECT_FALSE(test::Exists("out.vrk"));
}

struct PackFault {
  const char* what;
  std::function<void(test::FaultySystem&)> arm;
  const char* error;
};
void PrintTo(const PackFault& c, std::ostream* os) { *os << c.what; }

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
  Packed packed = Pack(dir);
  EXPECT_EQ(packed.result, 0);
  EXPECT_NE(std::find(packed.lines.begin(), packed.lines.end(), GetParam().error), packed.lines.end());
  EXPECT_EQ(packed.lines.back(), "Failed with 1 error; out.vrk was not written.");
  EXPECT_EQ(test::ReadFile("out.vrk"), "old archive");
  EXPECT_EQ(test::TreeOf(dir.path()).size(), 4u) << "a temporary file was left behind";
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
        PackFault{"rename refused", [](auto& s) { s.failRename["out.vrk"] = EXDEV; },
                  "Error: out.vrk: Invalid cross-device link"}),
    [](const auto& info) {
      std::string name = info.param.what;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

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
    ASSERT_EQ(test::ReadFile(it->path()), test::ReadFile("inc" / relative)) << relative;
    ++compared;
  }
  EXPECT_GT(compared, 100u);
}

}  // namespace
