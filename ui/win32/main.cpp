// The desktop program: the main dialog, run until the user closes it.
#include "ui/win32/tool_app.h"
#include "ui/win32/dialog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  theApp.InitInstance();
  return 0;
}
