#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <string>

#include "gui/consoleview.h"
#include "tests/gui/input.h"

namespace ti = duolink::testinput;

using namespace duolink;

namespace {

TEST(LineStore, KeepsEveryLineAcrossBlockBoundaries)
{
    LineStore store;
    const std::string huge(5u << 20, 'h'); // longer than a block
    std::string expectedLast;
    for (int i = 0; i < 100000; ++i)
        store.append("line " + std::to_string(i) + std::string(static_cast<size_t>(i % 50), '.'));
    store.append("");
    store.append(huge);
    store.append("after");
    for (int i = 0; i < 50000; ++i)
        store.append(std::string(90, static_cast<char>('a' + i % 26)));

    ASSERT_EQ(store.size(), 150003u);
    EXPECT_EQ(store[0], "line 0");
    EXPECT_EQ(store[99999], "line 99999" + std::string(49, '.'));
    EXPECT_EQ(store[100000], "");
    EXPECT_EQ(store[100001], huge);
    EXPECT_EQ(store[100002], "after");
    EXPECT_EQ(store[150002], std::string(90, static_cast<char>('a' + 49999 % 26)));
    EXPECT_EQ(store.longest(), huge.size());
}

class Pane : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(385, 353);
        view.show();
        for (int i = 0; i < 1000; ++i)
            view.appendLine("row " + std::to_string(i) + "   -1.500    2.000");
        view.syncView();
    }
    // The viewport point of a character cell, as the view lays them out.
    QPoint cell(qsizetype line, int col) const
    {
        const QFontMetricsF fm(view.font());
        const int row = static_cast<int>(line - view.firstVisibleLine());
        const qreal x = 3 + col * fm.horizontalAdvance(QLatin1Char('0')) - view.horizontalScrollBar()->value();
        return {static_cast<int>(std::lround(x)), static_cast<int>(row * std::ceil(fm.lineSpacing()) + 2)};
    }
    ConsoleView view;
};

TEST_F(Pane, FollowsTheNewestLineAndScrollsByKeyboard)
{
    EXPECT_EQ(view.lineCount(), 1000);
    EXPECT_EQ(view.line(7), "row 7   -1.500    2.000");
    EXPECT_EQ(view.firstVisibleLine() + view.visibleLineCount(), 1000);
    EXPECT_EQ(view.lineAtY(1), view.firstVisibleLine());

    ti::key(&view, Qt::Key_PageUp);
    EXPECT_EQ(view.firstVisibleLine() + 2 * view.visibleLineCount(), 1000);
    ti::key(&view, Qt::Key_Home);
    EXPECT_EQ(view.firstVisibleLine(), 0);

    // Lines are held back until the view is brought up to date, then shown.
    view.appendLine("newest");
    EXPECT_EQ(view.firstVisibleLine(), 0);
    view.syncView();
    EXPECT_EQ(view.firstVisibleLine() + view.visibleLineCount(), 1001);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0); // short lines fit
    view.appendLine(std::string(300, 'w'));
    view.syncView();
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(Pane, CopiesMouseAndKeyboardSelections)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const qsizetype top = view.firstVisibleLine();

    // Drag from column 4 of one line to column 3 of the next.
    ti::press(view.viewport(), cell(top, 4));
    ti::dragTo(view.viewport(), cell(top + 1, 3));
    ti::release(view.viewport(), cell(top + 1, 3));
    const QString first = view.line(top);
    EXPECT_EQ(view.selectedText(), first.mid(4) + "\nrow");
    ti::key(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), first.mid(4) + "\nrow");

    // Shift-click moves the far end; the anchor stays.
    ti::click(view.viewport(), cell(top, 8), Qt::ShiftModifier);
    EXPECT_EQ(view.selectedText(), first.mid(4, 4));

    // A double click takes the number under the pointer.
    ti::doubleClick(view.viewport(), cell(top, static_cast<int>(first.indexOf("-1.5")) + 2));
    EXPECT_EQ(view.selectedText(), "-1.500");

    ti::key(&view, Qt::Key_A, Qt::ControlModifier);
    ti::key(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), view.text());
    EXPECT_EQ(view.text().count('\n'), 999);
}

} // namespace
