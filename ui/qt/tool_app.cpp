#include "ui/qt/tool_app.h"

#include <QApplication>
#include <QIcon>

#include "ui/texts.h"
#include "ui/qt/tool_dialog.h"

CToolApp theApp;

void CToolApp::InitApplication() {
  QApplication::setApplicationName(QString::fromUtf8(kApplicationName));
  QApplication::setApplicationVersion(QString::fromUtf8(kApplicationVersion));
  // Lets desktops match the windows to the installed desktop entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromUtf8(kDesktopFileName));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/vrktool-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/vrktool-32.png"), QSize(32, 32));
  QApplication::setWindowIcon(icon);
}

bool CToolApp::InitInstance() {
  CToolDialog dialog;
  m_pMainWnd = &dialog;
  dialog.exec();
  m_pMainWnd = nullptr;
  return false;
}
