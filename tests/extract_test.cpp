// Extraction: the transcript, the files it writes, and what it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

struct Outcome {
  int result;
  std::vector<std::string> lines;
};

Outcome ExtractBytes(const std::string& archiveName, const std::string& bytes) {
  test::WriteFile(archiveName, bytes);
  test::LogCapture log;
  Archive archive;
  int result = archive.Extract(archiveName.c_str());
  return {result, log.Lines()};
}

TEST(Extract, WorkedExampleGivesItsTranscriptFilesAndDebugLines) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}}));
  test::FaultySystem sys;  // records the debug channel
  platform::ScopedSystem scoped(sys);
  test::LogCapture log;
  Archive archive;
  EXPECT_EQ(archive.Extract("maps.vrk"), 1);
  EXPECT_EQ(log.BoxText(),
            "Extracting file maps.vrk...\r\nExtracting a.txt (3 bytes)\r\nExtracting sub\\b.txt (10 bytes)\r\nAll done!\r\n");
  EXPECT_EQ(sys.debugOutput, (std::vector<std::string>{"Extracting file maps.vrk...\n", "maps\\a.txt\n",
                                                       "Extracting a.txt (3 bytes)\n", "maps\\sub\\b.txt\n",
                                                       "Extracting sub\\b.txt (10 bytes)\n", "All done!\n"}));
  EXPECT_EQ(test::TreeOf("maps"), (std::map<std::string, std::string>{{"a.txt", "abc"}, {"sub/b.txt", "0123456789"}}));
  ASSERT_EQ(archive.entries.size(), 3u);
  EXPECT_EQ(archive.entries.back()->dataSize, 0u);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

TEST(Extract, EmptyArchiveMakesAnEmptyFolderWithOrWithoutTrailer) {
  for (std::string bytes : {ArchiveBytes().Terminator().Signature().str(), ArchiveBytes().Terminator().str()}) {
    test::TempDir dir;
    Outcome run = ExtractBytes("empty.vrk", bytes);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"Extracting file empty.vrk...", "All done!"}));
    EXPECT_TRUE(fs::is_directory("empty"));
  }
}

TEST(Extract, SizesAreUnsignedAndNeverAllocatedFromTheHeader) {
  test::TempDir dir;
  // A claim of 4 GB with three bytes behind it: the file gets what is there.
  Outcome run = ExtractBytes("big.vrk", ArchiveBytes().Header("huge.bin", 0xFFFFFFFF).Terminator().Data("xyz").str());
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines.at(1), "Extracting huge.bin (4294967295 bytes)");
  EXPECT_EQ(run.lines.at(2), "Error: huge.bin: the archive ends after 3 of the entry's 4294967295 bytes");
  EXPECT_EQ(run.lines.back(), "Failed with 1 error.");
  EXPECT_EQ(test::ReadFile("big/huge.bin"), "xyz");
}

struct NameCase {
  const char* archiveName;
  const char* folder;  // nullptr: refused, nothing created
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.archiveName; }

class ArchiveName : public testing::TestWithParam<NameCase> {};

TEST_P(ArchiveName, OutputFolderIsTheNameLessFourCharactersOrRefused) {
  test::TempDir dir;
  fs::create_directory("inner");
  platform::Sys().ChangeDirectory("inner");
  std::string name = GetParam().archiveName;
  Outcome run = ExtractBytes(name, ArchiveBytes::Of({{"f.txt", "1"}}));
  if (GetParam().folder) {
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(test::ReadFile(std::string(GetParam().folder) + "/f.txt"), "1");
  } else {
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.lines.at(1).starts_with("Error: " + name + ": ")) << run.lines.at(1);
    EXPECT_EQ(run.lines.size(), 3u);
    EXPECT_FALSE(test::Exists(dir.path() + "/f.txt"));
    EXPECT_FALSE(test::Exists("f.txt"));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ArchiveName,
                         testing::Values(NameCase{"maps.vrk", "maps"}, NameCase{"maps.bin", "maps"},
                                         NameCase{"archive", "arc"}, NameCase{"a.b.vrk", "a.b"},
                                         NameCase{"abcd", nullptr}, NameCase{"a.v", nullptr},
                                         NameCase{"..vrk", nullptr}, NameCase{"...vrk", nullptr},
                                         NameCase{"x\\..vrk", nullptr}));

struct EntryCase {
  const char* name;
  const char* reason;  // nullptr: extracted, at the path given by `where`
  const char* where;
};

class EntryName : public testing::TestWithParam<EntryCase> {};

