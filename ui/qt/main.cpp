// The desktop program: the main dialog, run until the user closes it.
#include <QApplication>

#include "platform/platform.h"
#include "ui/qt/tool_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  platform::InstallInterruptCleanup();  // a session ending mid-write leaves no temporary file
  theApp.InitApplication();
  theApp.InitInstance();
  return 0;
}
