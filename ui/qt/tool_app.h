// The application object: starts the main dialog and ends the program when
// the dialog closes.
#pragma once

class QWidget;

class CToolApp {
 public:
  CToolApp() = default;
  CToolApp(const CToolApp&) = delete;
  CToolApp& operator=(const CToolApp&) = delete;

  // Gives the running QApplication the program's name, version and icon.
  void InitApplication();
  // Runs the main dialog modally. Always false: there is no message loop to
  // run after it, and the program ends.
  bool InitInstance();

  // The main dialog while it runs.
  QWidget* m_pMainWnd = nullptr;
};

extern CToolApp theApp;
