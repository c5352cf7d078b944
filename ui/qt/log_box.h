// The log box: a read-only, multi-line text box that never wraps, made for
// a transcript that only grows at its end.
//
// A general text editor pays for every appended line with its document
// structures (a block, a format, a layout); the transcript of a large packing
// run appends tens of thousands of lines while the work runs. This box keeps
// the lines as plain strings, so appending costs the text's length, and draws
// only the lines in view. The user scrolls both ways, selects text with the
// mouse (or all of it) and copies it.
#pragma once

#include <array>
#include <vector>

#include <QAbstractScrollArea>
#include <QString>

class QMenu;
class QTextLine;

class LogBox : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit LogBox(QWidget* parent = nullptr);

  // Appends text at the end; '\n' starts a new line. The view catches up at
  // the next SyncView() (or when the event loop runs).
  void Append(QStringView text);
  // The number of lines, counting the last one even when it is empty.
  int LineCount() const { return static_cast<int>(lines_.size()); }
  // The whole text, lines joined by '\n'.
  QString Text() const;
  // The selected text, lines joined by '\n'; empty when nothing is selected.
  QString SelectedText() const;

  // Brings the scroll bars up to date with the text appended since the last
  // call, showing or hiding them at once (not from the event loop).
  void SyncView();
  // Scrolls by lines down (up when negative), stopping at either end.
  void ScrollLines(qint64 lines);

  void SelectAll();
  void Copy() const;
  // Copy and Select All, for the box's context menu. The caller owns it.
  QMenu* CreateStandardContextMenu();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool event(QEvent* event) override;

 private:
  struct Position {
    int line = 0;
    int column = 0;
    auto operator<=>(const Position&) const = default;
  };

  int LineHeight() const;
  int VisibleLines() const;
  int LineWidth(const QString& line) const;
  void MeasureNewLines();
  void UpdateScrollBars();
  void FontChanged();
  Position HitTest(const QPoint& point) const;
  bool HasSelection() const { return anchor_ != cursor_; }

  std::vector<QString> lines_;
  // Widths in pixels of the widest line so far and of the last line (which
  // may still grow); lines before measuredLines_ are in widest_.
  int widest_ = 0;
  std::size_t measuredLines_ = 0;
  bool dirty_ = false;
  // Advance of each Latin-1 character in the box's font, in 1/64 pixel.
  std::array<int, 256> advances_{};
  Position anchor_;
  Position cursor_;
  bool selecting_ = false;
};
