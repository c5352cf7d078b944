#include "ui/qt/tool_dialog.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "ui/qt/about_dialog.h"
#include "ui/commands.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/log_box.h"
#include "ui/resource_names.h"
#include "ui/texts.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

// How the log box shows a carriage return that no line feed follows (the
// log widens only LF, so such a CR came with the message itself): as the
// visible control picture, instead of breaking the line or vanishing.
constexpr char16_t kLoneCarriageReturn = u'\u240D';

// The box's text for a piece of the transcript: CR LF (and a bare LF) is a
// line break, a lone CR shows as its control picture, everything else is
// the system's 8-bit text decoded.
QString ShownText(std::string_view text) {
  const QString decoded = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
  QString shown;
  shown.reserve(decoded.size());
  for (qsizetype i = 0; i < decoded.size(); ++i) {
    const QChar c = decoded[i];
    if (c == u'\r') {
      if (i + 1 < decoded.size() && decoded[i + 1] == u'\n') {
        shown += u'\n';
        ++i;
      } else {
        shown += QChar(kLoneCarriageReturn);
      }
    } else {
      shown += c;
    }
  }
  return shown;
}

void NameControl(QWidget* widget, const char* name, int id) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setProperty("resourceId", id);
}

}  // namespace

CToolDialog::CToolDialog(QWidget* parent)
    : QDialog(parent, kDialogFlags),
      m_qtServices(this),
      m_services(&m_qtServices),
      m_clock(&RepaintThrottle::Clock::now) {
  m_hIcon.addFile(QStringLiteral(":/icons/vrktool-16.png"), QSize(16, 16));
  m_hIcon.addFile(QStringLiteral(":/icons/vrktool-32.png"), QSize(32, 32));
  CreateControls();
  OnInitDialog();
}

CToolDialog::~CToolDialog() {
  // The log must not write into a window that is gone.
  if (g_pMainDialog == this) g_pMainDialog = nullptr;
}

void CToolDialog::CreateControls() {
  NameControl(this, RESOURCE_NAME(IDD_MAIN), IDD_MAIN);
  setWindowTitle(QString::fromUtf8(kMainCaption));
  const DialogUnits units(font());

  // Created in template order, which is also the tab order.
  m_extract = new QPushButton(QString::fromUtf8(kExtractButton), this);
  NameControl(m_extract, RESOURCE_NAME(IDC_EXTRACT), IDC_EXTRACT);
  m_extract->setGeometry(units.Rect(5, 5, 110, 15));
  connect(m_extract, &QPushButton::clicked, this, &CToolDialog::OnExtract);

  m_compress = new QPushButton(QString::fromUtf8(kCompressButton), this);
  NameControl(m_compress, RESOURCE_NAME(IDC_COMPRESS), IDC_COMPRESS);
  m_compress->setGeometry(units.Rect(130, 5, 110, 15));
  connect(m_compress, &QPushButton::clicked, this, &CToolDialog::OnCompress);

  m_log = new LogBox(this);
  NameControl(m_log, RESOURCE_NAME(IDC_LOG), IDC_LOG);
  m_log->setGeometry(units.Rect(5, 25, 235, 130));
  m_log->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_log, &QWidget::customContextMenuRequested, this, &CToolDialog::ShowLogMenu);

  m_credit = new QLabel(QString::fromUtf8(kMainCredit), this);
  m_credit->setObjectName(QStringLiteral("creditText"));
  m_credit->setTextFormat(Qt::PlainText);
  m_credit->setAlignment(Qt::AlignCenter);
  m_credit->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_credit->setGeometry(units.Rect(5, 160, 235, 10));

  setFixedSize(units.Size(244, 172));
}

bool CToolDialog::OnInitDialog() {
  // The About item: in the window's context menu and on F1 everywhere, and
  // at the end of the window menu where the window system has one.
  m_about = new QAction(QString::fromUtf8(kAboutMenuItem), this);
  m_about->setObjectName(QStringLiteral(RESOURCE_NAME(IDM_ABOUT)));
  m_about->setShortcut(QKeySequence(Qt::Key_F1));
  m_about->setShortcutContext(Qt::WindowShortcut);
  connect(m_about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUT); });
  addAction(m_about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
#ifdef Q_OS_WIN
  if (HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
    char text[256] = {};
    if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUT, text, int(sizeof text)) > 0) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(menu, MF_STRING, IDM_ABOUT, text);
    }
  }
#endif

  setWindowIcon(m_hIcon);
  g_pMainDialog = this;
  // Focus starts on the first tab stop.
  m_extract->setFocus();
  return true;
}

void CToolDialog::AppendText(std::string_view text) { m_log->Append(ShownText(text)); }

int CToolDialog::GetLineCount() { return m_log->LineCount(); }

void CToolDialog::LineScroll(int lines) {
  // Scrolling waits for the box to take in the new lines, at the next
  // repaint or when the event loop runs: scrolling at once would stop short
  // of the lines it does not show yet, and nobody sees the box in between.
  m_pendingScroll += lines;
  if (!m_flushPosted) {
    m_flushPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_flushPosted = false;
          FlushLog();
        },
        Qt::QueuedConnection);
  }
}

void CToolDialog::UpdateWindow() {
  if (m_repaint.Request(m_clock())) RepaintNow();
}

void CToolDialog::FlushLog() {
  m_log->SyncView();
  if (m_pendingScroll != 0) m_log->ScrollLines(m_pendingScroll);
  m_pendingScroll = 0;
}

void CToolDialog::RepaintNow() {
  FlushLog();
  repaint();
  m_repaint.Painted(m_clock());
}

void CToolDialog::FlushRepaint() {
  if (m_repaint.Pending()) RepaintNow();
}

void CToolDialog::OnExtract() {
  ExtractCommand(*m_services);
  FlushRepaint();
}

void CToolDialog::OnCompress() {
  CompressCommand(*m_services);
  FlushRepaint();
}

bool CToolDialog::OnSysCommand(unsigned nID) {
  if ((nID & 0xFFF0) != IDM_ABOUT) return false;
  CAboutDialog about(this);
  about.exec();
  return true;
}

void CToolDialog::SetWindowServices(WindowServices* services) {
  m_services = services != nullptr ? services : &m_qtServices;
}

void CToolDialog::SetClock(std::function<RepaintThrottle::Clock::time_point()> clock) { m_clock = std::move(clock); }

void CToolDialog::keyPressEvent(QKeyEvent* event) {
  // Enter ends the dialog unless a button has the focus (a focused button
  // takes Enter itself and clicks); Escape ends it through QDialog.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
      qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CToolDialog::ShowLogMenu(const QPoint& position) {
  QMenu* menu = m_log->CreateStandardContextMenu();
  menu->addSeparator();
  menu->addAction(m_about);
  menu->exec(m_log->viewport()->mapToGlobal(position));
  delete menu;
}

#ifdef Q_OS_WIN
bool CToolDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  if (eventType == "windows_generic_MSG") {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && OnSysCommand(static_cast<unsigned>(msg->wParam))) {
      *result = 0;
      return true;
    }
  }
  return QDialog::nativeEvent(eventType, message, result);
}
#endif
