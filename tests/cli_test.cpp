// vrk in-process: a row runs a command line in a fresh folder holding `given`; status, streams, files, folder checked.
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

struct Row {
  const char* label;
  Files given;
  std::vector<std::string> args;
  int status;
  std::string out, err;  // "..." then a part of the text; "{" a JSON document's parts; else the whole text
  Files made = {};
};

void ExpectText(const std::string& got, const std::string& want) {
  if (want.starts_with("...")) {
    EXPECT_NE(got.find(want.substr(3)), std::string::npos) << got;
  } else if (want.starts_with("{")) {
    nlohmann::json document = nlohmann::json::parse(got).flatten(), parts = nlohmann::json::parse(want).flatten();
    for (const auto& [key, value] : parts.items()) EXPECT_EQ(document[key], value) << key;
  } else {
    EXPECT_EQ(got, want);
  }
}

class Vrk : public testing::TestWithParam<Row> {};

TEST_P(Vrk, RunsTheCommandLine) {
  test::TempDir dir;
  Files files = GetParam().given;
  for (const auto& [path, bytes] : files) {
    fs::create_directories(fs::path("./" + path).parent_path());
    test::WriteFile(path, bytes);
  }
  // --sort must undo the order the folders of the sorting row are listed in.
  test::FaultySystem faulty;
  for (const char* folder : {"src", "a", "B", "y"})
    faulty.listOrder[folder] = {"\xe9", "z", "y", "x", "w", "b.txt", "a", "_", "C.txt", "B"};
  platform::ScopedSystem scoped(faulty);
  std::ostringstream out, err;
  EXPECT_EQ(RunVrk(GetParam().args, out, err), GetParam().status) << out.str() << err.str();
  ExpectText(out.str(), GetParam().out);
  ExpectText(err.str(), GetParam().err);
  files.insert(GetParam().made.begin(), GetParam().made.end());
  EXPECT_EQ(test::TreeOf(dir.path()), files);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
}

const std::string kOne = ArchiveBytes::Of({{"a.txt", "abc"}});
const std::string kTree = ArchiveBytes::Of({{"sub\\b.txt", "0123456789"}});
const std::string kMaps =
    ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0\n1\r\n2"}, {"sub\\c.dat", "cc"}, {"z.txt", "zz"}});
const std::string kEmptyInside =
    ArchiveBytes().Header("a.txt", 3).Header("e", 0).Header("b", 1).Terminator().Raw("abcb").str();
const std::string kRelease = ArchiveBytes::Of({{"a.txt", "abc"}, {"s\\b", "0123"}, {"z", "zz"}});
const std::string kCollide = ArchiveBytes::Of(
    {{"a", "1"}, {"a\\b", "2"}, {"c\\d", "3"}, {"c", "4"}, {"d.txt", "5"}, {".\\d.txt", "6"}, {"..\\x", "7"}});
const Files kMapsGiven{{"maps.vrk", kMaps}, {"out/f", ""}};