TEST_P(EntryName, UnsafeNamesAreSkippedAndLaterEntriesStillExtracted) {
  test::TempDir dir;
  fs::create_directory("out");
  platform::Sys().ChangeDirectory("out");
  const EntryCase& c = GetParam();
  SCOPED_TRACE(c.name);
  Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{c.name, "EVIL"}, {"after.txt", "ok"}}));
  EXPECT_EQ(test::ReadFile("maps/after.txt"), "ok");
  if (c.reason) {
    EXPECT_EQ(run.result, 0);
    EXPECT_NE(run.lines.at(1).find(c.reason), std::string::npos) << run.lines.at(1);
    EXPECT_EQ(run.lines.back(), "Failed with 1 error.");
    // Nothing but the output folder and the one good file anywhere.
    std::map<std::string, std::string> expected{{"out/maps.vrk", test::ReadFile("maps.vrk")}, {"out/maps/after.txt", "ok"}};
    EXPECT_EQ(test::TreeOf(dir.path()), expected);
  } else {
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(test::ReadFile(std::string("maps/") + c.where), "EVIL");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EntryName,
    testing::Values(EntryCase{"..\\evil.txt", "'..'", nullptr}, EntryCase{"../evil.txt", "'..'", nullptr},
                    EntryCase{"a\\..\\..\\evil.txt", "'..'", nullptr}, EntryCase{"a/..\\../evil.txt", "'..'", nullptr},
                    EntryCase{"..", "'..'", nullptr}, EntryCase{"\\evil.txt", "absolute", nullptr},
                    EntryCase{"/tmp/evil.txt", "absolute", nullptr}, EntryCase{"C:evil.txt", "colon", nullptr},
                    EntryCase{"a.txt:stream", "colon", nullptr}, EntryCase{"bad\x01name", "control", nullptr},
                    EntryCase{"bad\x7fname", "control", nullptr}, EntryCase{"dir\\", "names no file", nullptr},
                    EntryCase{"a\\\\b.txt", nullptr, "a/b.txt"}, EntryCase{"A/B\\c.txt", nullptr, "A/B/c.txt"},
                    EntryCase{"A\\B/c.txt", nullptr, "A/B/c.txt"}, EntryCase{"..x\\y..", nullptr, "..x/y.."}));

TEST(Extract, ControlBytesAreShownEscaped) {
  test::TempDir dir;
  Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{"a\x1b[2Jb", "x"}}));
  EXPECT_EQ(run.lines.at(1).substr(0, 15), "Error: a^[[2Jb:");
}

// Cutting a two-entry archive at every length: a cut in the header list
// creates nothing; a cut in the data keeps the whole entries before it and
// exactly the bytes that were there of the entry at the cut.
TEST(Extract, EveryTruncationFailsCleanly) {
  const std::string full = ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}});
  const std::size_t headers = 26 + 30 + 21;
  for (std::size_t cut = 0; cut < headers + 13; ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    test::TempDir dir;
    Outcome run = ExtractBytes("maps.vrk", full.substr(0, cut));
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.lines.back(), "Failed with 1 error.");
    EXPECT_TRUE(run.lines.at(run.lines.size() - 2).starts_with("Error: ")) << run.lines.at(run.lines.size() - 2);
    if (cut < headers) {
      EXPECT_FALSE(test::Exists("maps"));
      continue;
    }
    std::size_t data = cut - headers;
    std::map<std::string, std::string> expected{{"a.txt", std::string("abc").substr(0, data)}};
    if (data >= 3) expected["sub/b.txt"] = std::string("0123456789").substr(0, data - 3);
    EXPECT_EQ(test::TreeOf("maps"), expected);
  }
}

TEST(Extract, ExistingFilesAreReplacedNeverWrittenThrough) {
  test::TempDir dir;
  fs::create_directories("maps/sub");
  test::WriteFile("outside.txt", "keep");
  fs::create_hard_link("outside.txt", "maps/a.txt");
  fs::create_symlink("../outside.txt", "maps/sub/b.txt");
  Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{"a.txt", "new"}, {"sub\\b.txt", "new"}}));
  EXPECT_EQ(test::ReadFile("maps/a.txt"), "new");
  EXPECT_EQ(test::ReadFile("outside.txt"), "keep");
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines.at(3), "Error: sub\\b.txt: cannot create the file: Is a symbolic link");
}

TEST(Extract, LinksWhereFoldersGoAreRefused) {
  for (const char* link : {"maps", "maps/sub"}) {
    SCOPED_TRACE(link);
    test::TempDir dir;
    fs::create_directories("elsewhere");
    fs::create_directories("maps");
    if (std::string(link) == "maps") fs::remove("maps");
    fs::create_directory_symlink(dir.path() + "/elsewhere", link);
    Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{"sub\\b.txt", "x"}, {"c.txt", "y"}}));
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(fs::is_empty("elsewhere"));
  }
}

