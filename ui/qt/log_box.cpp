#include "ui/qt/log_box.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

namespace {

// Room between the frame and the text, as an edit control leaves it.
constexpr int kMargin = 3;

// A line laid out on its own, for mapping between columns and x positions.
class SingleLine {
 public:
  SingleLine(const QString& text, const QFont& font) : layout_(text, font) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout_.setTextOption(option);
    layout_.beginLayout();
    line_ = layout_.createLine();
    layout_.endLayout();
  }
  qreal X(int column) const { return line_.cursorToX(column); }
  int Column(qreal x) const { return line_.xToCursor(x, QTextLine::CursorBetweenCharacters); }

 private:
  QTextLayout layout_;
  QTextLine line_;
};

}  // namespace

LogBox::LogBox(QWidget* parent) : QAbstractScrollArea(parent), lines_(1) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  viewport()->setCursor(Qt::IBeamCursor);
  FontChanged();
}

void LogBox::Append(QStringView text) {
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\n') continue;
    lines_.back().append(text.mid(start, i - start));
    lines_.emplace_back();
    start = i + 1;
  }
  lines_.back().append(text.mid(start));
  if (!dirty_) {
    dirty_ = true;
    QMetaObject::invokeMethod(this, &LogBox::SyncView, Qt::QueuedConnection);
  }
}

QString LogBox::Text() const {
  QString text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i != 0) text += u'\n';
    text += lines_[i];
  }
  return text;
}

QString LogBox::SelectedText() const {
  if (!HasSelection()) return QString();
  const auto [from, to] = std::minmax(anchor_, cursor_);
  QString text;
  for (int line = from.line; line <= to.line; ++line) {
    const QString& whole = lines_[static_cast<std::size_t>(line)];
    const int begin = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : static_cast<int>(whole.size());
    if (line != from.line) text += u'\n';
    text += whole.mid(begin, end - begin);
  }
  return text;
}

void LogBox::SyncView() {
  if (dirty_) {
    MeasureNewLines();
    dirty_ = false;
  }
  UpdateScrollBars();
  // Showing a scroll bar narrows the view, which can call for the other one:
  // two rounds settle both.
  for (int round = 0; round < 2; ++round) {
    QEvent layout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &layout);
  }
  viewport()->update();
}

void LogBox::ScrollLines(qint64 lines) {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(static_cast<int>(std::clamp<qint64>(bar->value() + lines, bar->minimum(), bar->maximum())));
}

void LogBox::SelectAll() {
  anchor_ = {};
  cursor_ = {LineCount() - 1, static_cast<int>(lines_.back().size())};
  viewport()->update();
}

void LogBox::Copy() const {
  if (HasSelection()) QGuiApplication::clipboard()->setText(SelectedText());
}

QMenu* LogBox::CreateStandardContextMenu() {
  auto* menu = new QMenu(this);
  QAction* copy = menu->addAction(QStringLiteral("&Copy"));
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(HasSelection());
  connect(copy, &QAction::triggered, this, [this] { Copy(); });
  QAction* all = menu->addAction(QStringLiteral("Select &All"));
  all->setShortcut(QKeySequence::SelectAll);
  all->setEnabled(LineCount() > 1 || !lines_.back().isEmpty());
  connect(all, &QAction::triggered, this, [this] { SelectAll(); });
  return menu;
}

int LogBox::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int LogBox::VisibleLines() const { return std::max(1, (viewport()->height() - kMargin) / LineHeight()); }

int LogBox::LineWidth(const QString& line) const {
  // Most transcript lines are Latin-1: add up cached advances instead of
  // shaping the line. Other text goes through the font's own measure.
  long long sum = 0;
  for (const QChar c : line) {
    if (c.unicode() > 0xFF) return fontMetrics().horizontalAdvance(line) + 1;
    sum += advances_[c.unicode()];
  }
  return static_cast<int>((sum + 63) / 64) + 1;
}

void LogBox::MeasureNewLines() {
  for (; measuredLines_ + 1 < lines_.size(); ++measuredLines_) {
    widest_ = std::max(widest_, LineWidth(lines_[measuredLines_]));
  }
}

void LogBox::UpdateScrollBars() {
  QScrollBar* vertical = verticalScrollBar();
  vertical->setRange(0, std::max(0, LineCount() - VisibleLines()));
  vertical->setPageStep(VisibleLines());
  vertical->setSingleStep(1);

  // The last line may still grow, so it is measured afresh each time.
  const int content = std::max(widest_, LineWidth(lines_.back())) + 2 * kMargin;
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, std::max(0, content - viewport()->width()));
  horizontal->setPageStep(viewport()->width());
  horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
}