INSTANTIATE_TEST_SUITE_P(Table, Vrk, testing::ValuesIn(std::vector<Row>{
    Row{"compress_into_another_folder", {{"tree/sub/b.txt", "0123456789"}, {"archives/f", ""}},
        {"c", "tree", "archives/t.vrk"}, 0,
        "...tree into t.vrk...\nCompressing sub\\b.txt (10 bytes)\nOK!\nSaving t.vrk...\nAll done!\n", "",
        {{"archives/t.vrk", kTree}}},
    Row{"compress_sorted",
        {{"src/b.txt", "b"}, {"src/C.txt", "C"}, {"src/_", "_"}, {"src/a/x", "x"}, {"src/a/y/z", "z"},
         {"src/B/w", "w"}, {"src/\xe9", "e"}},
        {"-q", "c", "--sort", "src", "out.vrk"}, 0, "", "",
        {{"out.vrk", ArchiveBytes::Of({{"C.txt", "C"}, {"_", "_"}, {"b.txt", "b"}, {"\xe9", "e"}, {"B\\w", "w"},
                                       {"a\\x", "x"}, {"a\\y\\z", "z"}})}}},
    Row{"extract_from_another_folder", {{"archives/t.vrk", kTree}}, {"extract", "archives/t.vrk"}, 0,
        "Extracting file t.vrk...\nExtracting sub\\b.txt (10 bytes)\nAll done!\n", "",
        {{"archives/t/sub/b.txt", "0123456789"}}},
    Row{"extract_quiet_failure", {}, {"x", "missing.vrk", "--quiet"}, 1, "",
        "Error: missing.vrk: No such file or directory\n"},
    Row{"extract_names_the_last_among_them", kMapsGiven, {"x", "maps.vrk", "sub/c.dat", "z.txt"}, 0, "...", "",
        {{"maps/sub/c.dat", "cc"}, {"maps/z.txt", "zz"}}},
    Row{"extract_a_name_matching_nothing", kMapsGiven, {"x", "maps.vrk", "a.txt", "b*"}, 1,
        "...Error: b*: no entry of the archive matches this name\n", "", {{"maps/a.txt", "abc"}}},
    Row{"extract_into_a_folder", kMapsGiven, {"x", "maps.vrk", "z.txt", "-C", "out"}, 0, "...", "",
        {{"out/maps/z.txt", "zz"}}},
    Row{"extract_straight_into_a_new_folder", kMapsGiven, {"x", "maps.vrk", "z.txt", "-o", "out/new"}, 0, "...", "",
        {{"out/new/z.txt", "zz"}}},
    Row{"list_sizes_names_and_total",
        {{"m.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", std::string(1234567, 'b')}})}},
        {"l", "m.vrk"}, 0, "         3  a.txt\n   1234567  sub\\b.txt\n2 files, 1234570 bytes\n", ""},
    Row{"list_names_escaped", {{"m.vrk", ArchiveBytes::Of({{"x\n    999999  readme.txt\x1b[2J", "1"}})}},
        {"l", "m.vrk"}, 0, "         1  x^J    999999  readme.txt^[[2J\n1 file, 1 byte\n", ""},
    Row{"list_empty_file_packed_by_another_writer", {{"m.vrk", kEmptyInside}}, {"l", "m.vrk"}, 1, "",
        "Error: e: a header of size 0 with a name ends the list at offset 26: the archive holds an empty file "
        "packed by another writer, so where its data block begins is unknown and nothing is listed; to recover "
        "it, run: vrk list --recover m.vrk\n"},
    Row{"list_empty_file_recovered", {{"m.vrk", kEmptyInside}}, {"l", "--recover", "m.vrk"}, 0,
        "         3  a.txt\n         0  e\n         1  b\n3 files, 4 bytes\n",
        "Warning: m.vrk: recovered 1 empty file packed by another writer (the first, e, at offset 26): the header "
        "list was read on to the terminator, and the sizes account for the whole archive\n"},
    Row{"list_damaged", {{"m.vrk", kRelease.substr(0, 30)}}, {"l", "m.vrk"}, 1, "...", "...damaged archive"},
    Row{"list_json", {{"m.vrk", kRelease}}, {"list", "--json", "m.vrk"}, 0,
        R"({"archive": "m.vrk", "entries": [
            {"name": "a.txt", "path": "a.txt", "size": 3, "header_offset": 0, "data_offset": 93},
            {"name": "s\\b", "path": "s/b", "size": 4, "header_offset": 26, "data_offset": 96}],
            "summary": {"entries": 3, "bytes": 9, "complete": true, "terminator": true, "trailer": true}})", ""},
    Row{"list_json_not_utf8", {{"m.vrk", ArchiveBytes::Of({{"\xe9t\xe9.txt", "1"}, {"\xc3\xa9", "2"}})}},
        {"list", "--json", "m.vrk"}, 0,
        R"({"entries": [{"name_hex": "e974e92e747874"}, {"name": "\u00e9", "path": "\u00e9"}]})", ""},
    Row{"list_json_cut_trailer", {{"m.vrk", kRelease.substr(0, kRelease.size() - 1)}}, {"list", "--json", "m.vrk"}, 0,
        R"({"entries": [{"data_offset": 93}], "summary": {"complete": true, "trailer": false}})", ""},
    Row{"list_json_named_end", {{"m.vrk", kEmptyInside}}, {"list", "--json", "m.vrk"}, 1,
        R"({"entries": [{"name": "a.txt", "data_offset": null}], "summary": {"entries": 1, "terminator": false}})",
        "...Error: e: "},
    Row{"list_json_damaged", {{"m.vrk", kRelease.substr(0, 30)}}, {"list", "--json", "m.vrk"}, 1,
        R"({"entries": [{"name": "a.txt"}], "summary": {"entries": 1, "complete": false, "trailer": false}})",
        "...damaged archive"},
    Row{"verify_good", {{"v.vrk", kOne}}, {"t", "v.vrk"}, 0,
        "Verifying v.vrk...\nTrailer found at offset 50.\n1 entry, 3 bytes of data.\nAll done!\n", ""},
    Row{"verify_no_trailer", {{"v.vrk", kOne.substr(0, 50)}}, {"t", "v.vrk"}, 0,
        "...No trailer behind the data block (offset 50).\n", ""},
    Row{"verify_extra_bytes", {{"v.vrk", kOne + "xy"}}, {"t", "v.vrk"}, 0,
        "...Trailer found at offset 50, followed by 2 more bytes.\n", ""},
    Row{"verify_one_stray_byte", {{"v.vrk", kOne.substr(0, 50) + "x"}}, {"t", "v.vrk"}, 0,
        "...1 byte behind the data block at offset 50 is not the trailer.\n", ""},
    Row{"verify_cut_header", {{"v.vrk", kOne.substr(0, 30)}}, {"t", "v.vrk"}, 1,
        "...Error: v.vrk: damaged archive: the header at offset 26 is cut off\n", ""},
    Row{"verify_cut_data", {{"v.vrk", kOne.substr(0, 48)}}, {"t", "v.vrk"}, 1,
        "...Error: a.txt: the entry's data at offset 47 claims 3 bytes but only 1 remain\n", ""},
    Row{"verify_named_empty", {{"v.vrk", kEmptyInside}}, {"t", "v.vrk"}, 1,
        "...Error: e: the header list ends at offset 26 on a header of size 0 that has a name: an empty file "
        "stored by another writer, so what follows is probably more headers read as data\n", ""},
    Row{"verify_names_extraction_cannot_honour", {{"v.vrk", kCollide}}, {"t", "v.vrk"}, 1,
        "Verifying v.vrk...\n"
        "Error: a\\b: the header at offset 22 needs the folder a, where the entry a (offset 0) is a file\n"
        "Error: c: the header at offset 70 is a file where the entry c\\d (offset 46) needs a folder\n"
        "Warning: .\\d.txt: the header at offset 118 names the same file as the entry d.txt (offset 92); "
        "extraction keeps only the later one\n"
        "Error: ..\\x: the header at offset 146 names an entry that extraction refuses: the name climbs out of "
        "the output folder with '..'\n"
        "Trailer found at offset 199.\n7 entries, 7 bytes of data.\nFailed with 3 errors.\n", ""},
    Row{"cat_behind_others", kMapsGiven, {"p", "maps.vrk", "sub/b.txt"}, 0, "0\n1\r\n2", ""},
    Row{"cat_same_name_twice_takes_the_last", {{"m.vrk", ArchiveBytes::Of({{"d", "first"}, {"d", "second"}})}},
        {"p", "m.vrk", "d"}, 0, "second", ""},
    Row{"cat_absent", kMapsGiven, {"p", "maps.vrk", "b.txt"}, 1, "", "Error: maps.vrk: no entry named b.txt\n"},
    Row{"cat_cut_inside_its_data", {{"m.vrk", kMaps.substr(0, kMaps.size() - 32)}}, {"p", "m.vrk", "z.txt"}, 1, "z",
        "Error: z.txt: the archive ends after 1 of the entry's 2 bytes\n"},
    Row{"cat_list_ends_on_a_named_empty_file", {{"m.vrk", kEmptyInside}}, {"p", "m.vrk", "b"}, 1, "",
        "...nothing is read; to recover it, run: vrk extract --recover m.vrk\n"},
    Row{"diff_reordered",
        {{"a.vrk", kRelease}, {"b.vrk", ArchiveBytes::Of({{"z", "zz"}, {"s/b", "0123"}, {"a.txt", "abc"}})}},
        {"diff", "a.vrk", "b.vrk"}, 0, "", ""},
    Row{"diff_size_and_bytes_changed",
        {{"a.vrk", kRelease}, {"b.vrk", ArchiveBytes::Of({{"a.txt", "abcd"}, {"s\\b", "0124"}, {"z", "zz"}})}},
        {"diff", "a.vrk", "b.vrk"}, 1, "changed: a.txt\nchanged: s\\b\n", ""},
    Row{"diff_added_and_removed",
        {{"a.vrk", kRelease}, {"b.vrk", ArchiveBytes::Of({{"s\\b", "0123"}, {"n", "n"}, {"z", "zz"}, {"zz", "1"}})}},
        {"diff", "a.vrk", "b.vrk"}, 1, "removed: a.txt\nadded: n\nadded: zz\n", ""},
    Row{"diff_damaged", {{"a.vrk", kRelease}, {"b.vrk", kRelease.substr(0, 30)}}, {"diff", "a.vrk", "b.vrk"}, 2, "",
        "...b.vrk: damaged archive"},
    Row{"diff_data_cut", {{"a.vrk", kRelease}, {"b.vrk", kRelease.substr(0, kRelease.size() - 33)}},
        {"diff", "a.vrk", "b.vrk"}, 2, "", "...Error: "},
    Row{"diff_missing", {}, {"diff", "none.vrk", "none.vrk"}, 2, "",
        "Error: none.vrk: No such file or directory\nError: none.vrk: No such file or directory\n"},
    Row{"usage_command_help_shows_global_options", {}, {"extract", "--help"}, 0, "...-q,--quiet", ""},
    Row{"usage_command_help_states_exit_status", {}, {"list", "--help"}, 0,
        "...2 when the command line was not understood", ""},
    Row{"usage_unknown_command", {}, {"frobnicate"}, 2, "",
        "...frobnicate: not a command of vrk; the commands are extract, compress, list, verify, cat, diff\n"},
    Row{"usage_unknown_option", {}, {"-x"}, 2, "", "...-x: not an option of vrk\n"},
    Row{"usage_name_like_an_option", {}, {"extract", "-x.vrk"}, 2, "",
        "...-x.vrk: not an option of vrk extract; a name that begins with '-' goes after '--': vrk extract -- "
        "-x.vrk\n"},
    Row{"usage_empty_archive", {}, {"x", ""}, 2, "", "...ARCHIVE: the name is empty"},
    Row{"usage_archive_is_a_folder", {}, {"c", "src", "."}, 2, "", "...ARCHIVE: a folder of that name exists"}}),
    test::LabelName());

