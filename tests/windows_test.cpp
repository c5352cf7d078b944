// Windows only: names refused there, what its file system and code page do to a run, and
// vrk.exe as a process, with its version record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support.h"

// After the project's headers: <windows.h> turns FormatMessage into a macro.
#include <windows.h>

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

// A name in the system's code page, or "" when the code page cannot hold it.
std::string InCodePage(const std::wstring& name) {
  BOOL lossy = FALSE;
  std::string narrow(name.size() * 4 + 1, '\0');
  narrow.resize(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, narrow.data(),
                                    static_cast<int>(narrow.size()), nullptr, &lossy) - 1);
  return lossy ? std::string() : narrow;
}

struct NameCase {
  const wchar_t* name;
  const char* reason;  // nullptr: extracted
};

class WindowsEntryName : public testing::TestWithParam<NameCase> {};

// A refused name is the run's one error; nothing outside the output folder changes (as it
// would had a device or another drive taken the bytes): ExtractChecked checks.
TEST_P(WindowsEntryName, IsRefusedWithItsReasonOrExtracted) {
  const std::string name = InCodePage(GetParam().name);
  if (name.empty()) GTEST_SKIP() << "the system's code page cannot hold the name";
  test::TempDir dir;
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of({{name, "EVIL"}, {"after.txt", "ok"}}));
  EXPECT_EQ(run.result, GetParam().reason ? 0 : 1) << run.lines.at(1);
  if (GetParam().reason) {
    EXPECT_NE(run.lines.at(1).find(GetParam().reason), std::string::npos) << run.lines.at(1);
    EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/maps/after.txt"), "ok");
  }
}

// Past MAX_PATH: extracted where the system takes long paths, else refused with its reason.
const std::wstring kLongName = std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b') + L"\\f.txt";
const std::string kLongNameReason = ": " + platform::ErrorText(platform::kErrSystemBase + ERROR_FILENAME_EXCED_RANGE);

// A row per way a device name is found (letter case, extension, spaces before it, numbered
// devices with each of their digits, a folder), and look-alikes that each fail one comparison.
INSTANTIATE_TEST_SUITE_P(
    Table, WindowsEntryName,
    testing::Values(NameCase{L"D:sub\\evil.txt", "colon"}, NameCase{L"\\\\server\\share\\evil.txt", "absolute"},
                    NameCase{L"Aux", "device name"}, NameCase{L"NUL .txt", "device name"},
                    NameCase{L"conout$.txt", "device name"}, NameCase{L"sub\\com9\\a.txt", "device name"},
                    NameCase{L"lPt1", "device name"}, NameCase{L"COM\u00b9.txt", "device name"},
                    NameCase{L"lpt\u00b2", "device name"}, NameCase{L"Com\u00b3", "device name"},
                    NameCase{L"NULL", nullptr}, NameCase{L"COM10", nullptr}, NameCase{L"COMx.txt", nullptr},
                    NameCase{L"DOC1", nullptr}, NameCase{L"a.", "dot or a space"},
                    NameCase{L"sub \\a.txt", "dot or a space"}, NameCase{L".hidden", nullptr},
                    NameCase{L"sub\\.\\a.txt", nullptr},
                    NameCase{kLongName.c_str(), test::LongCurrentDirectories() ? nullptr : kLongNameReason.c_str()}));

// Names that differ only in letter case meet in one file (the last wins, under its name) and
// share a folder; failures carry the system's own reason, on one line; devices are not files.
TEST(WindowsFileSystem, LetterCaseReasonsAndDevices) {
  test::TempDir dir;
  fs::create_directory("maps");
  test::WriteFile("maps\\held.txt", "old");
  test::WriteFile("maps\\ro.txt", "old");
  SetFileAttributesA("maps\\ro.txt", FILE_ATTRIBUTE_READONLY);
  HANDLE held = CreateFileA("maps\\held.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  test::Outcome run = test::ExtractBytes("maps.vrk", ArchiveBytes::Of({{"Sub\\x.txt", "first"}, {"SUB\\b.txt", "b"},
                                                                      {"sub\\X.TXT", "second"}, {"held.txt", "new"},
                                                                      {"a<b>.txt", "new"}, {"ro.txt", "new"}}));
  CloseHandle(held);
  SetFileAttributesA("maps\\ro.txt", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(run.lines.back(), "Failed with 3 errors.");  // none for the names that meet
  EXPECT_EQ(test::TreeOf("maps"), (std::map<std::string, std::string>{{"Sub/X.TXT", "second"}, {"Sub/b.txt", "b"},
                                                                      {"held.txt", "old"}, {"ro.txt", "old"}}));
  for (const auto& [entry, code] : {std::pair{"held.txt", ERROR_SHARING_VIOLATION}, {"a<b>.txt", ERROR_INVALID_NAME}}) {
    const std::string reason = platform::ErrorText(platform::kErrSystemBase + static_cast<int>(code));
    EXPECT_TRUE(!reason.empty() && reason.find_first_of("\r\n") == std::string::npos && !reason.ends_with('.') &&
                !reason.starts_with("System error") && reason != std::strerror(EIO))
        << reason;
    EXPECT_TRUE(run.Logged(StringPrintf("Error: %s: cannot create the file: %s", entry, reason.c_str())));
  }
  EXPECT_TRUE(run.Logged("Error: ro.txt: cannot create the file: Permission denied"))
      << testing::PrintToString(run.lines);
  // A device opens like a file, in any folder: it is never taken for one.
  int created = 0, opened = 0;
  EXPECT_EQ(platform::Sys().CreateNew("NUL", created), nullptr);
  EXPECT_EQ(platform::Sys().OpenRead("NUL", true, opened), nullptr);
  EXPECT_EQ(created, platform::kErrNotRegularFile);
  EXPECT_EQ(opened, platform::kErrNotRegularFile);
}

