// The vrk command run in-process: exit statuses, the transcript on standard
// output, the listing and the verification report.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/vrk_cli.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

struct Result {
  int status;
  std::string out, err;
};

const std::string kGoodArchive = ArchiveBytes::Of({{"a.txt", "abc"}});

Result Vrk(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunVrk(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(Cli, CompressThenExtractFromAnotherFolder) {
  test::TempDir dir;
  fs::create_directories("tree/sub");
  fs::create_directories("archives");
  test::WriteFile("tree/sub/b.txt", "0123456789");
  Result packed = Vrk({"c", "tree", "archives/t.vrk"});
  EXPECT_EQ(packed.status, 0) << packed.out;
  EXPECT_EQ(packed.out, "Compressing path " + dir.path() + platform::System::kNativeSeparator + "tree into t.vrk...\nCompressing sub\\b.txt (10 bytes)\nOK!\n"
                        "Saving t.vrk...\nAll done!\n");
  Result unpacked = Vrk({"extract", "archives/t.vrk"});
  EXPECT_EQ(unpacked.status, 0);
  EXPECT_EQ(unpacked.out, "Extracting file t.vrk...\nExtracting sub\\b.txt (10 bytes)\nAll done!\n");
  EXPECT_EQ(test::ReadFile("archives/t/sub/b.txt"), "0123456789");
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

struct ListCase {
  const char* label;
  std::vector<std::string> args;
  std::string bytes;  // written as m.vrk
  int status;
  std::string out, err;
};
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.label; }

class List : public testing::TestWithParam<ListCase> {};

// One line per entry, names shown as messages show them; the total only for
// an archive read whole; problems on standard error; nothing written.
TEST_P(List, ShowsSizesNamesAndATotal) {
  test::TempDir dir;
  test::WriteFile("m.vrk", GetParam().bytes);
  Result listed = Vrk(GetParam().args);
  EXPECT_EQ(listed.status, GetParam().status);
  EXPECT_EQ(listed.out, GetParam().out);
  EXPECT_EQ(listed.err, GetParam().err);
  EXPECT_EQ(test::TreeOf(dir.path()).size(), 1u);
}

const std::string kEmptyInside =
    ArchiveBytes().Header("a.txt", 3).Header("e", 0).Header("b", 1).Terminator().Raw("abcb").str();

INSTANTIATE_TEST_SUITE_P(
    Table, List,
    testing::Values(
        ListCase{"sizes names and total", {"l", "m.vrk"},
                 ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", std::string(1234567, 'b')}}), 0,
                 "         3  a.txt\n   1234567  sub\\b.txt\n2 files, 1234570 bytes\n", ""},
        ListCase{"names escaped", {"l", "m.vrk"}, ArchiveBytes::Of({{"x\n    999999  readme.txt\x1b[2J", "1"}}), 0,
                 "         1  x^J    999999  readme.txt^[[2J\n1 file, 1 byte\n", ""},
        ListCase{"missing archive", {"l", "none.vrk"}, "", 1, "", "Error: none.vrk: No such file or directory\n"},
        ListCase{"empty file packed by another writer", {"l", "m.vrk"}, kEmptyInside, 1, "",
                 "Error: e: a header of size 0 with a name ends the list at offset 26: the archive holds an empty file "
                 "packed by another writer, so where its data block begins is unknown and nothing is listed; to "
                 "recover it, run: vrk list --recover m.vrk\n"},
        ListCase{"empty file recovered", {"l", "--recover", "m.vrk"}, kEmptyInside, 0,
                 "         3  a.txt\n         0  e\n         1  b\n3 files, 4 bytes\n",
                 "Warning: m.vrk: recovered 1 empty file packed by another writer (the first, e, at offset 26): the "
                 "header list was read on to the terminator, and the sizes account for the whole archive\n"}),
    test::LabelName());

// A listing or transcript that cannot be written is a failure.
TEST(Cli, OutputThatCannotBeWrittenFailsTheRun) {
  test::TempDir dir;
  test::WriteFile("m.vrk", kGoodArchive);
  struct Full : std::streambuf {
    int_type overflow(int_type) override { return traits_type::eof(); }
  } full;
  for (const char* command : {"l", "x"}) {
    std::ostream out(&full);
    std::ostringstream err;
    EXPECT_EQ(RunVrk({command, "m.vrk"}, out, err), 1) << command;
    EXPECT_EQ(err.str(), "Error: standard output: cannot be written\n") << command;
  }
}

struct VerifyCase {
  const char* label;
  std::string bytes;
  int status;
  const char* line;  // a line the report holds
};
void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.label; }

class Verify : public testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, ReportsEachProblemWithItsOffset) {
  test::TempDir dir;
  test::WriteFile("v.vrk", GetParam().bytes);
  Result verified = Vrk({"t", "v.vrk"});
  EXPECT_EQ(verified.status, GetParam().status);
  EXPECT_NE(verified.out.find(std::string(GetParam().line) + "\n"), std::string::npos) << verified.out;
  EXPECT_EQ(verified.out.ends_with("All done!\n"), GetParam().status == 0);
  EXPECT_EQ(test::TreeOf(dir.path()).size(), 1u);
}


