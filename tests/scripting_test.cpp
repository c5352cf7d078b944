// The commands for scripts: chosen entries, output folders, one entry to
// standard output, the JSON listing, reproducible packing and diff.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/entry_match.h"
#include "cli/vrk_cli.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;
using Files = std::map<std::string, std::string>;

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

// ---------------------------------------------------------------------------

struct MatchRow {
  const char* label;
  const char* pattern;
  const char* name;
  bool matches;
};
void PrintTo(const MatchRow& row, std::ostream* os) { *os << row.label; }

class Pattern : public testing::TestWithParam<MatchRow> {};

TEST_P(Pattern, MatchesAsTheShellWouldWithEitherSeparator) {
  EXPECT_EQ(MatchesEntryPattern(GetParam().pattern, GetParam().name), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pattern,
    testing::Values(MatchRow{"exact", "sub\\b.txt", "sub\\b.txt", true},
                    MatchRow{"slash for backslash", "sub/b.txt", "sub\\b.txt", true},
                    MatchRow{"backslash for slash", "sub\\b.txt", "sub/b.txt", true},
                    MatchRow{"case counts", "A.txt", "a.txt", false},
                    MatchRow{"part of a name", "a.tx", "a.txt", false},
                    MatchRow{"star", "*.txt", "a.txt", true},
                    MatchRow{"star stays in its level", "*.txt", "sub\\b.txt", false},
                    MatchRow{"star per level", "*/*.txt", "sub\\b.txt", true},
                    MatchRow{"star backtracks", "a*b*c", "aXbYbZc", true},
                    MatchRow{"star empty", "a*", "a", true},
                    MatchRow{"question mark", "?.txt", "a.txt", true},
                    MatchRow{"question mark is one byte", "?.txt", "ab.txt", false},
                    MatchRow{"question mark not a separator", "a?b", "a\\b", false},
                    MatchRow{"set", "[ab].txt", "b.txt", true},
                    MatchRow{"set misses", "[ab].txt", "c.txt", false},
                    MatchRow{"range", "f[0-9].dat", "f7.dat", true},
                    MatchRow{"negated set", "f[!0-9].dat", "f7.dat", false},
                    MatchRow{"caret negates", "f[^0-9].dat", "fx.dat", true},
                    MatchRow{"bracket first in set", "[]a]", "]", true},
                    MatchRow{"star taken literally in a set", "[*]", "*", true},
                    MatchRow{"unclosed bracket is itself", "a[b", "a[b", true},
                    MatchRow{"folder takes what is below", "sub", "sub\\deep\\b.txt", true},
                    MatchRow{"folder with separator", "sub/", "sub\\b.txt", true},
                    MatchRow{"folder pattern", "s*", "sub\\b.txt", true},
                    MatchRow{"no partial folder", "su", "sub\\b.txt", false},
                    MatchRow{"empty pattern", "", "a", false}),
    test::LabelName());

// ---------------------------------------------------------------------------

const std::string kMaps =
    ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}, {"sub\\c.dat", "cc"}, {"z.txt", "zz"}});

struct ChooseRow {
  const char* label;
  std::vector<std::string> names;
  int status;
  Files files;        // what maps/ holds afterwards
  const char* error;  // an Error line, or ""
};
void PrintTo(const ChooseRow& row, std::ostream* os) { *os << row.label; }

class ExtractNames : public testing::TestWithParam<ChooseRow> {};

