// Windows only: the names extraction refuses there, names that differ only in
// letter case, the system's own reasons and code page, file attributes, and
// vrk.exe run as a process, with its version record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "archive/archive.h"
#include "log/log.h"
#include "tests/support.h"

// After the project's headers: <windows.h> turns FormatMessage into a macro.
#include <windows.h>

namespace fs = std::filesystem;
using test::ArchiveBytes;

namespace {

// The narrow form of a name in the system's code page, or "" when the code
// page cannot hold it.
std::string InCodePage(const std::wstring& name) {
  BOOL lossy = FALSE;
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, narrow.data(), size, nullptr, &lossy);
  narrow.pop_back();
  return lossy ? std::string() : narrow;
}

void WriteFileW(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// ---------------------------------------------------------------------------
// Entry names

struct NameCase {
  const char* name;
  const char* reason;  // nullptr: extracted
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }
NameCase Refused(const char* name, const char* reason) { return {name, reason}; }
NameCase Kept(const char* name) { return {name, nullptr}; }

class WindowsEntryName : public testing::TestWithParam<NameCase> {};

// A refused name is the run's one error, reported at once; the entry behind
// it is extracted. ExtractChecked checks that a success wrote every file at
// its path, and that nothing outside the output folder changed: a device or
// another drive, had the name been opened, would have taken the bytes and
// the run would have succeeded.
TEST_P(WindowsEntryName, IsRefusedWithItsReasonOrExtracted) {
  test::TempDir dir;
  const NameCase& c = GetParam();
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of({{c.name, "EVIL"}, {"after.txt", "ok"}}));
  EXPECT_EQ(run.result, c.reason ? 0 : 1) << run.lines.at(1);
  if (c.reason) {
    EXPECT_NE(run.lines.at(1).find(c.reason), std::string::npos) << run.lines.at(1);
    EXPECT_EQ(run.lines.back(), "Failed with 1 error.");
    EXPECT_EQ(test::TreeOf(dir.path() + "\\a\\b\\out\\maps"), (std::map<std::string, std::string>{{"after.txt", "ok"}}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    DriveAndUnc, WindowsEntryName,
    testing::Values(Refused("C:evil.txt", "colon"), Refused("c:\\evil.txt", "colon"), Refused("D:sub\\evil.txt", "colon"),
                    Refused("\\\\server\\share\\evil.txt", "absolute"), Refused("//server/share/evil.txt", "absolute"),
                    Refused("\\\\?\\C:\\evil.txt", "absolute"), Refused("\\\\.\\C:\\evil.txt", "absolute"),
                    Refused("\\\\.\\pipe\\evil", "absolute")));

INSTANTIATE_TEST_SUITE_P(
    DeviceNames, WindowsEntryName,
    testing::Values(Refused("CON", "device name"), Refused("nul", "device name"), Refused("Aux", "device name"),
                    Refused("PRN", "device name"), Refused("COM1", "device name"), Refused("com9", "device name"),
                    Refused("LPT1", "device name"), Refused("lPt9", "device name"), Refused("CON.txt", "device name"),
                    Refused("nul.tar.gz", "device name"), Refused("Com1.log", "device name"),
                    Refused("NUL .txt", "device name"), Refused("CONIN$", "device name"),
                    Refused("conout$.txt", "device name"), Refused("sub\\CON\\a.txt", "device name"),
                    Refused("sub/aux", "device name"),
                    // Look-alikes are plain names.
                    Kept("CONSOLE.txt"), Kept("NULL"), Kept("COM10"), Kept("LPT"), Kept("xCON"), Kept("con_x.txt"),
                    Kept("auxiliary\\a.txt"), Kept("COM1x.txt")));

// Windows takes COM and LPT with a superscript digit for devices as well;
// the name is refused in whatever bytes the code page gives the digit.
TEST(WindowsEntryNameSuperscript, DeviceWithASuperscriptDigitIsRefused) {
  const std::string com = InCodePage(L"COM\u00b9.txt");
  if (com.empty()) GTEST_SKIP() << "the system's code page has no superscript digits";
  for (const std::string& name : {com, InCodePage(L"lpt\u00b3"), InCodePage(L"sub\\Com\u00b2\\a.txt")}) {
    test::TempDir dir;
    test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of({{name, "EVIL"}, {"after.txt", "ok"}}));
    EXPECT_EQ(run.result, 0);
    EXPECT_NE(run.lines.at(1).find("device name"), std::string::npos) << run.lines.at(1);
  }
  EXPECT_FALSE(platform::NamesDevice(InCodePage(L"COM\u00b9\u00b9")));
}

INSTANTIATE_TEST_SUITE_P(
    TrailingDotOrSpace, WindowsEntryName,
    testing::Values(Refused("a.", "dot or a space"), Refused("a ", "dot or a space"), Refused("a.txt.", "dot or a space"),
                    Refused("a.txt  ", "dot or a space"), Refused("sub.\\a.txt", "dot or a space"),
                    Refused("sub \\a.txt", "dot or a space"), Refused("...", "dot or a space"),
                    // Dots and spaces elsewhere are kept.
                    Kept(" lead.txt"), Kept("a b.c d"), Kept(".hidden"), Kept("sub\\.\\a.txt")));

// A name longer than MAX_PATH (which the ...A calls would not take) is
// extracted where the system takes long paths, and elsewhere refused with the
// system's reason, the other entries extracted all the same.
TEST(WindowsLongPath, IsExtractedOrRefusedWithTheSystemsReason) {
  std::string name;
  for (int i = 0; i < 8; ++i) name += std::string(100, static_cast<char>('a' + i)) + "\\";
  name += "f.txt";
  test::TempDir dir;
  test::Outcome run = test::ExtractChecked(dir, ArchiveBytes::Of({{name, "long"}, {"after.txt", "ok"}}));
  EXPECT_EQ(test::ReadFile(dir.path() + "\\a\\b\\out\\maps\\after.txt"), "ok");
  EXPECT_EQ(run.result, test::LongCurrentDirectories() ? 1 : 0);  // ExtractChecked checks a success
  if (run.result == 0) {
    const std::string reason = ": " + platform::ErrorText(platform::kErrSystemBase + ERROR_FILENAME_EXCED_RANGE);
    EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [&](const std::string& line) {
      return line.starts_with("Error: " + name + ": cannot enter the folder ") && line.ends_with(reason);
    })) << testing::PrintToString(run.lines);
  }
}

