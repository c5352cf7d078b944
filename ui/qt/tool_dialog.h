// The main window: "Extract" and "Compress" side by side, the log box below
// them and a credit line at the bottom. It is the progress log's view: once
// initialised, every LogPrintf lands in its log box.
#pragma once

#include <functional>
#include <string_view>

#include <QDialog>
#include <QIcon>

#include "log/log.h"
#include "ui/qt/qt_window_services.h"
#include "ui/repaint_throttle.h"

class QAction;
class QLabel;
class LogBox;
class QPushButton;

class CToolDialog : public QDialog, public LogView {
  Q_OBJECT
 public:
  explicit CToolDialog(QWidget* parent = nullptr);
  ~CToolDialog() override;

  // LogView: the log box's share of the progress log.
  void AppendText(std::string_view text) override;
  int GetLineCount() override;
  void LineScroll(int lines) override;
  void UpdateWindow() override;

  // The button handlers.
  void OnExtract();
  void OnCompress();
  // A window-menu command. The About command (the low four bits of its value
  // are free for the window system's use and ignored) opens the About box;
  // answers whether the command was one of ours.
  bool OnSysCommand(unsigned nID);
  // The icon the window shows, also when minimised.
  QIcon OnQueryDragIcon() const { return m_hIcon; }

  // The dialogs the commands ask through; null restores Qt's.
  void SetWindowServices(WindowServices* services);
  // The clock that paces repaints (tests step it by hand).
  void SetClock(std::function<RepaintThrottle::Clock::time_point()> clock);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
#ifdef Q_OS_WIN
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

 private:
  // Builds the controls of the dialog template.
  void CreateControls();
  // Adds the About item, sets the icons and makes this the log's view.
  bool OnInitDialog();
  void ShowLogMenu(const QPoint& position);
  // Brings the log box up to date and applies the queued scroll.
  void FlushLog();
  void RepaintNow();
  // Paints the last message of a command if its repaint was held back.
  void FlushRepaint();

  QIcon m_hIcon;
  QPushButton* m_extract = nullptr;
  QPushButton* m_compress = nullptr;
  LogBox* m_log = nullptr;
  QLabel* m_credit = nullptr;
  QAction* m_about = nullptr;

  QtWindowServices m_qtServices;
  WindowServices* m_services;
  RepaintThrottle m_repaint;
  // Scrolling on its way to the log box.
  qint64 m_pendingScroll = 0;
  bool m_flushPosted = false;
  std::function<RepaintThrottle::Clock::time_point()> m_clock;
};