// Chosen entries come out with their bytes (those behind skipped ones too);
// a name that matches nothing is an error that names it.
TEST_P(ExtractNames, TakesOnlyTheChosenEntries) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", kMaps);
  std::vector<std::string> args{"x", "maps.vrk"};
  args.insert(args.end(), GetParam().names.begin(), GetParam().names.end());
  Result run = Vrk(args);
  EXPECT_EQ(run.status, GetParam().status) << run.out;
  EXPECT_EQ(test::Exists("maps") ? test::TreeOf("maps") : Files{}, GetParam().files);
  if (*GetParam().error) {
    EXPECT_NE(run.out.find(std::string("Error: ") + GetParam().error + "\n"), std::string::npos) << run.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractNames,
    testing::Values(
        ChooseRow{"exact", {"sub\\b.txt"}, 0, {{"sub/b.txt", "0123456789"}}, ""},
        ChooseRow{"the last entry", {"z.txt"}, 0, {{"z.txt", "zz"}}, ""},
        ChooseRow{"pattern", {"*.txt"}, 0, {{"a.txt", "abc"}, {"z.txt", "zz"}}, ""},
        ChooseRow{"folder", {"sub"}, 0, {{"sub/b.txt", "0123456789"}, {"sub/c.dat", "cc"}}, ""},
        ChooseRow{"two names", {"sub/c.dat", "a.txt"}, 0, {{"a.txt", "abc"}, {"sub/c.dat", "cc"}}, ""},
        ChooseRow{"one unmatched", {"a.txt", "b*"}, 1, {{"a.txt", "abc"}},
                  "b*: no entry of the archive matches this name"},
        ChooseRow{"nothing matched", {"nope"}, 1, {}, "nope: no entry of the archive matches this name"}),
    test::LabelName());

// ---------------------------------------------------------------------------

struct CatRow {
  const char* label;
  std::string bytes;
  const char* name;
  int status;
  std::string out;
  const char* error;  // the standard error text, or ""
};
void PrintTo(const CatRow& row, std::ostream* os) { *os << row.label; }

class Cat : public testing::TestWithParam<CatRow> {};

TEST_P(Cat, WritesOnlyTheEntrysBytes) {
  test::TempDir dir;
  test::WriteFile("m.vrk", GetParam().bytes);
  Result run = Vrk({"p", "m.vrk", GetParam().name});
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_EQ(run.err, GetParam().error);
  EXPECT_EQ(test::TreeOf(dir.path()).size(), 1u);
}

const std::string kThree = ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0\n1\r\n2"}, {"z", "zz"}});

INSTANTIATE_TEST_SUITE_P(
    Table, Cat,
    testing::Values(
        CatRow{"first", kThree, "a.txt", 0, "abc", ""},
        CatRow{"middle", kThree, "sub/b.txt", 0, "0\n1\r\n2", ""},
        CatRow{"last", kThree, "z", 0, "zz", ""},
        CatRow{"absent", kThree, "b.txt", 1, "", "Error: m.vrk: no entry named b.txt\n"},
        CatRow{"same name twice takes the last", ArchiveBytes::Of({{"d", "first"}, {"d", "second"}}), "d", 0, "second",
               ""},
        CatRow{"cut inside its data", kThree.substr(0, 109), "z", 1, "z",
               "Error: z: the archive ends after 1 of the entry's 2 bytes\n"},
        CatRow{"cut before its data", kThree.substr(0, 105), "z", 1, "",
               "Error: z: the archive ends after 0 of the entry's 2 bytes\n"},
        CatRow{"damaged list", kThree.substr(0, 30), "a.txt", 1, "",
               "Error: m.vrk: damaged archive: the header at offset 26 is cut off\n"},
        // Behind an empty file packed by another writer the data block's
        // start is unknown: bytes from the wrong place are never written.
        CatRow{"list ends on a named empty file",
               ArchiveBytes().Header("a", 1).Header("e", 0).Header("b", 1).Terminator().Raw("ab").str(), "b", 1, "",
               "Error: e: a header of size 0 with a name ends the list at offset 22: the archive holds an empty file "
               "packed by another writer, so where its data block begins is unknown and nothing is read; to recover "
               "it, run: vrk extract --recover m.vrk\n"}),
    test::LabelName());

// ---------------------------------------------------------------------------

struct JsonRow {
  const char* label;
  std::string bytes;
  int status;
  std::vector<std::string> names;  // each entry's stored name
  std::vector<std::string> hex;    // "name_hex" of each entry, "" where absent
  bool complete, terminator, trailer;
};
void PrintTo(const JsonRow& row, std::ostream* os) { *os << row.label; }