// Two entries whose names differ only in letter case name one file here: the
// second replaces the first, and a folder is shared.
struct CaseCollision {
  const char* label;
  std::vector<std::pair<std::string, std::string>> entries;
  std::map<std::string, std::string> tree;
};
void PrintTo(const CaseCollision& c, std::ostream* os) { *os << c.label; }

class LetterCase : public testing::TestWithParam<CaseCollision> {};

TEST_P(LetterCase, NamesThatDifferOnlyInCaseMeetInOneFile) {
  test::TempDir dir;
  test::Outcome run = test::ExtractBytes("maps.vrk", ArchiveBytes::Of(GetParam().entries));
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.lines.size(), GetParam().entries.size() + 2);
  EXPECT_EQ(test::TreeOf("maps"), GetParam().tree);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LetterCase,
    testing::Values(
        CaseCollision{"file", {{"Readme.txt", "first"}, {"README.TXT", "second"}}, {{"README.TXT", "second"}}},
        CaseCollision{"three", {{"a.txt", "1"}, {"A.TXT", "2"}, {"a.TXT", "3"}}, {{"a.TXT", "3"}}},
        CaseCollision{"folder", {{"Sub\\a.txt", "a"}, {"SUB\\b.txt", "b"}}, {{"Sub/a.txt", "a"}, {"Sub/b.txt", "b"}}},
        CaseCollision{"file in a folder", {{"Sub\\x.txt", "first"}, {"sub\\X.TXT", "second"}}, {{"Sub/X.TXT", "second"}}}),
    test::LabelName());

// ---------------------------------------------------------------------------
// The system's reasons

// A system error's text as ErrorText() gives it, checked to be the system's
// own sentence and not a stand-in.
std::string SystemReason(DWORD code) {
  std::string text = platform::ErrorText(platform::kErrSystemBase + static_cast<int>(code));
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_NE(text.back(), '.') << text;
  EXPECT_FALSE(text.starts_with("System error")) << text;
  EXPECT_NE(text, std::strerror(EIO));
  return text;
}

struct ReasonCase {
  const char* label;
  const char* entry;
  DWORD attributes;  // an old maps\a.txt is there first, with these attributes; 0: none is
  bool held;         // and is kept open, unshared, for the run
  DWORD code;        // the system error whose text the error gives; 0: "Permission denied"
};
void PrintTo(const ReasonCase& c, std::ostream* os) { *os << c.label; }

class SystemReasons : public testing::TestWithParam<ReasonCase> {};

