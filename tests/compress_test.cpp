// Packing: the archive's layout, its temporary name, and trees packed and extracted back.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>

#include "tests/support.h"

namespace fs = std::filesystem;

namespace {

// A file gives its header (size little-endian: 259 is 03 01 00 00), the terminator, its bytes and the trailer.
// The archive is written as NAME.partial- and eight fresh letters or digits.
TEST(Compress, ArchiveLayoutAndTemporaryName) {
  test::TempDir dir;
  fs::create_directory("src");
  test::FaultySystem sys;
  std::set<std::string> names;
  sys.onCreate = [&names](const std::string& path) { names.insert(path); };
  platform::ScopedSystem scoped(sys);
  const std::string small = std::string(256, 'x') + "abc";
  test::WriteFile("src/a.txt", small);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(test::Pack(dir).result, 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), std::string("a.txt") + std::string(17, '\0') + "\x03\x01" +
                                           std::string(23, '\0') + small + "Korvane VRK Tool archive v1.01a");
  EXPECT_EQ(names.size(), 40u);
  for (const std::string& name : names)
    EXPECT_TRUE(std::regex_match(name, std::regex(".*out\\.vrk\\.partial-[a-z0-9]{8}"))) << name;
  // An old archive inside the folder is packed with its old content.
  const std::string old = test::ReadFile("out.vrk");
  sys.listOrder[fs::path(dir.path()).filename().string()] = {"out.vrk", "src"};
  ASSERT_EQ(test::Pack(dir, ".").result, 1);
  EXPECT_EQ(test::ReadFile("out.vrk"), test::ArchiveBytes::Of({{"out.vrk", old}, {"src\\a.txt", small}}));
}

class RoundTrip : public testing::TestWithParam<int> {};

// A tree named with a trailing separator comes back byte for byte: walked in pre-order of the listing, dot folders left
// out, files read in two pieces (held, or at the write), one copied by the kernel, which the parameter makes refuse.
TEST_P(RoundTrip, GivesTheTreeBackByteForByte) {
  if (GetParam()) VRK_POSIX_ONLY("the kernel's file-to-file copy");
  test::TempDir dir;
  fs::create_directories("src/s/deeper");
  fs::create_directories("src/.backup");
  std::string bytes(2100001, '\0');  // big.bin: more than one copy buffer
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  test::WriteFile("src/s/big.bin", bytes);
  for (int i = 1; i <= 60; ++i) test::WriteFile("src/s/deeper/" + std::to_string(i), bytes.substr(i, i * 4000));
  for (const char* file : {"src/b.txt", "src/.cfg", "src/a.txt", "src/s/c.txt", "src/.backup/x.txt"})
    test::WriteFile(file, file);
  test::FaultySystem sys;
  sys.listOrder = {{"src", {"b.txt", "s", ".cfg", "a.txt", ".backup"}}, {"s", {"big.bin", "c.txt"}}};
  sys.rules = {{test::FaultySystem::kSplit, "a.txt", 3, 0}, {test::FaultySystem::kSplit, "deeper/", 3, 0}};
  sys.refuseKernelCopy = GetParam();
  platform::ScopedSystem scoped(sys);
  // Some files held, the others read at the write; some kept open since the walk, the others opened again.
  test::Outcome packed = test::Pack(dir, "src/", 1 << 20, 20);
  ASSERT_EQ(packed.result, 1);
  packed.names.resize(5);
  EXPECT_EQ(packed.names, (std::vector<std::string>{"b.txt", ".cfg", "a.txt", "s\\big.bin", "s\\c.txt"}));
  test::LogCapture log;
  ASSERT_EQ(Archive().Extract("out.vrk"), 1);
  auto tree = test::TreeOf("src");
  tree.erase(".backup/x.txt");
  EXPECT_TRUE(test::TreeOf("out") == tree);
  EXPECT_TRUE(!GetParam() || sys.kernelCopies == 4);  // a part, then a refusal, for each direction
}

INSTANTIATE_TEST_SUITE_P(KernelCopyRefusedWith, RoundTrip, testing::Values(0, EXDEV, EINVAL, ENOSYS, EOPNOTSUPP));

}  // namespace
