// Hostile input: entry names, what stands where extraction or packing writes, random damage, names packing refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include "archive/archive.h"
#include "tests/support.h"

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

struct HostileRow {
  const char* label;
  Files files;        // the archive's entries; after.txt follows them
  const char* error;  // text an Error line holds; nullptr: the run succeeds
  std::function<void()> setup = {};  // run where the archive is; without one, also with -C and with -o
  std::map<std::string, std::string> expect = {};  // files afterwards, relative to that folder
};
void PrintTo(const HostileRow& row, std::ostream* os) { *os << row.label; }

class HostileExtraction : public testing::TestWithParam<HostileRow> {};

// A refused entry is an error naming it, later entries still come out, and nothing outside the output folder changes.
TEST_P(HostileExtraction, IsRefusedOrExtractedInsideTheOutputFolder) {
  const HostileRow& row = GetParam();
  Files files = row.files;
  files.emplace_back("after.txt", "ok");
  for (int place = 0; place < (row.setup ? 1 : 3); ++place) {
    test::TempDir dir;
    ExtractOptions options;
    if (place == 1) options.parentFolder = dir.path() + "/a/b/out";
    if (place == 2) options.outputFolder = dir.path() + "/a/b/out/maps";
    test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of(files), row.setup ? row.setup : [] {}, options);
    EXPECT_EQ(run.result, row.error ? 0 : 1) << "placed by " << place;
    EXPECT_TRUE(!row.error || std::ranges::any_of(run.lines, [&](const std::string& line) {
      return line.starts_with("Error: ") && line.find(row.error) != std::string::npos;
    })) << testing::PrintToString(run.lines);
    EXPECT_TRUE(row.setup || test::ReadFile(dir.path() + "/a/b/out/maps/after.txt") == "ok") << "after.txt";
    for (const auto& [path, content] : row.expect) {
      EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/" + path), content) << path;
    }
  }
}

const std::string kLongPath = [] {
  std::string path;
  for (int i = 0; i < 60; ++i) path += std::string(100, static_cast<char>('a' + i % 26)) + "\\";
  return path + "f.txt";
}();
const Files kThree{{"a.txt", "new"}, {"sub\\b.txt", "new"}, {"c.txt", "new"}};

// Sizes either side of the reader's buffers and the system's copy, in folders made earlier or below them.
Files EverySize() {
  Files files;
  std::uint32_t seed = 7;
  for (std::size_t size : {3u, 1023u, 1024u, 4095u, 65535u, 65536u, 65537u, 1u, 262143u, 262144u, 262145u, 70001u}) {
    std::string content(size, '\0');
    for (char& c : content) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    const std::size_t i = files.size();
    std::string name = "d";  // d0\f0, d1\e\f1, d2\f2, d0\e\f3...
    files.emplace_back(name + std::to_string(i % 3) + (i % 2 ? "\\e\\f" : "\\f") + std::to_string(i), content);
  }
  return files;
}