class ListJson : public testing::TestWithParam<JsonRow> {};

// The document parses, gives every name back byte for byte, and places
// every header and every entry's data where it is in the file.
TEST_P(ListJson, DescribesTheArchive) {
  test::TempDir dir;
  test::WriteFile("m.vrk", GetParam().bytes);
  Result run = Vrk({"list", "--json", "m.vrk"});
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  nlohmann::json doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["archive"], "m.vrk");
  const auto& entries = doc["entries"];
  ASSERT_EQ(entries.size(), GetParam().names.size()) << run.out;
  const std::string& bytes = GetParam().bytes;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = GetParam().names[i];
    const auto& entry = entries[i];
    const std::string& hex = GetParam().hex[i];
    EXPECT_EQ(entry.value("name_hex", ""), hex);
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (hex.empty()) {
      EXPECT_EQ(entry["name"], name);
      EXPECT_EQ(entry["path"], path);
    }
    auto header = entry["header_offset"].get<std::size_t>();
    EXPECT_EQ(bytes.substr(header, name.size() + 1), name + '\0');
    EXPECT_EQ(entry["size"].get<std::uint32_t>(), static_cast<std::uint8_t>(bytes[header + name.size() + 17]));
    if (GetParam().complete && GetParam().terminator) {
      // Each test entry holds its name's first byte repeated.
      auto data = entry["data_offset"].get<std::size_t>();
      EXPECT_EQ(bytes.substr(data, entry["size"].get<std::size_t>()), std::string(entry["size"], name[0]));
    } else {
      EXPECT_TRUE(entry["data_offset"].is_null());
    }
  }
  const auto& summary = doc["summary"];
  EXPECT_EQ(summary["entries"], GetParam().names.size());
  EXPECT_EQ(summary["complete"], GetParam().complete);
  EXPECT_EQ(summary["terminator"], GetParam().terminator);
  EXPECT_EQ(summary["trailer"], GetParam().trailer);
}

const std::string kPlain = ArchiveBytes::Of({{"a.txt", "aaa"}, {"s\\b", "ssssssss"}});

INSTANTIATE_TEST_SUITE_P(
    Table, ListJson,
    testing::Values(
        JsonRow{"plain", kPlain, 0, {"a.txt", "s\\b"}, {"", ""}, true, true, true},
        JsonRow{"empty", ArchiveBytes().Terminator().Signature().str(), 0, {}, {}, true, true, true},
        JsonRow{"control bytes", ArchiveBytes::Of({{"\x01\x1f\"\\x", "\x01"}}), 0, {"\x01\x1f\"\\x"}, {""}, true,
                true, true},
        JsonRow{"not UTF-8", ArchiveBytes::Of({{"\xe9t\xe9.txt", "\xe9\xe9"}, {"\xc3\xa9", "\xc3"}}), 0,
                {"\xe9t\xe9.txt", "\xc3\xa9"}, {"e974e92e747874", ""}, true, true, true},
        JsonRow{"no trailer", kPlain.substr(0, kPlain.size() - 31), 0, {"a.txt", "s\\b"}, {"", ""}, true, true,
                false},
        JsonRow{"cut trailer", kPlain.substr(0, kPlain.size() - 1), 0, {"a.txt", "s\\b"}, {"", ""}, true, true,
                false},
        JsonRow{"named end", ArchiveBytes().Header("a", 1).Header("e", 0).Raw("a").str(), 1, {"a"}, {""}, true,
                false, false},
        JsonRow{"damaged list", kPlain.substr(0, 30), 1, {"a.txt"}, {""}, false, false, false}),
    test::LabelName());

// ---------------------------------------------------------------------------

struct SortRow {
  const char* label;
  std::vector<std::string> order;  // how the file system lists each folder
};
void PrintTo(const SortRow& row, std::ostream* os) { *os << row.label; }

class CompressSort : public testing::TestWithParam<SortRow> {};

