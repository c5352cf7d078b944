// Hostile entry names: every way a name could leave the output folder or
// upset a file system, and the names packing cannot store faithfully.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

struct NameRow {
  const char* label;
  std::vector<std::pair<std::string, std::string>> files;
  int result;
  const char* error;  // text an Error line holds, or nullptr
};
void PrintTo(const NameRow& row, std::ostream* os) { *os << row.label; }

class HostileEntryName : public testing::TestWithParam<NameRow> {};

// A refused name is skipped with an error naming it; the entry behind it is
// still extracted; nothing outside the output folder is touched.
TEST_P(HostileEntryName, IsRefusedOrExtractedInsideTheOutputFolder) {
  test::TempDir dir;
  auto files = GetParam().files;
  files.emplace_back("after.txt", "ok");
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of(files));
  EXPECT_EQ(run.result, GetParam().result);
  EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/maps/after.txt"), "ok");
  if (GetParam().error) {
    auto hit = std::find_if(run.lines.begin(), run.lines.end(), [&](const std::string& line) {
      return line.starts_with("Error: ") && line.find(GetParam().error) != std::string::npos;
    });
    EXPECT_NE(hit, run.lines.end()) << testing::PrintToString(run.lines);
  }
}

// The same holds where -C or -o places the output folder (both name
// a/b/out/maps here).
TEST_P(HostileEntryName, IsRefusedOrExtractedInsideAPlacedOutputFolder) {
  auto files = GetParam().files;
  files.emplace_back("after.txt", "ok");
  for (bool output : {false, true}) {
    test::TempDir dir;
    ExtractOptions options;
    (output ? options.outputFolder : options.parentFolder) = dir.path() + (output ? "/a/b/out/maps" : "/a/b/out");
    test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of(files), [] {}, options);
    EXPECT_EQ(run.result, GetParam().result) << (output ? "-o" : "-C");
    EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/maps/after.txt"), "ok");
  }
}

#ifdef _WIN32
// Windows words it differently from one version (and from Wine) to another.
constexpr const char* kNameTooLong = "cannot create the f";
#else
constexpr const char* kNameTooLong = "File name too long";
#endif
const std::string kLongComponent(5000, 'c');
const std::string kLongPath = [] {
  std::string path;
  for (int i = 0; i < 60; ++i) path += std::string(100, static_cast<char>('a' + i % 26)) + "\\";
  return path + "f.txt";
}();

