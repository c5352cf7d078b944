// Helpers of the Win32 dialog tests: modal windows of the test's thread
// answered from a script, and what a window shows.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <tuple>

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

// Answers the modal windows of this thread in order: on every tick of a timer
// (run by whichever modal loop runs) the next step runs on the visible,
// enabled top-level window with its caption, once `ready` holds of it. Steps
// post clicks rather than send them. Past the deadline the test fails at once
// rather than hang.
class ModalScript {
 public:
  using Step = std::function<void(HWND)>;
  using Ready = std::function<bool(HWND)>;

  ModalScript() : timer_(::SetTimer(nullptr, 0, 10, &ModalScript::Tick)) { current_ = this; }
  ~ModalScript() {
    ::KillTimer(nullptr, timer_);
    EXPECT_TRUE(steps_.empty()) << "no window \"" << std::get<0>(steps_.front()) << "\" appeared, or it never got ready";
  }
  ModalScript& Then(std::string caption, Step step, Ready ready = [](HWND) { return true; }) {
    steps_.emplace_back(std::move(caption), std::move(step), std::move(ready));
    return *this;
  }

 private:
  static BOOL CALLBACK Find(HWND window, LPARAM found) {
    if (!::IsWindowVisible(window) || !::IsWindowEnabled(window) || Text(window) != std::get<0>(current_->steps_.front())) {
      return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    auto& steps = current_->steps_;
    if (std::chrono::steady_clock::now() > current_->deadline_) {
      std::fprintf(stderr, "Failure: timed out with \"%s\" to answer\n", steps.empty() ? "" : std::get<0>(steps.front()).c_str());
      std::_Exit(1);
    }
    HWND window = nullptr;
    if (!steps.empty()) ::EnumThreadWindows(::GetCurrentThreadId(), Find, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr || !std::get<2>(steps.front())(window)) return;
    Step step = std::move(std::get<1>(steps.front()));
    steps.pop_front();
    step(window);
  }

  static inline ModalScript* current_ = nullptr;
  UINT_PTR timer_;
  std::deque<std::tuple<std::string, Step, Ready>> steps_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(20);
};

}  // namespace w32test
