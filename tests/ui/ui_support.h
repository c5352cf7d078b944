// Helpers of the desktop tests: scratch folders built in code, archives
// built byte by byte, dialogs answered from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "ui/window_services.h"

class CToolDialog;
class QTimer;
class QWidget;

namespace uitest {

// A fresh folder under the system's temporary folder, by its canonical path
// (so that it reads as the platform reports it once current), removed at the
// end. The current directory is put back as it was.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
  std::string savedCurrent_;
};

void MakeFolders(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);  // makes its folders
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Every folder ("/") and file (its content) below a folder, by relative path.
std::map<std::string, std::string> Snapshot(const std::string& folder);
// The bytes of an archive holding these (name, content) entries.
std::string ArchiveOf(const std::vector<std::pair<std::string, std::string>>& files);
std::string CurrentDirectory();
void ChangeDirectory(const std::string& path);
// The log box's text, each line break as '\n'.
QString LogText(CToolDialog& dialog);

// One dialog that a command asked for.
struct Request {
  enum Kind { Open, Save, Browse } kind;
  std::string title;
  std::string initialFolder;
  std::string filter;  // file dialogs: "description|pattern"
  std::string rootPath;  // folder picker: as given, "(none)" for null
};

// Answers the commands' dialogs from a script: the chosen path, or nullopt
// for Cancel. Every request is recorded.
class ScriptedDialogs : public WindowServices {
 public:
  ScriptedDialogs& Answer(std::optional<std::string> answer) {
    answers_.push_back(std::move(answer));
    return *this;
  }
  const std::vector<Request>& requests() const { return requests_; }
  bool AllAnswered() const { return answers_.empty(); }

  bool GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  bool GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) override;
  int BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                      const char* initialFolder) override;

 private:
  bool Next(std::string& chosen);
  std::deque<std::optional<std::string>> answers_;
  std::vector<Request> requests_;
};

// Plays the user's part in modal dialogs: each step waits until it accepts
// the active modal widget (returns true), then the next step waits. A step
// must not block: whatever opens a nested dialog is queued with Later().
// Steps left undone when the script ends fail the test.
class ModalScript {
 public:
  ModalScript();
  ~ModalScript();
  ModalScript& Then(std::function<bool(QWidget*)> step);
  bool Done() const { return next_ == steps_.size(); }

 private:
  void Poll();
  std::vector<std::function<bool(QWidget*)>> steps_;
  std::size_t next_ = 0;
  int polls_ = 0;
  QTimer* timer_;
};

// Runs f from the event loop, once the current step has returned.
void Later(std::function<void()> f);

}  // namespace uitest
