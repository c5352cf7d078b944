// Windows only: names refused there, what its file system and code page do to a run, vrk.exe and its version.
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

// A name, and what its Error line holds (nullptr: it is extracted).
class WindowsEntryName : public testing::TestWithParam<std::pair<const wchar_t*, const char*>> {};

// A refused name is the run's one error; ExtractChecked checks that nothing outside the output folder changes.
TEST_P(WindowsEntryName, IsRefusedWithItsReasonOrExtracted) {
  const auto [wide, reason] = GetParam();
  const std::string name = InCodePage(wide);
  if (name.empty()) GTEST_SKIP() << "the system's code page cannot hold the name";
  test::TempDir dir;
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of({{name, "EVIL"}, {"after.txt", "ok"}}));
  EXPECT_EQ(run.result, reason ? 0 : 1) << run.lines.at(1);
  if (reason) {
    EXPECT_NE(run.lines.at(1).find(reason), std::string::npos) << run.lines.at(1);
    EXPECT_EQ(test::ReadFile(dir.path() + "/a/b/out/maps/after.txt"), "ok");
  }
}

const std::wstring kLongName = std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b') + L"\\f.txt";
const std::string kLongNameReason = ": " + platform::ErrorText(platform::kErrSystemBase + ERROR_FILENAME_EXCED_RANGE);

// Each way a device name is found (case, extension, spaces, each digit, a folder), and look-alikes failing one test.
INSTANTIATE_TEST_SUITE_P(
    Table, WindowsEntryName,
    testing::ValuesIn(std::vector<std::pair<const wchar_t*, const char*>>{
        {L"Aux", "device name"}, {L"NUL .txt", "device name"}, {L"conout$.txt", "device name"},
        {L"sub\\com9\\a.txt", "device name"}, {L"lPt1", "device name"}, {L"COM\u00b9.txt", "device name"},
        {L"lpt\u00b2", "device name"}, {L"Com\u00b3", "device name"}, {L"NULL", nullptr}, {L"COM10", nullptr},
        {L"COMx.txt", nullptr}, {L"DOC1", nullptr}, {L"sub \\a.txt", "dot or a space"},
        {kLongName.c_str(), test::LongCurrentDirectories() ? nullptr : kLongNameReason.c_str()}}));  // past MAX_PATH

// Case-differing names meet in one file (the last wins) and folder; reasons on one line; devices are not files.
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
  EXPECT_TRUE(!platform::Sys().CreateNew("NUL", created) && !platform::Sys().OpenRead("NUL", true, opened));
  EXPECT_EQ(std::pair(created, opened), std::pair(+platform::kErrNotRegularFile, +platform::kErrNotRegularFile));
}

// Hidden, system, read-only files and hidden folders are packed; code page names round-trip, others fail the run.
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

// vrk.exe of this build (cli\vrk.exe beside the tests' folder); a run's exit status and output.
std::wstring VrkExe() {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  return (fs::path(self).parent_path().parent_path() / L"cli" / L"vrk.exe").wstring();
}

std::pair<int, std::string> RunVrk(const std::wstring& arguments) {
  const int status = _wsystem((L"\"" + VrkExe() + L"\" " + arguments + L" >vrk.out 2>&1").c_str());
  return {status, test::ReadFile("vrk.out")};
}

// Its output is a Windows text stream (CR LF, as in the log box), but cat writes the bytes as they are.
TEST(VrkExe, RunsAndNamesItsVersion) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0\n1\r\n2\x1a" "3"}}));
  EXPECT_EQ(RunVrk(L"extract maps.vrk"),
            (std::pair<int, std::string>(0, "Extracting file maps.vrk...\r\nExtracting a.txt (3 bytes)\r\n"
                                            "Extracting sub\\b.txt (8 bytes)\r\nAll done!\r\n")));
  EXPECT_EQ(RunVrk(L"cat maps.vrk sub/b.txt"), (std::pair<int, std::string>(0, "0\n1\r\n2\x1a" "3")));
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
