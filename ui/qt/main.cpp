// The desktop program: the main dialog, run until the user closes it.
#include <QApplication>

#include "ui/qt/tool_app.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  theApp.InitApplication();
  theApp.InitInstance();
  return 0;
}
