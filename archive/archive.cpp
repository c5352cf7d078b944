#include "archive/archive.h"

#include <cstdarg>

#include "archive/report.h"

Archive::~Archive() = default;

void Archive::ReportError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string message = FormatMessage(format, args);
  va_end(args);
  LogError(errorCount, "%s", message.c_str());
}

void LogError(unsigned& errorCount, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string message = FormatMessage(format, args);
  va_end(args);
  ++errorCount;
  LogPrintf("Error: %s", message.c_str());
}

void LogWarning(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string message = FormatMessage(format, args);
  va_end(args);
  LogPrintf("Warning: %s", message.c_str());
}

int ConcludeRun(unsigned errorCount, const std::string& failureNote) {
  if (errorCount == 0) {
    LogPrintf("All done!\n");
    return 1;
  }
  LogPrintf("Failed with %u error%s%s.\n", errorCount, errorCount == 1 ? "" : "s", failureNote.c_str());
  return 0;
}
