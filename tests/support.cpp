#include "tests/support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <utility>

#include "tests/reference_model.h"

#ifdef _WIN32
// Last: it turns FormatMessage, a name of the log, into a macro.
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace test {

ArchiveBytes& ArchiveBytes::Header(const std::string& name, std::uint32_t size) {
  bytes_ += name;
  bytes_.append(17, '\0');
  for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>((size >> shift) & 0xFF);
  return *this;
}

std::string ArchiveBytes::Of(const std::vector<std::pair<std::string, std::string>>& files) {
  ArchiveBytes archive;
  for (const auto& [name, content] : files) archive.Header(name, static_cast<std::uint32_t>(content.size()));
  archive.Terminator();
  for (const auto& file : files) archive.Raw(file.second);
  return archive.Signature().str();
}

// Linux: how many descriptors the process has open, and its limits.
static std::string Held() {
  std::ostringstream limits;
  limits << std::ifstream("/proc/self/limits").rdbuf();
  return std::to_string(std::distance(fs::directory_iterator("/proc/self/fd"), {})) + " open\n" + limits.str();
}

TempDir::TempDir([[maybe_unused]] bool checkHeld) : saved_(platform::Sys().CurrentDirectory()) {
#ifdef _WIN32
  // A death test's child is a new process, not a fork: it works in its parent's folder, named in the environment.
  const char* parents = std::getenv("VRK_TEST_DIR");
  borrowed_ = !GTEST_FLAG_GET(internal_run_death_test).empty() && parents;
  std::string fresh = borrowed_ ? parents : "";
  // No mkdtemp: fresh names are tried until one is new.
  for (unsigned long long n = GetCurrentProcessId() * 1000000ull; fresh.empty(); ++n) {
    fresh = (fs::temp_directory_path() / ("vrk-test-" + std::to_string(n))).string();
    if (!fs::create_directory(fresh)) fresh.clear();
  }
  if (platform::Sys().ChangeDirectory(fresh) != 0) throw std::runtime_error("cannot enter " + fresh);
  path_ = platform::Sys().CurrentDirectory();
  _putenv_s("VRK_TEST_DIR", path_.c_str());
#else
  std::string pattern = (fs::temp_directory_path() / "vrk-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(pattern).string();
  if (platform::Sys().ChangeDirectory(path_) != 0) throw std::runtime_error("cannot enter " + path_);
  if (checkHeld) held_ = Held();
#endif
}

TempDir::~TempDir() {
  platform::Sys().ChangeDirectory(saved_);
  EXPECT_EQ(held_.empty() ? held_ : Held(), held_) << "the test left descriptors open or a limit changed";
  if (std::error_code ignored; !borrowed_) fs::remove_all(path_, ignored);
}

std::string LogCapture::Transcript() const { return std::regex_replace(boxText_, std::regex("\r\n"), "\n"); }

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(Transcript());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

#ifdef _WIN32
bool LongCurrentDirectories() {
  using Query = BOOLEAN(WINAPI*)();
  FARPROC query = GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlAreLongPathsEnabled");
  return query && reinterpret_cast<Query>(reinterpret_cast<void*>(query))();
}

// Ends the process at once, as kill -9 does (status 9): nothing is flushed or closed.
[[noreturn]] void KillAbruptly(int) {
  TerminateProcess(GetCurrentProcess(), 9);
  std::abort();
}

std::function<bool(int)> KilledAbruptly(int) { return testing::ExitedWithCode(9); }
#else
bool LongCurrentDirectories() { return true; }

[[noreturn]] void KillAbruptly(int signal) {
  std::raise(signal ? signal : SIGKILL);
  std::abort();
}

std::function<bool(int)> KilledAbruptly(int signal) { return testing::KilledBySignal(signal ? signal : SIGKILL); }
#endif

Outcome ExtractBytes(const std::string& archiveName, const std::string& bytes, const ExtractOptions& options,
                     bool recoverEmptyFiles) {
  WriteFile(archiveName, bytes);
  LogCapture log;
  Archive archive;
  archive.extractOptions = options;
  archive.recoverEmptyFiles = recoverEmptyFiles;
  return {archive.Extract(archiveName.c_str()), log.Lines(), {}};
}

Outcome Pack(const TempDir& dir, const std::string& folder, long holdBudget, long keepOpenUpTo) {
  LogCapture log;
  Archive archive;
  if (holdBudget >= 0) archive.data.holdBudget = static_cast<std::size_t>(holdBudget);
  if (keepOpenUpTo >= 0) archive.data.keepOpenUpTo = static_cast<std::size_t>(keepOpenUpTo);
  Outcome packed{archive.CompressPath("out.vrk", (dir.path() + "/" + folder).c_str()), log.Lines(), {}};
  for (const auto& entry : archive.entries) packed.names.push_back(entry->name);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), dir.path());
  return packed;
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ReadFile(const std::string& path) {
  // Through the platform layer, which opens paths of any length.
  int error = 0;
  auto in = platform::System().OpenRead(path, true, error);  // a pipe reads as empty, never waits
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; in && (n = in->Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

std::map<std::string, std::string> TreeOf(const std::string& folder) {
  auto tree = Snapshot(folder);
  std::erase_if(tree, [](const auto& item) { return item.second == "<dir>" || item.second == "<link>"; });
  return tree;
}

std::map<std::string, std::string> Snapshot(const std::string& folder, const std::string& except) {
  std::map<std::string, std::string> items;
  std::vector<std::string> pending = {""};  // folders still to list, relative to `folder`
  while (!pending.empty()) {
    const std::string below = std::move(pending.back());
    pending.pop_back();
    std::vector<platform::DirItem> listed;
    platform::System().ListDirectory(below.empty() ? folder : folder + "/" + below, listed);
    for (const platform::DirItem& item : listed) {
      const std::string relative = below.empty() ? item.name : below + "/" + item.name;
      const bool isFolder = item.kind == platform::ItemKind::Directory && !item.isLink;
      if (relative == except) continue;
      items[relative] = item.isLink ? "<link>" : isFolder ? "<dir>" : ReadFile(folder + "/" + relative);
      if (isFolder) pending.push_back(relative);
    }
  }
  return items;
}

Outcome ExtractChecked(const TempDir& dir, const std::string& bytes, const std::function<void()>& setup,
                       const ExtractOptions& options) {
  fs::create_directories(dir.path() + "/a/b/out");
  platform::Sys().ChangeDirectory(dir.path() + "/a/b/out");
  const std::string here = platform::Sys().CurrentDirectory();
  setup();
  WriteFile("maps.vrk", bytes);
  const std::string output = "a/b/out/maps";
  auto before = Snapshot(dir.path(), output);
  Outcome outcome = ExtractBytes("maps.vrk", bytes, options);
  EXPECT_EQ(platform::Sys().CurrentDirectory(), here);
  platform::Sys().ChangeDirectory(dir.path());
  EXPECT_EQ(Snapshot(dir.path(), output), before) << "something outside the output folder changed";
  EXPECT_EQ(outcome.lines.back() == "All done!", outcome.result == 1) << outcome.lines.back();
  if (outcome.result == 1) {
    model::Reading reading = model::Read(bytes);
    EXPECT_TRUE(reading.CanSucceed()) << "a damaged or refused archive was reported as extracted";
    for (const auto& [path, content] : reading.files)
      EXPECT_EQ(ReadFile(dir.path() + "/" + output + "/" + path), content) << path;
  } else {
    EXPECT_TRUE(outcome.lines.back().starts_with("Failed with ")) << outcome.lines.back();
  }
  return outcome;
}

namespace {

class FaultyStream final : public platform::ByteStream {
 public:
  using enum FaultySystem::What;
  FaultyStream(std::unique_ptr<platform::ByteStream> inner, const FaultySystem& sys, const std::string& path)
      : inner_(std::move(inner)), sys_(sys), path_(path) {}

  std::size_t ReadUpTo(void* buffer, std::size_t n) override {
    return Read(buffer, Get(kSplit) && read_ == 0 ? std::min<std::size_t>(n, Get(kSplit)->bytes) : n);
  }
  std::size_t Read(void* buffer, std::size_t n) override {
    if (auto limit = Get(kRead); limit && read_ + n > std::size_t(limit->bytes)) {
      n = limit->bytes - read_;
      error_ = limit->error;
    }
    std::size_t got = inner_->Read(buffer, n);
    read_ += got;
    return got;
  }
  int GetByte() override {
    unsigned char c;
    return Read(&c, 1) == 1 ? c : -1;
  }
  bool Write(const void* buffer, std::size_t n) override {
    if (auto kill = Get(kKill); kill && written_ + n > std::size_t(kill->bytes)) KillAbruptly(kill->error);
    if (auto limit = Get(kWrite); limit && written_ + n > std::size_t(limit->bytes)) {
      inner_->Write(buffer, limit->bytes - written_);
      written_ = limit->bytes;
      error_ = limit->error;
      return false;
    }
    written_ += n;
    return inner_->Write(buffer, n);
  }
  bool Close() override {
    if (auto fail = Get(kClose)) error_ = fail->error;
    return inner_->Close() && error_ == 0;
  }
  std::int64_t Length() override { return Get(kLength) ? Get(kLength)->bytes : inner_->Length(); }
  int error() const override { return error_ ? error_ : inner_->error(); }
  platform::NodeId Identity() const override { return inner_->Identity(); }
  bool StateNow(std::int64_t& length, bool& named) override {
    if (!inner_->StateNow(length, named)) return false;
    if (auto fake = Get(kLength)) length = fake->bytes;
    return true;
  }

 private:
  const FaultySystem::Rule* Get(FaultySystem::What what) const { return sys_.Find(what, path_); }

  std::unique_ptr<platform::ByteStream> inner_;
  const FaultySystem& sys_;
  const std::string path_;
  std::size_t read_ = 0, written_ = 0;
  int error_ = 0;
};

}  // namespace

const FaultySystem::Rule* FaultySystem::Find(What what, const std::string& path) const {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  for (const Rule& rule : rules) {
    if (rule.what == what && native.find(rule.path) != std::string::npos) return &rule;
  }
  return nullptr;
}

// Fails with a matching kOpen rule, or opens, behind the stream rules that match.
std::unique_ptr<platform::ByteStream> FaultySystem::Open(
    const std::string& path, int& error, const std::function<std::unique_ptr<platform::ByteStream>()>& open) {
  if (const Rule* rule = Find(kOpen, path)) return error = rule->error, nullptr;
  std::unique_ptr<platform::ByteStream> stream = open();
  for (What what : {kWrite, kRead, kSplit, kLength, kKill, kClose}) {
    if (stream && Find(what, path)) return std::make_unique<FaultyStream>(std::move(stream), *this, path);
  }
  return stream;
}

// Where the system replaces by CreateNew, the hook has run for that creation already.
std::unique_ptr<platform::ByteStream> FaultySystem::CreateReplacement(const std::string& path,
                                                                      const platform::ReplaceTarget& like, int& error) {
  if (onCreate) onCreate(path);
  auto hook = std::exchange(onCreate, nullptr);
  auto stream = Open(path, error, [&] { return System::CreateReplacement(path, like, error); });
  onCreate = std::move(hook);
  return stream;
}

std::int64_t FaultySystem::KernelCopy(int from, int to, std::size_t n, int& error) {
  // A part first, so the copy through memory has to carry on from where the kernel stopped.
  if (++kernelCopies % 2 == 1 || refuseKernelCopy == 0)
    return System::KernelCopy(from, to, refuseKernelCopy ? std::min<std::size_t>(n, 4096) : n, error);
  error = refuseKernelCopy;
  return -1;
}

int FaultySystem::ListDirectory(const std::string& path, std::vector<platform::DirItem>& items) {
  std::string here = CurrentDirectory();
  if (const Rule* rule = Find(kList, here)) return rule->error;
  int error = System::ListDirectory(path, items);
  const auto& order = listOrder[here.substr(here.find_last_of("/\\") + 1)];  // none: all rank alike
  std::ranges::stable_sort(items, {},
                           [&](const auto& item) { return std::ranges::find(order, item.name) - order.begin(); });
  return error;
}

}  // namespace test
