#include "ui_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "platform/platform.h"
#include "ui/log_box.h"
#include "ui/resource_names.h"
#include "ui/tool_dialog.h"

namespace fs = std::filesystem;

namespace uitest {

ScratchFolder::ScratchFolder() : savedCurrent_(platform::Sys().CurrentDirectory()) {
  std::string pattern = (fs::temp_directory_path() / "vrk-ui-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
  path_ = fs::canonical(pattern).string();
}

ScratchFolder::~ScratchFolder() {
  platform::Sys().ChangeDirectory(savedCurrent_);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void MakeFolders(const std::string& path) { fs::create_directories(path); }

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> items;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(item.path(), folder).string();
    items[relative] = item.is_directory() ? "/" : ReadFile(item.path().string());
  }
  return items;
}

std::string ArchiveOf(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string bytes;
  auto header = [&bytes](const std::string& name, std::uint32_t size) {
    bytes += name;
    bytes.append(17, '\0');
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((size >> shift) & 0xFF);
  };
  for (const auto& [name, content] : files) header(name, static_cast<std::uint32_t>(content.size()));
  header("", 0);
  for (const auto& file : files) bytes += file.second;
  bytes.append(ArchiveSignature, kArchiveSignatureSize);
  return bytes;
}

std::string CurrentDirectory() { return platform::Sys().CurrentDirectory(); }

void ChangeDirectory(const std::string& path) {
  ASSERT_EQ(platform::Sys().ChangeDirectory(path), 0) << path;
}

QString LogText(CToolDialog& dialog) {
  return dialog.findChild<LogBox*>(QStringLiteral(RESOURCE_NAME(IDC_LOG)))->Text();
}

bool ScriptedDialogs::Next(std::string& chosen) {
  if (answers_.empty()) {
    ADD_FAILURE() << "a dialog was shown that the script does not answer";
    return false;
  }
  std::optional<std::string> answer = std::move(answers_.front());
  answers_.pop_front();
  if (!answer) return false;
  chosen = *answer;
  return true;
}

bool ScriptedDialogs::GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) {
  requests_.push_back({Request::Open, request.title, request.initialFolder,
                       request.filterDescription + "|" + request.filterPattern, ""});
  return Next(chosenPath);
}

bool ScriptedDialogs::GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) {
  requests_.push_back({Request::Save, request.title, request.initialFolder,
                       request.filterDescription + "|" + request.filterPattern, ""});
  return Next(chosenPath);
}

int ScriptedDialogs::BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                                     const char* initialFolder) {
  requests_.push_back(
      {Request::Browse, title, initialFolder ? initialFolder : "(none)", "", rootPath ? rootPath : "(none)"});
  return Next(folder) ? 1 : 0;
}

namespace {
constexpr int kPollMilliseconds = 10;
constexpr int kMaxPolls = 2000;  // gives up (and fails) after about 20 s
}  // namespace

ModalScript::ModalScript() : timer_(new QTimer) {
  QObject::connect(timer_, &QTimer::timeout, [this] { Poll(); });
  timer_->start(kPollMilliseconds);
}

ModalScript::~ModalScript() {
  delete timer_;
  EXPECT_TRUE(Done()) << "dialog steps left undone: " << steps_.size() - next_;
}

ModalScript& ModalScript::Then(std::function<bool(QWidget*)> step) {
  steps_.push_back(std::move(step));
  return *this;
}

void ModalScript::Poll() {
  if (Done()) return;
  if (++polls_ > kMaxPolls) {
    ADD_FAILURE() << "the expected dialog did not open (step " << next_ + 1 << ")";
    next_ = steps_.size();
    // Close whatever is open so that the test ends instead of hanging.
    if (QWidget* modal = QApplication::activeModalWidget()) Later([modal] { modal->close(); });
    return;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != nullptr && steps_[next_](modal)) ++next_;
}

void Later(std::function<void()> f) { QTimer::singleShot(0, std::move(f)); }

}  // namespace uitest
