// Helpers of the desktop tests, on top of tests/support.h: the commands'
// dialogs answered from a script, modal dialogs answered through their widgets.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "tests/support.h"
#include "ui/qt/log_box.h"
#include "ui/window_services.h"

namespace uitest {

// A control by its object name; fails the test when there is none.
template <typename T = QWidget>
T* Control(QWidget& dialog, const char* name) {
  T* control = dialog.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

inline QString LogText(QWidget& dialog) { return Control<LogBox>(dialog, "IDC_LOG")->Text(); }
inline std::string Current() { return platform::Sys().CurrentDirectory(); }

// test::WriteFile that makes the file's folders first.
inline void Put(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  test::WriteFile(path, bytes);
}

// Clicks the button from the event loop, once the current ModalScript step has returned.
inline bool Press(QAbstractButton* button) {
  return QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

// Answers the commands' dialogs from `answers` (nullopt: Cancel), recording each request in `asked`
// as "kind title in initialFolder filter" (the folder picker's filter: "root|" and its root).
class ScriptedDialogs : public WindowServices {
 public:
  std::deque<std::optional<std::string>> answers;
  std::vector<std::string> asked;

  bool GetOpenFileName(const FileDialogRequest& r, std::string& path) override { return Next("open", r, path); }
  bool GetSaveFileName(const FileDialogRequest& r, std::string& path) override { return Next("save", r, path); }
  int BrowseForFolder(std::string& folder, const char* title, const char* root, const char* initial) override {
    return Next("browse", {title, initial ? initial : "(null)", "root", root ? root : "(null)"}, folder) ? 1 : 0;
  }

 private:
  bool Next(const char* kind, const FileDialogRequest& r, std::string& chosen) {
    asked.push_back(std::string(kind) + " " + r.title + " in " + r.initialFolder + " " + r.filterDescription + "|" +
                    r.filterPattern);
    if (answers.empty()) {
      ADD_FAILURE() << "unscripted dialog: " << asked.back();
      return false;
    }
    const std::optional<std::string> answer = std::move(answers.front());
    answers.pop_front();
    if (answer) chosen = *answer;
    return answer.has_value();
  }
};

// Plays the user's part in modal dialogs: each step is offered the active modal dialog until it
// takes it, then the next step is. A step must not block: it queues (Press) what closes or opens
// a dialog. Steps left undone when the script ends fail the test.
class ModalScript {
 public:
  ModalScript() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }
  ~ModalScript() { EXPECT_EQ(next_, steps_.size()) << "dialog steps left undone"; }
  // A step for a dialog of type T: act(dialog) returns false to wait, or acts and returns true.
  template <typename T, typename Act>
  ModalScript& Then(Act act) {
    steps_.push_back([act](QWidget* modal) {
      T* dialog = qobject_cast<T*>(modal);
      return dialog != nullptr && act(dialog);
    });
    return *this;
  }

 private:
  void Poll() {
    if (next_ == steps_.size()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (++polls_ > 2000) {  // about 20 s: give up, closing the dialog so that the test ends
      ADD_FAILURE() << "step " << next_ + 1 << " never found its dialog";
      next_ = steps_.size();
      if (modal != nullptr) QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
    } else if (modal != nullptr && steps_[next_](modal)) {
      ++next_;
    }
  }
  std::vector<std::function<bool(QWidget*)>> steps_;
  std::size_t next_ = 0;
  int polls_ = 0;
  QTimer timer_;
};

}  // namespace uitest
