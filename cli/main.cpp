#include <csignal>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

#include "cli/vrk_cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // A file-size limit then fails the write with EFBIG, which is reported
  // with the file's name, instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // An interrupted packing run leaves no temporary file behind.
  platform::InstallInterruptCleanup();
  std::ios::sync_with_stdio(false);
  return RunVrk(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, isatty(STDOUT_FILENO) != 0);
}