TEST(Extract, FileWhereAFolderMustGoFailsThatEntryOnly) {
  test::TempDir dir;
  fs::create_directories("maps");
  test::WriteFile("maps/sub", "i am a file");
  Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{"sub\\b.txt", "x"}, {"c.txt", "y"}}));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines.at(1), "Error: sub: cannot create the folder: Not a directory");
  EXPECT_EQ(test::ReadFile("maps/c.txt"), "y");
  EXPECT_EQ(test::ReadFile("maps/sub"), "i am a file");
}

TEST(Extract, OutputFolderThatIsAFileStopsBeforeAnyEntry) {
  test::TempDir dir;
  test::WriteFile("maps", "file");
  Outcome run = ExtractBytes("maps.vrk", ArchiveBytes::Of({{"c.txt", "y"}}));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"Extracting file maps.vrk...",
                                                 "Error: maps: cannot create the folder: Not a directory",
                                                 "Failed with 1 error."}));
}

TEST(Extract, UnopenableArchiveNamesTheReason) {
  test::TempDir dir;
  test::LogCapture log;
  Archive archive;
  EXPECT_EQ(archive.Extract("missing.vrk"), 0);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Extracting file missing.vrk...",
                                                   "Error: missing.vrk: No such file or directory",
                                                   "Failed with 1 error."}));
  EXPECT_FALSE(test::Exists("missing"));
}

struct FaultCase {
  const char* what;
  std::function<void(test::FaultySystem&)> arm;
  const char* error;
  std::map<std::string, std::string> left;  // files under maps/ afterwards
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

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
  EXPECT_EQ(test::TreeOf("maps"), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractFault,
    testing::Values(
        FaultCase{"disk full", [](auto& s) { s.failWriteAfter["sub/b.txt"] = {4, ENOSPC}; },
                  "Error: sub\\b.txt: No space left on device; the incomplete file is removed", {{"a.txt", "abc"}}},
        FaultCase{"file too large", [](auto& s) { s.failWriteAfter["a.txt"] = {0, EFBIG}; },
                  "Error: a.txt: File too large; the incomplete file is removed", {}},
        FaultCase{"create refused", [](auto& s) { s.failOpen["maps/a.txt"] = EACCES; },
                  "Error: a.txt: cannot create the file: Permission denied",
                  {{"sub/b.txt", "0123456789"}, {"c.txt", "z"}}},
        FaultCase{"folder refused", [](auto& s) { s.failMakeDir["sub"] = EACCES; },
                  "Error: sub: cannot create the folder: Permission denied", {{"a.txt", "abc"}, {"c.txt", "z"}}},
        FaultCase{"short read", [](auto& s) { s.shortReadAfter["maps.vrk"] = {110, EIO}; },
                  "Error: sub\\b.txt: read error after 4 of 10 bytes: Input/output error",
                  {{"a.txt", "abc"}, {"sub/b.txt", "0123"}}}),
    [](const auto& info) {
      std::string name = info.param.what;
      std::replace(name.begin(), name.end(), ' ', '_');
      return name;
    });

// name, then the folders it creates below the current one.
using ChainCase = std::pair<const char*, std::vector<std::string>>;
class DirectoryChain : public testing::TestWithParam<ChainCase> {};

TEST_P(DirectoryChain, CreatesEachFolderButNotTheFileAndComesBack) {
  test::TempDir dir;
  Archive archive;
  archive.MakeDirectoryChain(GetParam().first);
  std::vector<std::string> made;
  for (const auto& item : fs::recursive_directory_iterator(dir.path())) made.push_back(fs::relative(item.path(), dir.path()));
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made, GetParam().second);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

INSTANTIATE_TEST_SUITE_P(Table, DirectoryChain,
                         testing::Values(std::make_pair("c.txt", std::vector<std::string>{}),
                                         std::make_pair("A\\B\\c.txt", std::vector<std::string>{"A", "A/B"}),
                                         std::make_pair("A\\B\\", std::vector<std::string>{"A", "A/B"}),
                                         std::make_pair("\\A\\c.txt", std::vector<std::string>{"A"}),
                                         std::make_pair("A\\\\B\\c.txt", std::vector<std::string>{"A", "A/B"}),
                                         std::make_pair("A/B/c.txt", std::vector<std::string>{"A", "A/B"}),
                                         std::make_pair("A/B\\c.txt", std::vector<std::string>{"A", "A/B"})));

}  // namespace