struct MatchRow {
  const char *label, *pattern, *name;
  bool matches;
};

class Pattern : public testing::TestWithParam<MatchRow> {};

// As the shell matches, within one level, '\' and '/' alike; a folder takes all below it.
TEST_P(Pattern, Matches) { EXPECT_EQ(MatchesEntryPattern(GetParam().pattern, GetParam().name), GetParam().matches); }

INSTANTIATE_TEST_SUITE_P(Table, Pattern,
                         testing::Values(MatchRow{"star_stays_in_its_level", "*.txt", "sub\\b.txt", false},
                                         MatchRow{"star_backtracks", "a*b*c", "aXbYbZc", true},
                                         MatchRow{"star_empty", "a*", "a", true},
                                         MatchRow{"question_mark", "?.txt", "a.txt", true},
                                         MatchRow{"question_mark_not_a_separator", "a?b", "a\\b", false},
                                         MatchRow{"range", "f[0-9].dat", "f7.dat", true},
                                         MatchRow{"negated_set", "f[!0-9].dat", "f7.dat", false},
                                         MatchRow{"caret_negates", "f[^0-9].dat", "fx.dat", true},
                                         MatchRow{"bracket_first_in_set", "[]a]", "]", true},
                                         MatchRow{"unclosed_bracket_is_itself", "a[b", "a[b", true},
                                         MatchRow{"folder_takes_what_is_below", "sub", "sub\\deep\\b.txt", true},
                                         MatchRow{"folder_with_separator", "sub/", "sub\\b.txt", true},
                                         MatchRow{"no_partial_folder", "su", "sub\\b.txt", false}),
                         test::LabelName());

}  // namespace
