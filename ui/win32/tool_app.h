// The application object: runs the main dialog, and the program ends when
// the dialog closes.
#pragma once

class CToolDialog;

class CToolApp {
 public:
  CToolApp() = default;
  CToolApp(const CToolApp&) = delete;
  CToolApp& operator=(const CToolApp&) = delete;

  // Runs the main dialog modally. Always false: there is no message loop to
  // run after it, and the program ends.
  bool InitInstance();

  // The main dialog while it runs.
  CToolDialog* m_pMainWnd = nullptr;
};

extern CToolApp theApp;
