#include "ui/qt/about_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "ui/qt/dialog_units.h"
#include "ui/resource_names.h"
#include "ui/texts.h"

namespace {
constexpr int kOkId = 1;  // IDOK, the dialog's default button
}

CAboutDialog::CAboutDialog(QWidget* owner)
    : QDialog(owner, kDialogFlags) {
  setObjectName(QStringLiteral(RESOURCE_NAME(IDD_ABOUT)));
  setProperty("resourceId", IDD_ABOUT);
  setWindowTitle(QString::fromUtf8(kAboutCaption));
  const DialogUnits units(font());

  auto* title = new QLabel(QString::fromUtf8(kAboutTitle), this);
  title->setObjectName(QStringLiteral("aboutTitle"));
  title->setTextFormat(Qt::PlainText);
  title->setAlignment(Qt::AlignCenter);
  title->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  title->setGeometry(units.Rect(5, 5, 115, 20));

  auto* credit = new QLabel(QString::fromUtf8(kAboutCredit), this);
  credit->setObjectName(QStringLiteral("aboutCredit"));
  credit->setTextFormat(Qt::PlainText);
  credit->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  credit->setGeometry(units.Rect(5, 30, 119, 15));

  auto* ok = new QPushButton(QString::fromUtf8(kAboutOk), this);
  ok->setObjectName(QStringLiteral("IDOK"));
  ok->setProperty("resourceId", kOkId);
  ok->setDefault(true);
  ok->setGeometry(units.Rect(125, 10, 50, 30));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  setFixedSize(units.Size(179, 52));
  ok->setFocus();
}
