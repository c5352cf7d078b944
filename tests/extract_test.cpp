// Extraction: the transcript, the files it writes, and what it refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

using test::ExtractBytes;
using test::Outcome;

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

// An archive that cannot be opened, missing or a folder, is one error with
// the system's reason, and nothing is created.
TEST(Extract, UnopenableArchiveNamesTheReason) {
  test::TempDir dir;
  fs::create_directory("folder.vrk");
  for (const auto& [name, reason] : {std::pair{"missing.vrk", "No such file or directory"},
                                     std::pair{"folder.vrk", "Is a directory"}}) {
    test::LogCapture log;
    Archive archive;
    EXPECT_EQ(archive.Extract(name), 0);
    std::string error = "Error: ";
    error += name;
    error += ": ";
    error += reason;
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Extracting file " + std::string(name) + "...", error,
                                                     "Failed with 1 error."}));
  }
  EXPECT_EQ(test::Snapshot(dir.path()), (std::map<std::string, std::string>{{"folder.vrk", "<dir>"}}));
}

// A named header of size 0 (an empty file, as other writers pack it) ends the
// list, so the data block's start is unknown: nothing is extracted. Asked to
// recover, extraction reads on to the terminator where the sizes account for
// the whole file, and creates the empty files empty.
struct EmptyFileRow {
  const char* label;
  std::string bytes;
  bool recover;
  std::vector<std::string> lines;
  std::map<std::string, std::string> files;  // below maps/, if it exists
};
void PrintTo(const EmptyFileRow& row, std::ostream* os) { *os << row.label; }

class EmptyFile : public testing::TestWithParam<EmptyFileRow> {};

TEST_P(EmptyFile, IsRefusedOrRecoveredWhole) {
  test::TempDir dir;
  Outcome run = ExtractBytes("maps.vrk", GetParam().bytes, {}, GetParam().recover);
  EXPECT_EQ(run.lines, GetParam().lines);
  EXPECT_EQ(run.result, GetParam().lines.back() == "All done!");
  using Tree = std::map<std::string, std::string>;
  EXPECT_EQ(test::Exists("maps") ? test::TreeOf("maps") : Tree{}, GetParam().files);
}

const std::string kEmptyInside = ArchiveBytes()
                                     .Header("a.txt", 22)
                                     .Header("empty.cfg", 0)
                                     .Header("b.txt", 5)
                                     .Terminator()
                                     .Raw("hello world, this is abbbbb")
                                     .str();
const std::string kRefused =
    "Error: empty.cfg: a header of size 0 with a name ends the list at offset 26: the archive holds an empty file "
    "packed by another writer, so where its data block begins is unknown and nothing is extracted; ";
const std::vector<std::string> kRecovered{
    "Extracting file maps.vrk...",
    "Warning: maps.vrk: recovered 1 empty file packed by another writer (the first, empty.cfg, at offset 26): the "
    "header list was read on to the terminator, and the sizes account for the whole archive",
    "Extracting a.txt (22 bytes)", "Extracting empty.cfg (0 bytes)", "Extracting b.txt (5 bytes)", "All done!"};
const std::map<std::string, std::string> kRecoveredFiles{
    {"a.txt", "hello world, this is a"}, {"empty.cfg", ""}, {"b.txt", "bbbbb"}};

INSTANTIATE_TEST_SUITE_P(
    Table, EmptyFile,
    testing::Values(
        EmptyFileRow{"refused",
                     ArchiveBytes().Raw(kEmptyInside).Signature().str(),
                     false,
                     {"Extracting file maps.vrk...", kRefused + "to recover it, run: vrk extract --recover maps.vrk",
                      "Failed with 1 error."},
                     {}},
        EmptyFileRow{"recovered", ArchiveBytes().Raw(kEmptyInside).Signature().str(), true, kRecovered, kRecoveredFiles},
        EmptyFileRow{"recovered without trailer", kEmptyInside, true, kRecovered, kRecoveredFiles},
        EmptyFileRow{"one byte too many",
                     ArchiveBytes().Raw(kEmptyInside).Signature().Raw("x").str(),
                     true,
                     {"Extracting file maps.vrk...",
                      kRefused + "reading on to the terminator does not recover it: the headers up to the terminator "
                                 "and their sizes account for 130 bytes (161 with the trailer), but the archive holds 162",
                      "Failed with 1 error."},
                     {}},
        EmptyFileRow{"cut behind it",
                     kEmptyInside.substr(0, 70),
                     true,
                     {"Extracting file maps.vrk...",
                      kRefused + "reading on to the terminator does not recover it: the headers behind it do not reach "
                                 "a terminator (damaged archive: the header at offset 56 is cut off)",
                      "Failed with 1 error."},
                     {}},
        EmptyFileRow{"several, one last and in a folder",
                     ArchiveBytes().Header("e1", 0).Header("x", 1).Header("d\\e2", 0).Terminator().Raw("z").str(),
                     true,
                     {"Extracting file maps.vrk...",
                      "Warning: maps.vrk: recovered 2 empty files packed by another writer (the first, e1, at offset "
                      "0): the header list was read on to the terminator, and the sizes account for the whole archive",
                      "Extracting e1 (0 bytes)", "Extracting x (1 byte)", "Extracting d\\e2 (0 bytes)", "All done!"},
                     {{"e1", ""}, {"x", "z"}, {"d/e2", ""}}}),
    test::LabelName());

// The folders of an entry's path (either separator) are made one by one
// below the current folder, which is current again afterwards.
class DirectoryChain : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(DirectoryChain, CreatesEachFolderButNotTheFileAndComesBack) {
  test::TempDir dir;
  Archive archive;
  archive.MakeDirectoryChain(GetParam().first);
  std::string made;
  for (const auto& [path, content] : test::Snapshot(dir.path())) made += (made.empty() ? "" : " ") + path;
  EXPECT_EQ(made, GetParam().second);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

INSTANTIATE_TEST_SUITE_P(Table, DirectoryChain,
                         testing::Values(std::pair{"c.txt", ""}, std::pair{"A\\B\\c.txt", "A A/B"},
                                         std::pair{"A\\B\\", "A A/B"}, std::pair{"\\A\\c.txt", "A"},
                                         std::pair{"A\\\\B\\c.txt", "A A/B"}, std::pair{"A/B/c.txt", "A A/B"},
                                         std::pair{"A/B\\c.txt", "A A/B"}));

// Entries of sizes on both sides of the reader's buffers (read ahead, copied
// through memory, or copied by the system) come back whole, wherever in the
// data block they start.
TEST(Extract, EntriesOfEverySizeComeBackWhole) {
  test::TempDir dir;
  std::vector<std::pair<std::string, std::string>> files;
  std::uint32_t seed = 7;
  std::size_t index = 0;
  for (std::size_t size : {3u, 1023u, 1024u, 4095u, 65535u, 65536u, 65537u, 1u, 262143u, 262144u, 262145u, 70001u}) {
    std::string content(size, '\0');
    for (char& c : content) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    std::string name = "d";
    name += std::to_string(index % 3);
    name += "\\f";
    name += std::to_string(index);
    files.emplace_back(name, content);
    ++index;
  }
  Outcome run = ExtractBytes("sizes.vrk", ArchiveBytes::Of(files));
  ASSERT_EQ(run.result, 1);
  for (const auto& [name, content] : files) {
    std::string path = "sizes/" + name;
    std::replace(path.begin(), path.end(), '\\', '/');
    EXPECT_TRUE(test::ReadFile(path) == content) << name;
  }
}

}  // namespace
