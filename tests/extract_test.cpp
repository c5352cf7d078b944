// Extraction: the transcript, the files it writes, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

using Tree = std::map<std::string, std::string>;

TEST(Extract, WorkedExampleGivesItsDebugLines) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "a"}, {"sub\\b.txt", "0123456789"}}));
  test::FaultySystem sys;  // records the debug channel
  platform::ScopedSystem scoped(sys);
  EXPECT_EQ(Archive().Extract("maps.vrk"), 1);  // the debug channel gets the transcript and each full path
  EXPECT_EQ(sys.debugOutput, (std::vector<std::string>{"Extracting file maps.vrk...\n", "maps\\a.txt\n",
                                                       "Extracting a.txt (1 byte)\n", "maps\\sub\\b.txt\n",
                                                       "Extracting sub\\b.txt (10 bytes)\n", "All done!\n"}));
}

// Output folder, bad names, damage, recovery of another writer's empty files, claimed sizes: one error, or the files.
struct RunRow {
  std::string label;
  const char* archive;  // written in a folder that also holds the folder dir.vrk
  std::string bytes;
  int result;
  std::string line;  // text a line of the transcript holds
  Tree files = {};   // every file afterwards but the archive, relative to its folder
  bool recover = false;
  std::vector<std::string> only = {};  // the entries chosen; none: all
};
void PrintTo(const RunRow& row, std::ostream* os) { *os << row.label; }

class Extraction : public testing::TestWithParam<RunRow> {};

TEST_P(Extraction, WritesWhatTheArchiveHoldsOrNothing) {
  const RunRow& row = GetParam();
  test::TempDir dir;
  fs::create_directories("inner/dir.vrk");
  platform::Sys().ChangeDirectory("inner");
  ExtractOptions options;
  options.patterns = row.only;
  test::Outcome run = test::ExtractBytes(row.archive, row.bytes, options, row.recover);
  EXPECT_EQ(run.result, row.result);
  EXPECT_EQ(run.lines.back(), run.result ? "All done!" : "Failed with 1 error.");
  // An error is the transcript's last line before the summary: it follows every entry's own.
  EXPECT_TRUE(run.result ? std::ranges::any_of(run.lines, [&](const std::string& l) { return l.find(row.line) != l.npos; })
                         : run.lines.end()[-2].find(row.line) != std::string::npos)
      << testing::PrintToString(run.lines);
  Tree expected, tree = test::TreeOf(dir.path());
  for (const auto& [path, content] : row.files) expected["inner/" + path] = content;
  tree.erase(std::string("inner/") + row.archive);
  EXPECT_EQ(tree, expected);
  // Beside a damaged archive, not even the output folder is made.
  EXPECT_TRUE(row.archive != std::string("maps.vrk") || test::Exists("maps") == (row.result || !row.files.empty()));
}

const std::string kOne = ArchiveBytes::Of({{"f.txt", "1"}});
const std::string kEmptyInside =
    ArchiveBytes().Header("a.txt", 22).Header("empty.cfg", 0).Header("b.txt", 5).Terminator().Raw("hello world, this is abbbbb").str();
const char* kRecovered = "maps.vrk: recovered 1 empty file packed by another writer (the first, empty.cfg, at offset 26)";
const Tree kRecoveredFiles{{"maps/a.txt", "hello world, this is a"}, {"maps/empty.cfg", ""}, {"maps/b.txt", "bbbbb"}};
std::string Claiming(std::uint32_t size) { return ArchiveBytes().Header("huge.bin", size).Terminator().Raw("xyz").str(); }

