#include "log/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

LogView* g_pMainDialog = nullptr;

std::string FormatMessage(const char* format, std::va_list args) {
  // Most messages fit the first try; a longer one is formatted again into a
  // buffer of exactly its size, so no message is ever cut.
  char small[512];
  std::va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  std::string message;
  if (length < 0) {
    message = "(unformattable message)\n";
  } else if (static_cast<std::size_t>(length) < sizeof small) {
    message.assign(small, static_cast<std::size_t>(length));
  } else {
    message.resize(static_cast<std::size_t>(length));
    std::vsnprintf(message.data(), message.size() + 1, format, again);
  }
  va_end(again);
  return message;
}

std::string StringPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatMessage(format, args);
  va_end(args);
  return text;
}

std::string WidenLineEnds(std::string_view message) {
  std::string widened;
  widened.reserve(message.size() + 8);
  for (std::size_t at = 0; at < message.size();) {
    const std::size_t end = std::min(message.find('\n', at), message.size());
    widened.append(message, at, end - at);
    if (end < message.size()) widened += "\r\n";
    at = end + 1;
  }
  return widened;
}

namespace {

// Where this thread's messages go instead of the channels, if anywhere.
thread_local DeferredLog* t_deferral = nullptr;

void Send(const std::string& message) {
  platform::Sys().DebugOutput(message);
  if (LogView* view = g_pMainDialog) {
    view->AppendText(WidenLineEnds(message));
    view->LineScroll(view->GetLineCount());
    view->UpdateWindow();
  }
}

}  // namespace

void LogPrintfV(const char* format, std::va_list args) {
  std::string message = FormatMessage(format, args);
  // A message that holds a NUL (a %c of 0) ends there for both channels.
  message.resize(std::strlen(message.c_str()));
  if (t_deferral) {
    t_deferral->Add(std::move(message), false);
  } else {
    Send(message);
  }
}

void LogDebugLine(std::string_view text) {
  if (t_deferral) {
    t_deferral->Add(std::string(text), true);
  } else {
    platform::Sys().DebugOutput(text);
  }
}

void DeferredLog::Add(std::string text, bool debugOnly) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::move(text), debugOnly});
}

void DeferredLog::Forward() {
  std::vector<Message> messages;
  {
    std::lock_guard lock(mutex_);
    messages.swap(messages_);
  }
  for (const Message& message : messages) {
    if (message.debugOnly) {
      platform::Sys().DebugOutput(message.text);
    } else {
      Send(message.text);
    }
  }
}

ScopedLogDeferral::ScopedLogDeferral(DeferredLog& log) : previous_(t_deferral) { t_deferral = &log; }
ScopedLogDeferral::~ScopedLogDeferral() { t_deferral = previous_; }

void LogPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  LogPrintfV(format, args);
  va_end(args);
}