TEST_P(SystemReasons, FailuresCarryTheSystemsReason) {
  const ReasonCase& c = GetParam();
  test::TempDir dir;
  fs::create_directory("maps");
  HANDLE held = nullptr;
  if (c.attributes) {
    test::WriteFile("maps\\a.txt", "old");
    SetFileAttributesA("maps\\a.txt", c.attributes);
    if (c.held) held = CreateFileA("maps\\a.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  test::Outcome run = test::ExtractBytes("maps.vrk", ArchiveBytes::Of({{c.entry, "new"}, {"after.txt", "ok"}}));
  if (held) CloseHandle(held);
  EXPECT_EQ(run.result, 0);
  std::string error = "Error: ";
  error += c.entry;
  error += ": cannot create the file: ";
  error += c.code ? SystemReason(c.code) : "Permission denied";
  EXPECT_TRUE(run.Logged(error)) << testing::PrintToString(run.lines);
  EXPECT_EQ(test::ReadFile("maps/after.txt"), "ok");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemReasons,
    testing::Values(ReasonCase{"file in use", "a.txt", FILE_ATTRIBUTE_NORMAL, true, ERROR_SHARING_VIOLATION},
                    ReasonCase{"name the file system refuses", "a<b>.txt", 0, false, ERROR_INVALID_NAME},
                    ReasonCase{"read-only file", "a.txt", FILE_ATTRIBUTE_READONLY, false, 0}),
    test::LabelName());

// ---------------------------------------------------------------------------
// The platform layer and packing what the Windows file system holds

TEST(WindowsPlatform, DevicesAreNeverTakenForFiles) {
  test::TempDir dir;
  int error = 0;
  EXPECT_EQ(platform::Sys().CreateNew("NUL", error), nullptr);
  EXPECT_EQ(error, platform::kErrNotRegularFile);
  error = 0;
  EXPECT_EQ(platform::Sys().OpenRead("NUL", true, error), nullptr);
  EXPECT_EQ(error, platform::kErrNotRegularFile);
}

// Hidden, system and read-only files and hidden folders are packed. A name in
// the system's code page is stored with exactly its bytes and extracted under
// the same name (where the code page has accented Latin letters).
TEST(WindowsPack, AttributesAndCodePageNamesPassUnchanged) {
  test::TempDir dir;
  fs::create_directories("src\\hid");
  for (const char* file : {"src\\h.txt", "src\\s.txt", "src\\r.txt", "src\\hid\\x.txt"}) test::WriteFile(file, file);
  SetFileAttributesA("src\\h.txt", FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA("src\\s.txt", FILE_ATTRIBUTE_SYSTEM);
  SetFileAttributesA("src\\r.txt", FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA("src\\hid", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  std::vector<std::string> names{"", "h.txt", "hid\\x.txt", "r.txt", "s.txt"};
  const std::string name = InCodePage(L"d\u00e9j\u00e0\\caf\u00e9 \u00e0 la cr\u00e8me.txt");
  if (!name.empty()) {
    fs::create_directories(L"src\\d\u00e9j\u00e0");
    WriteFileW(L"src\\d\u00e9j\u00e0\\caf\u00e9 \u00e0 la cr\u00e8me.txt", "cream");
    names.push_back(name);
  }
  test::Outcome packed = test::Pack(dir);
  SetFileAttributesA("src\\r.txt", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(packed.result, 1);
  std::sort(packed.names.begin(), packed.names.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(packed.names, names);
  if (name.empty()) GTEST_SKIP() << "the system's code page has no accented Latin letters";
  EXPECT_TRUE(packed.Logged("Compressing " + name + " (5 bytes)")) << testing::PrintToString(packed.lines);
  test::LogCapture log;
  Archive archive;
  ASSERT_EQ(archive.Extract("out.vrk"), 1);
  HANDLE file = CreateFileW(L"out\\d\u00e9j\u00e0\\caf\u00e9 \u00e0 la cr\u00e8me.txt", GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "not extracted under its own name";
  CloseHandle(file);
}

// A name the code page cannot hold reaches the engine with '?' in its place,
// which names no file: the run fails and says which, rather than storing a
// file under a name that is not its own.
TEST(WindowsPack, ANameTheCodePageCannotHoldFailsTheRun) {
  if (!InCodePage(L"\u4e2d\u6587.txt").empty()) GTEST_SKIP() << "the system's code page holds the name";
  test::TempDir dir;
  fs::create_directories("src");
  test::WriteFile("src\\plain.txt", "x");
  WriteFileW(L"src\\\u4e2d\u6587.txt", "y");
  test::Outcome packed = test::Pack(dir);
  EXPECT_EQ(packed.result, 0);
  EXPECT_TRUE(std::any_of(packed.lines.begin(), packed.lines.end(),
                          [](const std::string& line) { return line.starts_with("Error: ??.txt: "); }))
      << testing::PrintToString(packed.lines);
  EXPECT_FALSE(test::Exists("out.vrk"));
}

// ---------------------------------------------------------------------------
// vrk.exe

// vrk.exe of this build: cli\vrk.exe beside the tests' own folder.
std::wstring VrkExe() {
  std::wstring self(MAX_PATH, L'\0');
  while (GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())) >= self.size()) {
    self.resize(self.size() * 2);
  }
  return (fs::path(self.c_str()).parent_path().parent_path() / L"cli" / L"vrk.exe").wstring();
}

struct Process {
  DWORD status;
  std::string out;
};

// Runs vrk.exe with the arguments in the current folder and collects its
// standard output and error.
Process RunVrk(const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {~0u, "no pipe"};
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + VrkExe() + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &process);
  CloseHandle(writeEnd);
  Process result{~0u, started ? "" : "not started"};
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.out.append(buffer, got);
  CloseHandle(readEnd);
  if (!started) return result;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &result.status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return result;
}

// The worked examples through the real program. Its standard output is a
// Windows text stream, so every line ends in CR LF, as in the log box.
TEST(VrkExe, RunsTheWorkedExamples) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"a.txt", "abc"}, {"sub\\b.txt", "0123456789"}}));
  Process extract = RunVrk(L"extract maps.vrk");
  EXPECT_EQ(extract.status, 0u);
  EXPECT_EQ(extract.out,
            "Extracting file maps.vrk...\r\nExtracting a.txt (3 bytes)\r\nExtracting sub\\b.txt (10 bytes)\r\nAll done!\r\n");
  EXPECT_EQ(test::TreeOf("maps"), (std::map<std::string, std::string>{{"a.txt", "abc"}, {"sub/b.txt", "0123456789"}}));

  fs::create_directories("one");
  test::WriteFile("one\\a.txt", "abc");
  Process one = RunVrk(L"-q compress one one.vrk");
  EXPECT_EQ(one.status, 0u) << one.out;
  EXPECT_EQ(test::ReadFile("one.vrk"), ArchiveBytes::Of({{"a.txt", "abc"}}));

  fs::create_directories("none\\only\\folders");
  Process none = RunVrk(L"-q compress none none.vrk");
  EXPECT_EQ(none.status, 0u) << none.out;
  EXPECT_EQ(test::ReadFile("none.vrk"), ArchiveBytes().Terminator().Signature().str());

  EXPECT_EQ(RunVrk(L"").status, 2u);
  EXPECT_EQ(RunVrk(L"extract missing.vrk").status, 1u);
}

