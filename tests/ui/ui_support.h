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

class QTimer;
class QWidget;
class CToolDialog;

namespace uitest {

// A fresh, empty folder under the system's temporary folder (its canonical
// path, so it reads the same as the current directory the platform reports),
// removed with everything in it at the end. The current directory is put
// back as it was.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with a relative path of '/'-separated components.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
  std::string savedCurrent_;
};

void MakeFolders(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Every folder and file below a folder: relative path -> content ("/" for a
// folder). Two snapshots compare equal when nothing was added or changed.
std::map<std::string, std::string> Snapshot(const std::string& folder);

// The bytes of an archive holding these (name, content) entries.
std::string ArchiveOf(const std::vector<std::pair<std::string, std::string>>& files);

std::string CurrentDirectory();
void ChangeDirectory(const std::string& path);

// The text the log box shows.
QString LogText(CToolDialog& dialog);

// What one dialog request of a command looked like.
struct Request {
  enum Kind { Open, Save, Browse } kind;
  std::string title;
  std::string initialFolder;
  std::string filterDescription;  // file dialogs
  std::string filterPattern;      // file dialogs
  std::optional<std::string> rootPath;  // folder picker: null when not given
  bool hasInitialFolder = true;
};

// Answers the commands' dialogs from a script: each answer is the path the
// user chose, or nullopt for Cancel. Every request is recorded.
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

// Plays the user's part in modal dialogs: each step waits until the active
// modal widget is one it accepts (it returns true), then the next step waits.
// A step must not block: whatever opens a nested dialog (a click, accept())
// is queued with Later(). A script that has steps left when destroyed fails
// the test.
class ModalScript {
 public:
  ModalScript();
  ~ModalScript();
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  ModalScript& Then(std::function<bool(QWidget*)> step);
  bool Done() const { return next_ == steps_.size(); }

 private:
  void Poll();
  std::vector<std::function<bool(QWidget*)>> steps_;
  std::size_t next_ = 0;
  int polls_ = 0;
  QTimer* timer_;
};

// Runs f from the event loop, after the current step has returned.
void Later(std::function<void()> f);

}  // namespace uitest