INSTANTIATE_TEST_SUITE_P(
    Table, Verify,
    testing::Values(
        VerifyCase{"good", kGoodArchive, 0, "Trailer found at offset 50."},
        VerifyCase{"no trailer", kGoodArchive.substr(0, 50), 0, "No trailer behind the data block (offset 50)."},
        VerifyCase{"extra bytes", kGoodArchive + "xy", 0, "Trailer found at offset 50, followed by 2 more bytes."},
        VerifyCase{"cut header", kGoodArchive.substr(0, 30), 1,
                   "Error: v.vrk: damaged archive: the header at offset 26 is cut off"},
        VerifyCase{"cut data", kGoodArchive.substr(0, 48), 1,
                   "Error: a.txt: the entry's data at offset 47 claims 3 bytes but only 1 remain"},
        VerifyCase{"named empty", ArchiveBytes().Header("a", 1).Header("empty.txt", 0).Header("b", 1).Terminator().str(), 1,
                   "Error: empty.txt: the header list ends at offset 22 on a header of size 0 that has a name: an "
                   "empty file stored by another writer, so what follows is probably more headers read as data"},
        VerifyCase{"one entry", kGoodArchive, 0, "1 entry, 3 bytes of data."},
        VerifyCase{"one stray byte", kGoodArchive.substr(0, 50) + "x", 0,
                   "1 byte behind the data block at offset 50 is not the trailer."},
        VerifyCase{"file where a folder goes", ArchiveBytes::Of({{"a", "1"}, {"a\\b", "2"}}), 1,
                   "Error: a\\b: the header at offset 22 needs the folder a, where the entry a (offset 0) is a file"},
        VerifyCase{"folder where a file goes", ArchiveBytes::Of({{"a\\b", "1"}, {"a", "2"}}), 1,
                   "Error: a: the header at offset 24 is a file where the entry a\\b (offset 0) needs a folder"},
        VerifyCase{"same file twice", ArchiveBytes::Of({{"d.txt", "1"}, {".\\d.txt", "2"}}), 0,
                   "Warning: .\\d.txt: the header at offset 26 names the same file as the entry d.txt (offset 0); "
                   "extraction keeps only the later one"},
        VerifyCase{"refused name", ArchiveBytes::Of({{"..\\x", "1"}}), 1,
                   "Error: ..\\x: the header at offset 0 names an entry that extraction refuses: the name climbs out "
                   "of the output folder with '..'"}),
    test::LabelName());

struct UsageCase {
  const char* label;
  std::vector<std::string> args;
  int status;
  const char* text;  // what standard output or error holds
};
void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.label; }

class Usage : public testing::TestWithParam<UsageCase> {};

// Help, version, and command lines refused before any work, saying what was
// not understood.
TEST_P(Usage, IsAnsweredBeforeAnyWork) {
  test::TempDir dir;
  fs::create_directory("src");
  Result run = Vrk(GetParam().args);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_NE((run.out + run.err).find(GetParam().text), std::string::npos) << run.out << run.err;
  EXPECT_EQ(test::Snapshot(dir.path()), (std::map<std::string, std::string>{{"src", "<dir>"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Usage,
    testing::Values(
        UsageCase{"no command", {}, 2, "A subcommand is required"},
        UsageCase{"help", {"--help"}, 0, "Exit status: 0 when the run succeeded, 1 when it met errors"},
        UsageCase{"command help shows global options", {"extract", "--help"}, 0, "-q,--quiet"},
        UsageCase{"command help states exit status", {"list", "--help"}, 0, "2 when the command line was not understood"},
        UsageCase{"version", {"--version"}, 0, "vrk " VRK_VERSION " ("},
        UsageCase{"unknown command", {"frobnicate"}, 2,
                  "frobnicate: not a command of vrk; the commands are extract, compress, list, verify, cat, diff\n"},
        UsageCase{"unknown option", {"-x"}, 2, "-x: not an option of vrk\n"},
        UsageCase{"name like an option", {"extract", "-x.vrk"}, 2,
                  "-x.vrk: not an option of vrk extract; a name that begins with '-' goes after '--': vrk extract -- "
                  "-x.vrk\n"},
        UsageCase{"no archive", {"extract"}, 2, "ARCHIVE is required"},
        UsageCase{"empty archive", {"x", ""}, 2, "ARCHIVE: the name is empty"},
        UsageCase{"empty folder", {"c", "", "out.vrk"}, 2, "FOLDER: the name is empty"},
        UsageCase{"archive ends in a separator", {"c", "src", "out/"}, 2, "ARCHIVE: the name ends in a separator"},
        UsageCase{"archive is a folder", {"c", "src", "."}, 2, "ARCHIVE: a folder of that name exists"}),
    test::LabelName());

TEST(Cli, FailuresAndQuietMode) {
  test::TempDir dir;
  Result missing = Vrk({"x", "missing.vrk", "--quiet"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Error: missing.vrk: No such file or directory\n");
  Result noFolder = Vrk({"c", "nowhere", "x.vrk"});
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(noFolder.out, "Error: nowhere: No such file or directory\n");
}

}  // namespace