INSTANTIATE_TEST_SUITE_P(
    Table, HostileEntryName,
    testing::Values(
        NameRow{"dotdot first", {{"..\\evil.txt", "x"}}, 0, "climbs out of the output folder with '..'"},
        NameRow{"dotdot slash", {{"../evil.txt", "x"}}, 0, "'..'"},
        NameRow{"dotdot deep", {{"a\\..\\..\\..\\evil.txt", "x"}}, 0, "'..'"},
        NameRow{"dotdot mixed separators", {{"a/..\\../evil.txt", "x"}}, 0, "'..'"},
        NameRow{"dotdot alone", {{"..", "x"}}, 0, "'..'"},
        NameRow{"dotdot last", {{"a\\..", "x"}}, 0, "'..'"},
        NameRow{"leading backslash", {{"\\evil.txt", "x"}}, 0, "absolute"},
        NameRow{"leading slash", {{"/tmp/evil.txt", "x"}}, 0, "absolute"},
        NameRow{"only separators", {{"\\/\\", "x"}}, 0, "absolute"},
        NameRow{"drive letter", {{"C:\\evil.txt", "x"}}, 0, "colon"},
        NameRow{"drive relative", {{"C:evil.txt", "x"}}, 0, "colon"},
        NameRow{"stream colon", {{"a.txt:stream", "x"}}, 0, "colon"},
        NameRow{"control byte", {{"bad\x01name", "x"}}, 0, "bad^Aname: refused: the name holds a control character"},
        NameRow{"escape sequence", {{"a\x1b[2Jb", "x"}}, 0, "a^[[2Jb: refused"},
        NameRow{"delete byte", {{"bad\x7fname", "x"}}, 0, "bad^?name"},
        NameRow{"trailing separator", {{"dir\\", "x"}}, 0, "names no file"},
        NameRow{"dot last", {{"dir\\.", "x"}}, 0, "has no file name"},
        NameRow{"dot alone", {{".", "x"}}, 0, ".: refused: the name has no file name"},
        NameRow{"empty name", {{"", "x"}}, 0, "the header at offset 0: refused: the name is empty"},
        NameRow{"component too long", {{kLongComponent + "\\f", "x"}}, 0, kNameTooLong},
        NameRow{"file name too long", {{kLongComponent, "x"}}, 0, kNameTooLong},
        NameRow{"file then folder", {{"a", "1"}, {"a\\b", "2"}}, 0, "a\\b: cannot create the folder a: Not a directory"},
        NameRow{"folder then file", {{"a\\b", "1"}, {"a", "2"}}, 0, "a: cannot create the file: Is a directory"},
        NameRow{"same name twice", {{"d.txt", "first"}, {"d.txt", "second"}}, 1, nullptr},
        NameRow{"doubled separators", {{"a\\\\b.txt", "x"}}, 1, nullptr},
        NameRow{"dot components", {{".\\a\\.\\b.txt", "x"}}, 1, nullptr},
#ifdef _WIN32
        // The system would drop the trailing dots.
        NameRow{"dots inside names", {{"..x\\y..\\...", "x"}}, 0, "ends in a dot or a space"},
#else
        NameRow{"dots inside names", {{"..x\\y..\\...", "x"}}, 1, nullptr},
#endif
        NameRow{"slash inside a component", {{"A/B\\c.txt", "x"}}, 1, nullptr}
#ifndef _WIN32
        // Windows' limit, MAX_PATH, is exceeded in windows_test.cpp.
        ,
        NameRow{"path longer than the system takes", {{kLongPath, "x"}}, 1, nullptr}
#endif
        ),
    test::LabelName());

#ifdef _WIN32
TEST(UnstorableName, FailsThePackingRun) {
  VRK_POSIX_ONLY("a '\\', ':' or control byte in a file name, which Windows does not allow");
}
#else
struct UnstorableRow {
  const char* label;
  const char* path;  // created below src
  bool folder;
  const char* error;
};
void PrintTo(const UnstorableRow& row, std::ostream* os) { *os << row.label; }

class UnstorableName : public testing::TestWithParam<UnstorableRow> {};

// A name that would not come back as it was is an error, and no archive is
// written.
TEST_P(UnstorableName, FailsThePackingRun) {
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/fine.txt", "ok");
  const std::string path = std::string("src/") + GetParam().path;
  if (GetParam().folder) {
    fs::create_directory(path);
    test::WriteFile(path + "/inner.txt", "x");
  } else {
    test::WriteFile(path, "x");
  }
  test::Outcome packed = test::Pack(dir);
  EXPECT_EQ(packed.result, 0);
  EXPECT_TRUE(packed.Logged(GetParam().error)) << testing::PrintToString(packed.lines);
  EXPECT_FALSE(test::Exists("out.vrk"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnstorableName,
    testing::Values(
        UnstorableRow{"backslash in a file", "a\\b.txt", false,
                      "Error: a\\b.txt: the name holds a '\\', which the archive would read as a folder separator"},
        UnstorableRow{"backslash in a folder", "d\\e", true,
                      "Error: d\\e: the name holds a '\\', which the archive would read as a folder separator"},
        UnstorableRow{"colon", "a:b.txt", false, "Error: a:b.txt: the name holds a ':', which extraction refuses"},
        UnstorableRow{"control byte", "tab\tname", false,
                      "Error: tab^Iname: the name holds a control character, which extraction refuses"}),
    test::LabelName());
#endif

}  // namespace