// Hidden, system and read-only files and hidden folders are packed; a name in the code page
// is stored with exactly its bytes and extracted under it again. One the code page cannot
// hold would reach the engine with '?' in its place: the run fails and says which.
TEST(WindowsPack, AttributesAndCodePageNames) {
  test::TempDir dir;
  const std::wstring accented = L"d\u00e9j\u00e0\\caf\u00e9 \u00e0 la cr\u00e8me.txt";
  fs::create_directories(L"src\\hid");
  fs::create_directories(L"src\\d\u00e9j\u00e0");
  for (const char* file : {"src\\h.txt", "src\\s.txt", "src\\r.txt", "src\\hid\\x.txt"}) test::WriteFile(file, file);
  std::ofstream(fs::path(L"src\\" + accented), std::ios::binary) << "cream";
  SetFileAttributesA("src\\h.txt", FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA("src\\s.txt", FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesA("src\\r.txt", FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA("src\\hid", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  const std::string name = InCodePage(accented);
  if (name.empty()) GTEST_SKIP() << "the system's code page has no accented Latin letters";
  test::Outcome packed = test::Pack(dir);
  SetFileAttributesA("src\\r.txt", FILE_ATTRIBUTE_NORMAL);
  std::sort(packed.names.begin(), packed.names.end());
  EXPECT_EQ(packed.names, (std::vector<std::string>{"", name, "h.txt", "hid\\x.txt", "r.txt", "s.txt"}));
  test::LogCapture log;
  ASSERT_EQ(Archive().Extract("out.vrk"), 1);
  EXPECT_EQ(test::ReadFile("out\\" + name), "cream");

  if (!InCodePage(L"\u4e2d\u6587.txt").empty()) GTEST_SKIP() << "the system's code page holds the name";
  std::ofstream(fs::path(L"src\\\u4e2d\u6587.txt"), std::ios::binary) << "y";
  fs::remove("out.vrk");
  packed = test::Pack(dir);
  EXPECT_EQ(packed.result, 0);
  EXPECT_TRUE(std::ranges::any_of(packed.lines, [](auto& line) { return line.starts_with("Error: ??.txt: "); }))
      << testing::PrintToString(packed.lines);
  EXPECT_FALSE(test::Exists("out.vrk"));
}

// vrk.exe of this build (cli\vrk.exe beside the tests' folder), and a run of it in the
// current folder: its exit status, standard output and error.
std::wstring VrkExe() {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  return (fs::path(self).parent_path().parent_path() / L"cli" / L"vrk.exe").wstring();
}

std::pair<int, std::string> RunVrk(const std::wstring& arguments) {
  const int status = _wsystem((L"\"" + VrkExe() + L"\" " + arguments + L" >vrk.out 2>&1").c_str());
  return {status, test::ReadFile("vrk.out")};
}

// The real program: its standard output is a Windows text stream, so every
// line ends in CR LF as in the log box, while cat writes the bytes as they are.
TEST(VrkExe, RunsAndNamesItsVersion) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0\n1\r\n2\x1a" "3"}}));
  EXPECT_EQ(RunVrk(L"extract maps.vrk"),
            (std::pair<int, std::string>(0, "Extracting file maps.vrk...\r\nExtracting a.txt (3 bytes)\r\n"
                                            "Extracting sub\\b.txt (8 bytes)\r\nAll done!\r\n")));
  EXPECT_EQ(RunVrk(L"cat maps.vrk sub/b.txt"), (std::pair<int, std::string>(0, "0\n1\r\n2\x1a" "3")));
  EXPECT_EQ(RunVrk(L"-q compress maps again.vrk").first, 0);
  EXPECT_EQ(test::ReadFile("again.vrk"), test::ReadFile("maps.vrk"));
  EXPECT_EQ(RunVrk(L"").first, 2);
  EXPECT_EQ(RunVrk(L"extract missing.vrk").first, 1);

  // Its version record as Explorer reads it: the version, and the strings that name it.
  std::string version = VRK_VERSION;  // "1.0.0.1" as "1, 0, 0, 1"
  for (std::size_t dot; (dot = version.find('.')) != std::string::npos;) version.replace(dot, 1, ", ");
  const std::wstring exe = VrkExe();
  std::vector<char> record(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  for (const auto& [ms, ls] : {std::pair{fixed->dwFileVersionMS, fixed->dwFileVersionLS},
                               {fixed->dwProductVersionMS, fixed->dwProductVersionLS}}) {
    EXPECT_EQ(StringPrintf("%lu, %lu, %lu, %lu", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), version);
  }
  for (const auto& [key, expected] : {std::pair{"FileDescription", "VRKTool MFC Application"},
                                      {"FileVersion", version.c_str()}, {"InternalName", "VRKTool"},
                                      {"OriginalFilename", "vrk.exe"}, {"ProductName", "VRKTool Application"},
                                      {"ProductVersion", version.c_str()}, {"CompanyName", ""},
                                      {"LegalTrademarks", ""}}) {
    char* value = nullptr;
    VerQueryValueA(record.data(), (std::string("\\StringFileInfo\\040904B0\\") + key).c_str(),
                   reinterpret_cast<void**>(&value), &length);
    EXPECT_EQ(std::string(value ? value : "(none)"), expected) << key;
  }
}

}  // namespace