void LogBox::FontChanged() {
  const QFontMetricsF metrics(font());
  for (int c = 0; c < 256; ++c) advances_[c] = static_cast<int>(std::lround(metrics.horizontalAdvance(QChar(c)) * 64));
  widest_ = 0;
  measuredLines_ = 0;
  dirty_ = true;
  SyncView();
}

LogBox::Position LogBox::HitTest(const QPoint& point) const {
  const int row = (point.y() - kMargin) / LineHeight() - (point.y() < kMargin ? 1 : 0);
  const int line = std::clamp(verticalScrollBar()->value() + row, 0, LineCount() - 1);
  const qreal x = point.x() - kMargin + horizontalScrollBar()->value();
  const QString& text = lines_[static_cast<std::size_t>(line)];
  if (x <= 0 || text.isEmpty()) return {line, 0};
  return {line, SingleLine(text, font()).Column(x)};
}

void LogBox::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QFontMetrics metrics = fontMetrics();
  const int height = LineHeight();
  const int first = verticalScrollBar()->value();
  const int left = kMargin - horizontalScrollBar()->value();
  const int last = std::min(LineCount(), first + viewport()->height() / height + 2);
  const auto [from, to] = std::minmax(anchor_, cursor_);
  const QColor text = palette().color(QPalette::Text);

  for (int line = first; line < last; ++line) {
    const QString& content = lines_[static_cast<std::size_t>(line)];
    const int top = kMargin + (line - first) * height;
    const int baseline = top + metrics.ascent();
    painter.setPen(text);
    painter.drawText(left, baseline, content);
    if (!HasSelection() || line < from.line || line > to.line) continue;

    // The selected part: highlighted, the text redrawn in the highlight's
    // text colour; a selected line end shows as a space's width.
    const SingleLine layout(content, font());
    const int begin = line == from.line ? from.column : 0;
    const int end = line == to.line ? to.column : static_cast<int>(content.size());
    const int x1 = left + static_cast<int>(layout.X(begin));
    int x2 = left + static_cast<int>(std::ceil(layout.X(end)));
    if (line != to.line) x2 += metrics.horizontalAdvance(u' ');
    const QRect band(x1, top, x2 - x1, height);
    const bool active = hasFocus();
    painter.fillRect(band, palette().brush(active ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
    painter.save();
    painter.setClipRect(band);
    painter.setPen(palette().color(active ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText));
    painter.drawText(left, baseline, content);
    painter.restore();
  }
}

void LogBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void LogBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) FontChanged();
}

void LogBox::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) return Copy();
  if (event == QKeySequence::SelectAll) return SelectAll();
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  const bool control = event->modifiers() & Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_Up: ScrollLines(-1); break;
    case Qt::Key_Down: ScrollLines(1); break;
    case Qt::Key_PageUp: ScrollLines(-VisibleLines()); break;
    case Qt::Key_PageDown: ScrollLines(VisibleLines()); break;
    case Qt::Key_Left: horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Home: (control ? vertical : horizontal)->setValue(0); break;
    case Qt::Key_End:
      if (control) {
        vertical->setValue(vertical->maximum());
      } else {
        horizontal->setValue(horizontal->maximum());
      }
      break;
    default:
      // Enter, Escape and the rest belong to the dialog.
      event->ignore();
      return;
  }
}

void LogBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
  const Position hit = HitTest(event->position().toPoint());
  if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = hit;
  cursor_ = hit;
  selecting_ = true;
  viewport()->update();
}

void LogBox::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint point = event->position().toPoint();
  // Dragging past an edge scrolls that way.
  if (point.y() < 0) ScrollLines(-1);
  if (point.y() > viewport()->height()) ScrollLines(1);
  if (point.x() < 0) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (point.x() > viewport()->width()) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  cursor_ = HitTest(point);
  viewport()->update();
}

void LogBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Selects the run of non-blank characters under the pointer.
  const Position hit = HitTest(event->position().toPoint());
  const QString& line = lines_[static_cast<std::size_t>(hit.line)];
  int begin = hit.column;
  int end = hit.column;
  while (begin > 0 && !line[begin - 1].isSpace()) --begin;
  while (end < line.size() && !line[end].isSpace()) ++end;
  anchor_ = {hit.line, begin};
  cursor_ = {hit.line, end};
  selecting_ = false;
  viewport()->update();
}

void LogBox::scrollContentsBy(int, int) { viewport()->update(); }

bool LogBox::event(QEvent* event) {
  // Copy and Select All work in the box even where a window shortcut uses
  // the same keys.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}
