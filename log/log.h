// The progress log: one printf-style function through which every step of
// extracting and packing is reported.
//
// Each message goes unchanged to the debug-output channel and, once a view is
// registered in g_pMainDialog, to the end of the log box with every LF widened
// to CR LF. The log keeps no copy of the transcript; the view holds it.
#pragma once

#include <cstdarg>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The view operations the log needs of the box it writes to. The desktop
// dialog and the command line each provide one.
class LogView {
 public:
  virtual ~LogView() = default;
  // Appends text, already widened to CR LF line ends, to the end of the box.
  virtual void AppendText(std::string_view text) = 0;
  // The number of lines the box holds.
  virtual int GetLineCount() = 0;
  // Scrolls the box by n lines down; the box stops at the end of its text.
  virtual void LineScroll(int lines) = 0;
  // Repaints the window that shows the box, without waiting for the event loop.
  virtual void UpdateWindow() = 0;
};

// The log's one target: set once by the main window (or the command line)
// before any message is sent. Messages sent while it is null reach only the
// debug channel.
extern LogView* g_pMainDialog;

#if defined(__GNUC__)
#define VRK_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define VRK_PRINTF_FORMAT(f, a)
#endif

// Formats a message (any length) and sends it to both channels.
void LogPrintf(const char* format, ...) VRK_PRINTF_FORMAT(1, 2);
void LogPrintfV(const char* format, std::va_list args);

// Sends text to the debug-output channel alone.
void LogDebugLine(std::string_view text);

// Messages sent on a helper thread, gathered to be sent on by the thread that
// owns the log, in their order: the view is not for other threads to touch.
// While a DeferredLog is installed on a thread (ScopedLogDeferral), LogPrintf
// and LogDebugLine on that thread add to it instead of sending.
class DeferredLog {
 public:
  // Adds a message; safe from any thread.
  void Add(std::string text, bool debugOnly);
  // Sends every message gathered so far, in order.
  void Forward();

 private:
  struct Message {
    std::string text;
    bool debugOnly;
  };
  std::mutex mutex_;
  std::vector<Message> messages_;
};

class ScopedLogDeferral {
 public:
  explicit ScopedLogDeferral(DeferredLog& log);
  ~ScopedLogDeferral();
  ScopedLogDeferral(const ScopedLogDeferral&) = delete;
  ScopedLogDeferral& operator=(const ScopedLogDeferral&) = delete;

 private:
  DeferredLog* previous_;
};

// Formats into a string of whatever length the message needs.
std::string FormatMessage(const char* format, std::va_list args);
std::string StringPrintf(const char* format, ...) VRK_PRINTF_FORMAT(1, 2);

// The text the log box receives for a message: every LF becomes CR LF; a CR
// already in the message is left alone, so "\r\n" becomes CR CR LF.
std::string WidenLineEnds(std::string_view message);
