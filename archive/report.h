// How the engine reports problems in the progress log: one line each,
// starting with "Error: " or "Warning: ", and one closing line per run.
#pragma once

#include <string>

#include "log/log.h"

// Logs "Error: " followed by the message and counts it.
void LogError(unsigned& errorCount, const char* format, ...) VRK_PRINTF_FORMAT(2, 3);
// Logs "Warning: " followed by the message. Warnings do not fail a run.
void LogWarning(const char* format, ...) VRK_PRINTF_FORMAT(1, 2);

// Ends a run: "All done!" and 1 when no error was met, otherwise a line that
// says the run failed with how many errors (followed by failureNote), and 0.
int ConcludeRun(unsigned errorCount, const std::string& failureNote = {});