// cat writes the entry's bytes as they are: no LF widened, no CR dropped.
TEST(VrkExe, CatWritesTheBytesUnchanged) {
  test::TempDir dir;
  test::WriteFile("maps.vrk", ArchiveBytes::Of({{"sub\\b.txt", "0\n1\r\n2\x1a" "3"}}));
  Process cat = RunVrk(L"cat maps.vrk sub/b.txt");
  EXPECT_EQ(cat.status, 0u);
  EXPECT_EQ(cat.out, "0\n1\r\n2\x1a" "3");
}

// vrk.exe's version record, as Explorer reads it: the project's version in
// the fixed-size record, and the strings that name the program.
TEST(VrkExe, VersionRecordNamesTheProgramAndItsVersion) {
  unsigned v[4] = {};
  ASSERT_EQ(std::sscanf(VRK_VERSION, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]), 4);
  const std::string version = StringPrintf("%u, %u, %u, %u", v[0], v[1], v[2], v[3]);
  const std::wstring exe = VrkExe();
  DWORD ignored = 0;
  std::vector<char> record(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  ASSERT_FALSE(record.empty()) << "vrk.exe has no version record";
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, v[0] << 16 | v[1]);
  EXPECT_EQ(fixed->dwFileVersionLS, v[2] << 16 | v[3]);
  EXPECT_EQ(fixed->dwProductVersionMS, v[0] << 16 | v[1]);
  EXPECT_EQ(fixed->dwProductVersionLS, v[2] << 16 | v[3]);
  for (const auto& [key, expected] : {std::pair{"FileDescription", "VRKTool MFC Application"},
                                      {"FileVersion", version.c_str()}, {"InternalName", "VRKTool"},
                                      {"OriginalFilename", "vrk.exe"}, {"ProductName", "VRKTool Application"},
                                      {"ProductVersion", version.c_str()}, {"CompanyName", ""}, {"LegalTrademarks", ""}}) {
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
    char* value = nullptr;
    EXPECT_TRUE(VerQueryValueA(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) << key;
    EXPECT_EQ(std::string(value ? value : "(none)"), expected) << key;
  }
}

}  // namespace
