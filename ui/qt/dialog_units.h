// Dialog units and frames.
//
// Dialog units: the font-relative measure in which the dialog layouts are
// given. One horizontal unit is a quarter of the font's average character
// width, one vertical unit an eighth of its height, so a layout keeps its
// proportions, and its texts their room, whatever font the desktop uses.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded to whole pixels.
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
  }

  int X(int units) const { return Scale(units, baseX_, 4); }
  int Y(int units) const { return Scale(units, baseY_, 8); }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

 private:
  // units * base / divisor, rounded to the nearest pixel.
  static int Scale(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

  int baseX_ = 0;
  int baseY_ = 0;
};

// A dialog's frame: a title bar with the window menu and a close button, and
// no minimise or maximise button. Qt passes the title-bar hints on to the
// window system only together with CustomizeWindowHint.
inline constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
