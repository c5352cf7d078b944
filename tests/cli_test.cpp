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

TEST(Cli, ListShowsSizesNamesAndATotal) {
  test::TempDir dir;
  test::WriteFile("m.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", std::string(1234567, 'b')}}));
  Result listed = Vrk({"l", "m.vrk"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, "         3  a.txt\n   1234567  sub\\b.txt\n2 files, 1234570 bytes\n");
  EXPECT_FALSE(fs::exists("m"));
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

const std::string kGood = ArchiveBytes::Of({{"a.txt", "abc"}});

INSTANTIATE_TEST_SUITE_P(
    Table, Verify,
    testing::Values(
        VerifyCase{"good", kGood, 0, "Trailer found at offset 50."},
        VerifyCase{"no trailer", kGood.substr(0, 50), 0, "No trailer behind the data block (offset 50)."},
        VerifyCase{"extra bytes", kGood + "xy", 0, "Trailer found at offset 50, followed by 2 more bytes."},
        VerifyCase{"cut header", kGood.substr(0, 30), 1,
                   "Error: v.vrk: damaged archive: the header at offset 26 is cut off"},
        VerifyCase{"cut data", kGood.substr(0, 48), 1,
                   "Error: a.txt: the entry's data at offset 47 claims 3 bytes but only 1 remain"},
        VerifyCase{"named empty", ArchiveBytes().Header("a", 1).Header("empty.txt", 0).Header("b", 1).Terminator().str(), 1,
                   "Error: empty.txt: the header list ends at offset 22 on a header of size 0 that has a name: an "
                   "empty file stored by another writer, so what follows is probably more headers read as data"},
        VerifyCase{"refused name", ArchiveBytes::Of({{"..\\x", "1"}}), 1,
                   "Error: ..\\x: the header at offset 0 names an entry that extraction refuses: the name climbs out "
                   "of the output folder with '..'"}),
    test::LabelName());

TEST(Cli, ExitStatusesAndQuietMode) {
  test::TempDir dir;
  EXPECT_EQ(Vrk({}).status, 2);
  EXPECT_EQ(Vrk({"bogus"}).status, 2);
  EXPECT_EQ(Vrk({"extract"}).status, 2);
  EXPECT_EQ(Vrk({"--help"}).status, 0);
  Result version = Vrk({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vrk " VRK_VERSION " (", 0), 0u);

  Result missing = Vrk({"x", "missing.vrk", "--quiet"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Error: missing.vrk: No such file or directory\n");
  Result noFolder = Vrk({"c", "nowhere", "x.vrk"});
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(noFolder.out, "Error: nowhere: No such file or directory\n");
}

}  // namespace
