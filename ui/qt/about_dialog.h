// The About box: program name and version, a credit text and "OK".
#pragma once

#include <QDialog>

class CAboutDialog : public QDialog {
  Q_OBJECT
 public:
  // The owner is the window the box is centred on and modal to.
  explicit CAboutDialog(QWidget* owner = nullptr);
};