void Elsewhere() {
  fs::create_directory("elsewhere");
  test::WriteFile("outside.txt", "keep");
  fs::create_directory("maps");
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileExtraction,
    testing::Values(
        HostileRow{"dotdot mixed separators", {{"a/..\\../evil.txt", "x"}}, "climbs out of the output folder with '..'"},
        HostileRow{"dotdot last", {{"a\\..", "x"}}, "'..'"},
        HostileRow{"leading slash", {{"/tmp/evil.txt", "x"}}, "absolute"},
        HostileRow{"only separators", {{"\\/\\", "x"}}, "absolute"},
        HostileRow{"drive letter", {{"C:\\evil.txt", "x"}}, "colon"},
        HostileRow{"control byte", {{"bad\x01name", "x"}}, "bad^Aname: refused: the name holds a control character"},
        HostileRow{"last control byte", {{"a\x1f", "x"}}, "a^_: refused"},
        HostileRow{"delete byte", {{"bad\x7fname", "x"}}, "bad^?name"},
        HostileRow{"trailing separator", {{"dir\\", "x"}}, "names no file"},
        HostileRow{"dot last", {{"dir\\.", "x"}}, "has no file name"},
        HostileRow{"empty name", {{"a.txt", "x"}, {"", "x"}}, "the header at offset 26: refused: the name is empty"},
        HostileRow{"component too long", {{std::string(5000, 'c') + "\\f", "x"}}, "cannot create the f"},
        HostileRow{"entries of every size", EverySize(), nullptr},
        HostileRow{"dot components, doubled separators and a slash", {{".\\a/.\\\\b.txt", "x"}}, nullptr},
#ifdef _WIN32
        // The system would drop the trailing dots.
        HostileRow{"dots inside names", {{"..x\\y..\\...", "x"}}, "ends in a dot or a space"},
#else
        HostileRow{"dots inside names", {{"..x\\y..\\...", "x"}}, nullptr},
        HostileRow{"path longer than the system takes", {{kLongPath, "x"}}, nullptr},
        HostileRow{"link as the output folder", kThree, "Error: maps: a symbolic link stands where the folder goes",
                   [] { fs::create_directory("elsewhere"); fs::create_directory_symlink("elsewhere", "maps"); }},
        HostileRow{"link as a sub-folder", kThree,
                   "Error: sub\\b.txt: a symbolic link stands where the folder sub goes; nothing is written through it",
                   [] { Elsewhere(); fs::create_directory_symlink("../elsewhere", "maps/sub"); },
                   {{"maps/a.txt", "new"}, {"maps/c.txt", "new"}}},
        HostileRow{"dangling link as a file", kThree, "Error: a.txt: cannot create the file: Is a symbolic link",
                   [] { Elsewhere(); fs::create_symlink("../planted.txt", "maps/a.txt"); }, {{"maps/c.txt", "new"}}},
#endif
        HostileRow{"hard link to a file outside", kThree, nullptr,
                   [] { Elsewhere(); fs::create_hard_link("outside.txt", "maps/a.txt"); },
                   {{"outside.txt", "keep"}, {"maps/a.txt", "new"}}},
        HostileRow{"file where a folder goes", kThree, "Error: sub\\b.txt: cannot create the folder sub: Not a directory",
                   [] { fs::create_directory("maps"); test::WriteFile("maps/sub", "file"); },
                   {{"maps/sub", "file"}, {"maps/c.txt", "new"}}},
        HostileRow{"folder where a file goes", kThree, "Error: c.txt: cannot create the file: Is a directory",
                   [] { fs::create_directories("maps/c.txt"); }, {{"maps/a.txt", "new"}}},
        HostileRow{"output folder is a file", kThree, "Error: maps: cannot create the folder: Not a directory",
                   [] { test::WriteFile("maps", "file"); }, {{"maps", "file"}}}),
    test::LabelName());

// About 1% of the bytes damaged, a thousand times per sample (a quarter under Wine's slow files), held to the model.
TEST(RandomDamage, NeverEscapesAndNeverLies) {
  const int rounds = platform::System::kNativeSeparator == '\\' ? 250 : 1000;
  std::mt19937 random(12345);
  test::TempDir dir;
  for (const Files& files : {Files{{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}},
                             Files{{"d\\e\\f\\g.bin", std::string(200, 'g')}, {"h", "i"}, {"y\\z", "22"}, {"..ok", "333"}}}) {
    for (int round = 0; round < rounds && !HasFailure(); ++round) {
      SCOPED_TRACE(round);
      std::string bytes = ArchiveBytes::Of(files);
      for (std::size_t i = 0; i < std::max<std::size_t>(1, bytes.size() / 100); ++i) {
        bytes[random() % bytes.size()] = static_cast<char>(random());
      }
      test::ExtractChecked(dir, bytes);
      fs::remove_all(dir.path() + "/a");
    }
  }
}

struct PackRow {
  const char* label;
  std::function<void()> setup;  // run in the folder that gets out.vrk, beside src
  const char* error;            // the Error line of a refusal, which changes nothing
  std::map<std::string, std::string> expect = {};  // afterwards; "NEW" stands for the new archive
  bool bitsStopTheProcess = false;  // meaningless as root, where write permission stops nothing
};
void PrintTo(const PackRow& row, std::ostream* os) { *os << row.label; }

class Packing : public testing::TestWithParam<PackRow> {};