INSTANTIATE_TEST_SUITE_P(
    Table, Extraction,
    testing::Values(
        RunRow{"name less four", "m.vrk", kOne, 1, "All done!", {{"m/f.txt", "1"}}},
        RunRow{"name too short", "abcd", kOne, 0, "Error: abcd: the name is too short to name an output folder after it"},
        RunRow{"folder dot", "..vrk", kOne, 0, "Error: ..vrk: the output folder would be '.' or '..'"},
        RunRow{"folder dotdot", "...vrk", kOne, 0, "Error: ...vrk: the output folder would be '.' or '..'"},
        RunRow{"folder with a separator", "x\\..vrk", kOne, 0,
               "Error: x\\..vrk: the output folder would not be a plain folder beside the archive"},
        RunRow{"archive is a folder", "dir.vrk", kOne, 0, "Error: dir.vrk: Is a directory"},
        RunRow{"empty archive", "maps.vrk", ArchiveBytes().Terminator().str(), 1, "All done!"},
        RunRow{"empty file refused", "maps.vrk", ArchiveBytes().Raw(kEmptyInside).Signature().str(), 0,
               "nothing is extracted; to recover it, run: vrk extract --recover maps.vrk"},
        RunRow{"recovered", "maps.vrk", ArchiveBytes().Raw(kEmptyInside).Signature().str(), 1, kRecovered, kRecoveredFiles, true},
        RunRow{"recovered without trailer", "maps.vrk", kEmptyInside, 1, kRecovered, kRecoveredFiles, true},
        RunRow{"recovery with one byte too many", "maps.vrk", ArchiveBytes().Raw(kEmptyInside).Signature().Raw("x").str(), 0,
               "account for 130 bytes (161 with the trailer), but the archive holds 162", {}, true},
        RunRow{"recovery cut behind it", "maps.vrk", kEmptyInside.substr(0, 70), 0,
               "the headers behind it do not reach a terminator (damaged archive: the header at offset 56 is cut off)", {}, true},
        RunRow{"recovered several, one last and in a folder", "maps.vrk",
               ArchiveBytes().Header("e1", 0).Header("x", 1).Header("d\\e2", 0).Terminator().Raw("z").str(), 1,
               "recovered 2 empty files packed by another writer (the first, e1, at offset 0)",
               {{"maps/e1", ""}, {"maps/x", "z"}, {"maps/d/e2", ""}}, true},
        RunRow{"claimed size 2 GiB", "maps.vrk", Claiming(0x80000000u), 0,
               "Error: huge.bin: the archive ends after 3 of the entry's 2147483648 bytes", {{"maps/huge.bin", "xyz"}}},
        RunRow{"claimed size 4 GiB", "maps.vrk", Claiming(0xFFFFFFFFu), 0,
               "Error: huge.bin: the archive ends after 3 of the entry's 4294967295 bytes", {{"maps/huge.bin", "xyz"}}},
        RunRow{"cut in an entry not chosen", "maps.vrk", ArchiveBytes::Of({{"a", "abc"}, {"b", "hello"}, {"c", "z"}}).substr(0, 92), 0,
               "Error: b: the archive ends after 2 of the entry's 5 bytes", {{"maps/a", "abc"}}, false, {"a", "c"}},
        RunRow{"name that never ends", "maps.vrk", std::string(3 << 20, 'n'), 0,
               "Error: maps.vrk: damaged archive: the header at offset 0 has a name longer than 1048576 bytes"}),
    test::LabelName());

// A cut in the header list is damage, never a clean end; a cut in the data leaves the bytes that were there.
std::vector<RunRow> Cuts() {
  const std::string sample = ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}});
  constexpr std::size_t kHeaders = 26 + 30 + 21;
  std::vector<RunRow> rows;
  for (std::size_t cut = 0; cut < kHeaders + 13; ++cut) {
    const std::string header = std::to_string(cut < 26 ? 0 : cut < 56 ? 26 : 56);
    RunRow row{std::to_string(cut), "maps.vrk", sample.substr(0, cut), 0,
               cut < kHeaders ? "Error: maps.vrk: damaged archive: the header at offset " + header + " is cut off"
                              : "the archive ends after"};
    const std::size_t data = cut - std::min(cut, kHeaders);
    if (cut >= kHeaders) row.files["maps/a.txt"] = std::string("abc").substr(0, data);
    if (data >= 3) row.files["maps/sub/b.txt"] = std::string("0123456789").substr(0, data - 3);
    rows.push_back(row);
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryCut, Extraction, testing::ValuesIn(Cuts()), test::LabelName());

struct MeetingRow {
  const char* label;
  const char* early;  // behind a first entry whose file is slow to be created
  const char* late;   // 150 entries on, a name that meets it
  const char* error = nullptr;
};
void PrintTo(const MeetingRow& row, std::ostream* os) { *os << row.label; }
class Lanes : public testing::TestWithParam<MeetingRow> {};

// Folders of many files are written by two lanes side by side, yet where two names meet, what comes out is what the
// archive's order gives, though the other lane runs ahead while the first entry's file is slow to be created.
TEST_P(Lanes, KeepTheArchiveOrderWhereNamesMeet) {
  const MeetingRow& row = GetParam();
  std::vector<std::pair<std::string, std::string>> files{{"d\\slow", "x"}, {row.early, "early"}};
  for (int i = 0; i < 150; ++i) files.emplace_back("d\\f" + std::to_string(i), "x");
  files.emplace_back(row.late, "late");
  test::TempDir dir;
  test::FaultySystem sys;
  sys.onCreate = [](const std::string& path) {
    if (path == "d\\slow") std::this_thread::sleep_for(std::chrono::milliseconds(300));
  };
  platform::ScopedSystem scoped(sys);
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of(files));
  EXPECT_EQ(run.result, row.error ? 0 : 1);
  EXPECT_TRUE(!row.error || run.Logged(std::string("Error: ") + row.error)) << testing::PrintToString(run.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Lanes,
    testing::Values(MeetingRow{"the same name twice", "d\\twice", "d\\twice"},
                    MeetingRow{"the same name spelt two ways", "d\\.\\twice", "d\\\\twice"},
                    MeetingRow{"a file, then a folder of that name", "d\\x", "d\\x\\y",
                               "d\\x\\y: cannot create the folder d\\x: Not a directory"},
                    MeetingRow{"a folder, then a file of that name", "d\\x\\y\\z", "d\\x",
                               "d\\x: cannot create the file: Is a directory"}),
    test::LabelName());

}  // namespace
