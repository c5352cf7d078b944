// Damaged archives: cut at every offset, sizes that claim more than there
// is, names that never end, huge header lists and random damage. Each must
// fail cleanly: nothing written outside the output folder, never a success.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/list_verify.h"
#include "tests/reference_model.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

const std::string kSample = ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}});
constexpr std::size_t kHeaderBytes = 26 + 30 + 21;

class Truncated : public testing::TestWithParam<std::size_t> {};

// A cut in the header list is damage at the header that was cut (never a
// clean end) and creates nothing; a cut in the data keeps the entries before
// it whole and gives the entry at the cut exactly the bytes that were there.
TEST_P(Truncated, FailsCleanlyAtEveryOffset) {
  const std::size_t cut = GetParam();
  test::TempDir dir;
  test::Outcome run = test::ExtractChecked(dir, kSample.substr(0, cut));
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines.back(), "Failed with 1 error.");
  const std::string output = dir.path() + "/a/b/out/maps";
  if (cut < kHeaderBytes) {
    EXPECT_FALSE(test::Exists(output));
    const std::string header = std::to_string(cut < 26 ? 0 : cut < 56 ? 26 : 56);
    EXPECT_EQ(run.lines.at(1), "Error: maps.vrk: damaged archive: the header at offset " + header + " is cut off");
    return;
  }
  std::size_t data = cut - kHeaderBytes;
  std::map<std::string, std::string> expected{{"a.txt", std::string("abc").substr(0, data)}};
  if (data >= 3) expected["sub/b.txt"] = std::string("0123456789").substr(0, data - 3);
  EXPECT_EQ(test::TreeOf(output), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryCut, Truncated, testing::Range<std::size_t>(0, kHeaderBytes + 13));

class ClaimedSize : public testing::TestWithParam<std::uint32_t> {};

// A size field far beyond the data is read unsigned and never allocated.
TEST_P(ClaimedSize, GetsOnlyTheBytesThatAreThere) {
  test::TempDir dir;
  const std::uint32_t size = GetParam();
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes().Header("huge.bin", size).Terminator().Raw("xyz").str());
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.lines.at(1), "Extracting huge.bin (" + std::to_string(size) + " bytes)");
  EXPECT_EQ(run.lines.at(2), "Error: huge.bin: the archive ends after 3 of the entry's " + std::to_string(size) + " bytes");
  EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/maps/huge.bin"), "xyz");
}

INSTANTIATE_TEST_SUITE_P(Table, ClaimedSize, testing::Values(0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu));

TEST(Damaged, NameThatNeverEndsIsDamageNotMemory) {
  test::TempDir dir;
  test::Outcome run = test::ExtractChecked(dir, std::string(3 << 20, 'n'));
  EXPECT_EQ(run.lines.at(1),
            "Error: maps.vrk: damaged archive: the header at offset 0 has a name longer than 1048576 bytes");
  EXPECT_FALSE(test::Exists(dir.path() + "/a/b/out/maps"));
}

TEST(Damaged, HundredsOfThousandsOfHeadersAreReadInFull) {
  test::TempDir dir;
  constexpr std::size_t kCount = 300000;
  ArchiveBytes bytes;
  for (std::size_t i = 0; i < kCount; ++i) bytes.Header("e", 1);
  test::WriteFile("many.vrk", bytes.Terminator().Raw(std::string(kCount, 'x')).str());
  test::LogCapture log;
  std::vector<std::unique_ptr<ArchiveEntry>> entries;
  EXPECT_EQ(ListArchive("many.vrk", entries), 1);
  EXPECT_EQ(entries.size(), kCount);
  EXPECT_EQ(VerifyArchive("many.vrk"), 1);
}

// Random damage to about 1% of the bytes, a thousand times per sample. The
// reference reading says what a success must have written.
class RandomDamage : public testing::TestWithParam<std::vector<std::pair<std::string, std::string>>> {};

TEST_P(RandomDamage, NeverEscapesAndNeverLies) {
  const std::string original = ArchiveBytes::Of(GetParam());
  std::mt19937 random(12345);
  test::TempDir dir;
  int successes = 0;
  for (int round = 0; round < 1000; ++round) {
    std::string bytes = original;
    std::size_t flips = std::max<std::size_t>(1, bytes.size() / 100);
    for (std::size_t i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
    test::Outcome run = test::ExtractChecked(dir, bytes);
    successes += run.result;
    fs::remove_all(dir.path() + "/a");
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      break;
    }
  }
  RecordProperty("successes", successes);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, RandomDamage,
    testing::Values(std::vector<std::pair<std::string, std::string>>{{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}},
                    std::vector<std::pair<std::string, std::string>>{{"d\\e\\f\\g.bin", std::string(200, 'g')}, {"h", "i"}},
                    std::vector<std::pair<std::string, std::string>>{
                        {"x", "1"}, {"y\\z", "22"}, {"..ok", "333"}, {"w\\v\\u", std::string(50, 'u')}}));

}  // namespace
