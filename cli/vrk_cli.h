// The `vrk` command line: extract, compress, list and verify archives from
// scripts. RunVrk does the whole run and returns the exit status, so the
// command can be run in-process by tests.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

enum VrkExitStatus {
  kExitSuccess = 0,
  kExitFailed = 1,  // the operation met errors; they were logged
  kExitUsage = 2,   // the command line was wrong
};

// args excludes the program name. The transcript goes to out, usage errors
// (and, with --quiet, error and warning lines) to err. When interactive (a
// terminal), every message is flushed as it comes, so the log fills live.
int RunVrk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive = false);
