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

void LogPrintfV(const char* format, std::va_list args) {
  std::string message = FormatMessage(format, args);
  // A message that holds a NUL (a %c of 0) ends there for both channels.
  message.resize(std::strlen(message.c_str()));
  platform::Sys().DebugOutput(message);
  if (LogView* view = g_pMainDialog) {
    view->AppendText(WidenLineEnds(message));
    view->LineScroll(view->GetLineCount());
    view->UpdateWindow();
  }
}

void LogPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  LogPrintfV(format, args);
  va_end(args);
}
