// The log box: lines, scrolling both ways, selecting and copying.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/log_box.h"

namespace {

class LogBoxTest : public ::testing::Test {
 protected:
  LogBoxTest() {
    box.resize(300, 200);
    box.show();
  }
  // Appends and lets the view catch up, as the event loop does.
  void Show(QStringView text) {
    box.Append(text);
    QCoreApplication::processEvents();
  }
  QString Lines(int count) {
    QString text;
    for (int i = 0; i < count; ++i) text += QStringLiteral("line %1\n").arg(i);
    return text;
  }
  LogBox box;
};

TEST_F(LogBoxTest, AppendedTextSplitsIntoLinesAndContinuesTheLastOne) {
  EXPECT_EQ(box.LineCount(), 1);
  box.Append(u"Saving ");
  box.Append(u"pack.vrk...\nAll");
  box.Append(u" done!\n");
  EXPECT_EQ(box.LineCount(), 3);
  EXPECT_EQ(box.Text(), "Saving pack.vrk...\nAll done!\n");
}

// Lines of every kind of text: the horizontal range must reach the end of
// each, however the box measures it.
class LogBoxWidthTest : public LogBoxTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LogBoxWidthTest, HorizontalScrollReachesTheEndOfTheLongestLine) {
  const QString line = QString::fromUtf8(GetParam()).repeated(40);
  Show(QStringLiteral("short\n") + line + QStringLiteral("\nshort again\n"));
  QScrollBar* bar = box.horizontalScrollBar();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_GE(bar->maximum() + box.viewport()->width(), QFontMetrics(box.font()).horizontalAdvance(line));
}

INSTANTIATE_TEST_SUITE_P(Text, LogBoxWidthTest,
                         ::testing::Values("Extracting maps\\a.txt ", "caf\u00e9 \u00c6\u00d8 ", "\u6f22\u5b57\u304b\u306a ",
                                           "WWWW mmmm "));

struct KeyCase {
  const char* name;
  int key;
  Qt::KeyboardModifiers modifiers;
  int from;  // -1: the last position
  int to;    // -1: the last position
};

class LogBoxKeyTest : public LogBoxTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(LogBoxKeyTest, KeysScrollTheTranscript) {
  const KeyCase& c = GetParam();
  Show(Lines(100));
  QScrollBar* bar = box.verticalScrollBar();
  bar->setValue(c.from == -1 ? bar->maximum() : c.from);
  QTest::keyClick(&box, Qt::Key(c.key), c.modifiers);
  EXPECT_EQ(bar->value(), c.to == -1 ? bar->maximum() : c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LogBoxKeyTest,
    ::testing::Values(KeyCase{"Down", Qt::Key_Down, Qt::NoModifier, 10, 11},
                      KeyCase{"Up", Qt::Key_Up, Qt::NoModifier, 10, 9},
                      KeyCase{"UpStopsAtTheTop", Qt::Key_Up, Qt::NoModifier, 0, 0},
                      KeyCase{"DownStopsAtTheEnd", Qt::Key_Down, Qt::NoModifier, -1, -1},
                      KeyCase{"ControlHome", Qt::Key_Home, Qt::ControlModifier, 50, 0},
                      KeyCase{"ControlEnd", Qt::Key_End, Qt::ControlModifier, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogBoxTest, PageKeysMoveByTheLinesInView) {
  Show(Lines(100));
  QScrollBar* bar = box.verticalScrollBar();
  bar->setValue(20);
  QTest::keyClick(&box, Qt::Key_PageDown);
  const int page = bar->value() - 20;
  EXPECT_GT(page, 1);
  EXPECT_EQ(page, bar->pageStep());
  QTest::keyClick(&box, Qt::Key_PageUp);
  EXPECT_EQ(bar->value(), 20);
}

TEST_F(LogBoxTest, SelectAllAndCopyPutTheWholeTranscriptOnTheClipboard) {
  Show(u"Extracting file maps.vrk...\nAll done!\n");
  QGuiApplication::clipboard()->setText("before");
  QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "before") << "nothing selected, nothing copied";
  QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "Extracting file maps.vrk...\nAll done!\n");
}

TEST_F(LogBoxTest, DraggingSelectsFromThePressToThePointer) {
  Show(u"first line\nsecond line\nthird line\n");
  const int lineHeight = QFontMetrics(box.font()).lineSpacing();
  QWidget* view = box.viewport();
  // From the left of the first line to beyond the right end of the second.
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(1, lineHeight / 2 + 2));
  QTest::mouseMove(view, QPoint(view->width() - 2, lineHeight + lineHeight / 2 + 2));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(view->width() - 2, lineHeight + lineHeight / 2 + 2));
  EXPECT_EQ(box.SelectedText(), "first line\nsecond line");
}

TEST_F(LogBoxTest, DoubleClickSelectsTheWordUnderThePointer) {
  Show(u"Extracting maps\\a.txt (3 bytes)\n");
  const QFontMetrics metrics(box.font());
  const int x = metrics.horizontalAdvance(QStringLiteral("Extracting maps")) + 3;  // inside the second word
  QTest::mouseDClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, metrics.lineSpacing() / 2 + 2));
  EXPECT_EQ(box.SelectedText(), "maps\\a.txt");
}

TEST_F(LogBoxTest, ContextMenuOffersCopyOnlyWithASelection) {
  Show(u"All done!\n");
  auto actions = [this] {
    std::unique_ptr<QMenu> menu(box.CreateStandardContextMenu());
    std::vector<std::pair<QString, bool>> items;
    for (QAction* action : menu->actions()) items.emplace_back(action->text(), action->isEnabled());
    return items;
  };
  using Items = std::vector<std::pair<QString, bool>>;
  EXPECT_EQ(actions(), (Items{{"&Copy", false}, {"Select &All", true}}));
  box.SelectAll();
  EXPECT_EQ(actions(), (Items{{"&Copy", true}, {"Select &All", true}}));
}

}  // namespace
