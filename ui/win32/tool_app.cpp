#include "ui/win32/tool_app.h"

#include <objbase.h>

#include "ui/win32/tool_dialog.h"

CToolApp theApp;

bool CToolApp::InitInstance() {
  // The shell's folder browser works through COM on this thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CToolDialog dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return false;
}