// The rename into place does nothing an open for writing could not; a name holding '\', ':' or a control byte fails.
TEST_P(Packing, IsReplacedOnlyAsAnOpenForWritingWould) {
  const PackRow& row = GetParam();
#ifndef _WIN32
  if (row.bitsStopTheProcess && geteuid() == 0)
    GTEST_SKIP() << "root may write a read-only file; tests/process_test.sh refuses one to an unprivileged user";
#endif
  test::TempDir dir;
  fs::create_directory("src");
  test::WriteFile("src/a.txt", "abc");
  row.setup();
  const auto before = test::Snapshot(dir.path(), "src");
  struct stat old {};
  const bool existed = stat("out.vrk", &old) == 0;
  test::Outcome packed = test::Pack(dir);
  const auto after = test::Snapshot(dir.path(), "src");
  EXPECT_EQ(packed.result, row.error == nullptr) << testing::PrintToString(packed.lines);
  if (row.error) {
    EXPECT_TRUE(packed.Logged(row.error)) << testing::PrintToString(packed.lines);
    EXPECT_EQ(after, before);
    return;
  }
  for (auto [path, content] : row.expect) {
    if (content == "NEW") content = ArchiveBytes::Of({{"a.txt", "abc"}});
    EXPECT_EQ(after.count(path) ? after.at(path) : "<missing>", content) << path;
  }
  EXPECT_EQ(after.size(), before.size() + (existed ? 0 : 1)) << "a file was left behind";
  struct stat now {};
  if (existed && stat("out.vrk", &now) == 0) {  // through a link: what it leads to
    EXPECT_EQ(std::tie(now.st_mode, now.st_uid, now.st_gid), std::tie(old.st_mode, old.st_uid, old.st_gid));
  }
}

void OldArchive(const char* path, fs::perms perms) {
  test::WriteFile(path, "old");
  fs::permissions(path, perms);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Packing,
    testing::Values(
#ifndef _WIN32
        // Neither the creation default (0644) nor the mode while written (0600).
        PackRow{"another user's private archive keeps its owner and mode",
                [] {
                  OldArchive("out.vrk", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
                  if (geteuid() == 0 && chown("out.vrk", 65534, 65534) != 0) FAIL() << "chown";
                },
                nullptr, {{"out.vrk", "NEW"}}},
        PackRow{"link through links, relative to each",
                [] {
                  fs::create_directories("keep/deep");
                  test::WriteFile("keep/real.vrk", "old");
                  fs::create_symlink("../real.vrk", "keep/deep/hop.vrk");
                  fs::create_symlink("keep/deep/hop.vrk", "out.vrk");
                },
                nullptr, {{"out.vrk", "<link>"}, {"keep/deep/hop.vrk", "<link>"}, {"keep/real.vrk", "NEW"}}},
        PackRow{"dangling link", [] { fs::create_directory("keep"); fs::create_symlink("keep/new.vrk", "out.vrk"); },
                nullptr, {{"out.vrk", "<link>"}, {"keep/new.vrk", "NEW"}}},
        PackRow{"backslash in a file name", [] { test::WriteFile("src/a\\b.txt", "x"); },
                "Error: a\\b.txt: the name holds a '\\', which the archive would read as a folder separator"},
        PackRow{"backslash in a folder name", [] { fs::create_directory("src/d\\e"); test::WriteFile("src/d\\e/f", "x"); },
                "Error: d\\e: the name holds a '\\', which the archive would read as a folder separator"},
        PackRow{"colon", [] { test::WriteFile("src/a:b.txt", "x"); }, "Error: a:b.txt: the name holds a ':', which extraction refuses"},
        PackRow{"control byte", [] { test::WriteFile("src/tab\tname", "x"); },
                "Error: tab^Iname: the name holds a control character, which extraction refuses"},
#endif
        PackRow{"folder of that name", [] { fs::create_directory("out.vrk"); },
                "Error: out.vrk: cannot replace the file: Is a directory"},
        PackRow{"read-only archive", [] { OldArchive("out.vrk", fs::perms::owner_read | fs::perms::group_read); },
                "Error: out.vrk: cannot replace the file: Permission denied", {}, true}),
    test::LabelName());

}  // namespace