// The tree listed in another order packs into the same bytes with --sort:
// each folder's files in byte order, then its sub-folders.
TEST_P(CompressSort, GivesTheSameBytesWhateverTheListingOrder) {
  test::TempDir dir;
  for (const char* folder : {"src/B", "src/a", "src/a/y"}) fs::create_directories(folder);
  for (const char* file : {"src/b.txt", "src/C.txt", "src/_", "src/a/x", "src/a/y/z", "src/B/w", "src/\xe9"})
    test::WriteFile(file, file);
  test::FaultySystem faulty;
  for (const char* folder : {"src", "a", "B", "y"}) faulty.listOrder[folder] = GetParam().order;
  platform::ScopedSystem scoped(faulty);
  ASSERT_EQ(Vrk({"-q", "c", "--sort", "src", "out.vrk"}).status, 0);
  std::vector<std::pair<std::string, std::string>> expected;
  for (const char* name : {"C.txt", "_", "b.txt", "\xe9", "B\\w", "a\\x", "a\\y\\z"}) {
    std::string path = std::string("src/") + name;
    std::replace(path.begin(), path.end(), '\\', '/');
    expected.emplace_back(name, path);
  }
  EXPECT_EQ(test::ReadFile("out.vrk"), ArchiveBytes::Of(expected));
}

INSTANTIATE_TEST_SUITE_P(Table, CompressSort,
                         testing::Values(SortRow{"forward", {"B", "C.txt", "_", "a", "b.txt", "x", "y", "z", "w"}},
                                         SortRow{"backward", {"\xe9", "z", "y", "x", "w", "b.txt", "a", "_", "C.txt", "B"}}),
                         test::LabelName());

// ---------------------------------------------------------------------------

struct DiffRow {
  const char* label;
  std::string a, b;
  int status;
  std::string out;
};
void PrintTo(const DiffRow& row, std::ostream* os) { *os << row.label; }

class Diff : public testing::TestWithParam<DiffRow> {};

TEST_P(Diff, ComparesContentsNotPositions) {
  test::TempDir dir;
  test::WriteFile("a.vrk", GetParam().a);
  test::WriteFile("b.vrk", GetParam().b);
  Result run = Vrk({"diff", "a.vrk", "b.vrk"});
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_EQ(run.err.empty(), GetParam().status != 2) << run.err;
}

const std::string kRelease = ArchiveBytes::Of({{"a.txt", "abc"}, {"s\\b", "0123"}, {"z", "zz"}});

INSTANTIATE_TEST_SUITE_P(
    Table, Diff,
    testing::Values(
        DiffRow{"same", kRelease, kRelease, 0, ""},
        DiffRow{"reordered", kRelease, ArchiveBytes::Of({{"z", "zz"}, {"s/b", "0123"}, {"a.txt", "abc"}}), 0, ""},
        DiffRow{"bytes changed", kRelease, ArchiveBytes::Of({{"a.txt", "abc"}, {"s\\b", "0124"}, {"z", "zz"}}), 1,
                "changed: s\\b\n"},
        DiffRow{"size changed", kRelease, ArchiveBytes::Of({{"a.txt", "abcd"}, {"s\\b", "0123"}, {"z", "zz"}}), 1,
                "changed: a.txt\n"},
        DiffRow{"added and removed", kRelease,
                ArchiveBytes::Of({{"s\\b", "0123"}, {"n", "n"}, {"z", "zz"}, {"zz", "1"}}), 1,
                "removed: a.txt\nadded: n\nadded: zz\n"},
        DiffRow{"damaged", kRelease, kRelease.substr(0, 30), 2, ""},
        DiffRow{"data cut", kRelease, kRelease.substr(0, kRelease.size() - 33), 2, ""}),
    test::LabelName());

TEST(Diff, AMissingArchiveIsTrouble) {
  test::TempDir dir;
  Result run = Vrk({"diff", "none.vrk", "none.vrk"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "Error: none.vrk: No such file or directory\nError: none.vrk: No such file or directory\n");
}

}  // namespace
