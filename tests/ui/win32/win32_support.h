// Helpers of the Win32 dialog tests: modal windows of the test's thread
// answered from a script, and what a window shows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace w32test {

inline std::string Text(HWND window) {
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

inline std::string ItemText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

// Clicks a control as the dialog manager does, from the message loop.
inline void Post(HWND dialog, int id) {
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// Types a name into a file dialog's name box and confirms it.
inline void Choose(HWND fileDialog, const std::string& name) {
  ::SetDlgItemTextA(fileDialog, 0x47C, name.c_str());
  Post(fileDialog, IDOK);
}

// Answers the modal windows of this thread, in order: on every tick of a
// timer (run by whichever modal loop is running) the next step runs on the
// enabled, visible top-level window whose caption it names. Steps must
// return at once: they post clicks rather than send them. Past the deadline
// the test fails and every window of the thread is cancelled, so a window
// nobody answers never hangs the run.
class ModalScript {
 public:
  using Step = std::function<void(HWND)>;

  ModalScript() {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 10, &ModalScript::Tick);
  }
  ~ModalScript() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
    EXPECT_TRUE(steps_.empty()) << "no window \"" << steps_.front().caption << "\" appeared, or it never got ready";
  }
  // ready: the step waits until it holds of the window (a dialog that
  // fills itself in after it shows).
  ModalScript& Then(std::string caption, Step step, std::function<bool(HWND)> ready = nullptr) {
    steps_.push_back({std::move(caption), std::move(step), std::move(ready)});
    return *this;
  }
  // A step to run before all others still to come (a step asking again).
  void Next(std::string caption, Step step, std::function<bool(HWND)> ready = nullptr) {
    steps_.push_front({std::move(caption), std::move(step), std::move(ready)});
  }

 private:
  struct Entry {
    std::string caption;
    Step step;
    std::function<bool(HWND)> ready;
  };

  static HWND Find(const std::string& caption) {
    std::pair<const std::string*, HWND> search{&caption, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
          auto* found = reinterpret_cast<std::pair<const std::string*, HWND>*>(data);
          if (!::IsWindowVisible(window) || !::IsWindowEnabled(window) || Text(window) != *found->first) return TRUE;
          found->second = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
  }

  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalScript* script = current_;
    if (script == nullptr || script->running_) return;
    if (std::chrono::steady_clock::now() > script->deadline_) {
      if (!script->timedOut_) ADD_FAILURE() << "the script timed out";
      script->timedOut_ = true;
      script->deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      script->steps_.clear();
      ::EnumThreadWindows(
          ::GetCurrentThreadId(),
          [](HWND window, LPARAM) -> BOOL {
            ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
          },
          0);
      return;
    }
    if (script->steps_.empty()) return;
    HWND window = Find(script->steps_.front().caption);
    if (window == nullptr || (script->steps_.front().ready && !script->steps_.front().ready(window))) return;
    Step step = std::move(script->steps_.front().step);
    script->steps_.pop_front();
    script->running_ = true;
    step(window);
    script->running_ = false;
  }

  static inline ModalScript* current_ = nullptr;
  UINT_PTR timer_ = 0;
  bool running_ = false;
  bool timedOut_ = false;
  std::deque<Entry> steps_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(20);
};

}  // namespace w32test
