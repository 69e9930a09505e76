// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "pane/consoleview.h"
#include "pane/fixedpitchtext.h"
#include "pane/consolehandoff.h"
#include "tests/gui/input.h"

namespace ti = duolink::testinput;

using namespace duolink;

namespace {

// Every line of `store` as written, at the offset the lines before it take.
void expectLinesAsWritten(const LineStore& store, const std::vector<std::string>& written)
{
    ASSERT_EQ(store.size(), written.size());
    uint64_t offset = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(store[i], written[i]) << "line " << i;
        ASSERT_EQ(store.offsetOf(i), offset) << "line " << i;
        offset += written[i].size();
    }
    EXPECT_EQ(store.textBytes(), offset);
}

// Random lines of random lengths, some across block edges, some longer than a
// block, some empty: every line, every run of lines and every offset reads
// back as written, also after a million lines.
TEST(LineStore, GivesBackEveryLineAsWritten)
{
    std::mt19937 random(14);
    std::vector<std::string> written;
    LineStore store;
    const auto add = [&](std::string line) {
        store.append(line);
        written.push_back(std::move(line));
    };
    const auto randomLine = [&] {
        const size_t length = random() % 4096 == 0 ? random() % (2 * LineStore::kBlockBytes) : random() % 120;
        std::string line(length, ' ');
        for (char& c : line)
            c = static_cast<char>(1 + random() % 255); // any byte but the separator of the copies
        for (char& c : line)
            if (c == '\n')
                c = '.';
        return line;
    };
    for (int i = 0; i < 40000; ++i)
        add(randomLine());
    add("");
    std::string text;
    for (size_t i = 0; i < written.size(); ++i)
        text += (i ? "\n" : "") + written[i];

    ASSERT_NO_FATAL_FAILURE(expectLinesAsWritten(store, written));
    for (int k = 0; k < 200; ++k) {
        size_t first = random() % written.size();
        size_t last = first + random() % 3000;
        last = std::min(last, written.size());
        std::string got;
        store.appendText(got, first, last);
        std::string want;
        for (size_t i = first; i < last; ++i)
            want += (i > first ? "\n" : "") + written[i];
        ASSERT_EQ(got, want) << first << ".." << last;
    }
    std::string all;
    store.appendText(all, 0, store.size());
    EXPECT_EQ(all, text);

    // A million lines of pane text: every one still there, in a fraction of
    // its size.
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_LT(store.storeBytes(), 4096u);
    const auto tableLine = [](size_t i) {
        return "  " + std::to_string(i % 977) + ".12345  -0." + std::to_string(i % 89) + "000   1.00000   0.00000";
    };
    for (size_t i = 0; i < 1000000; ++i)
        store.append(tableLine(i));
    ASSERT_EQ(store.size(), 1000000u);
    for (size_t i : {size_t(0), size_t(1), size_t(65535), size_t(500000), size_t(999999)})
        EXPECT_EQ(store[i], tableLine(i));
    EXPECT_LT(store.storeBytes(), store.textBytes() / 4);
    // Once the packer is done, the blocks it packed no longer hold their text.
    while (store.collectPacked())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_LT(store.storeBytes(), store.textBytes() / 8);
}

// Within its unpacked allowance the store packs nothing, beyond it only the
// excess, and all of it once the allowance is back to 0; the lines read back
// as written at every step.
TEST(LineStore, PacksOnlyBeyondItsUnpackedAllowanceUntilItIsWithdrawn)
{
    struct Case {
        size_t allowance;
        bool allUnpacked; // while the allowance holds
    };
    const Case cases[] = {{size_t(64) << 20, true}, {size_t(1) << 20, false}};
    const auto line = [](size_t i) { return "line " + std::to_string(i * 7919) + "   -0.50000    1.25000"; };
    const auto settle = [](LineStore& store) {
        while (store.collectPacked())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    const size_t count = 300000; // about 10 MB, 20 blocks
    LineStore plain;                 // packs every block at once
    for (size_t i = 0; i < count; ++i)
        plain.append(line(i));
    for (size_t i = 0; i < count; i += 4999)
        ASSERT_EQ(plain[i], line(i)) << i;
    settle(plain);
    for (const Case& c : cases) {
        LineStore store;
        store.setUnpackedAllowance(c.allowance);
        for (size_t i = 0; i < count; ++i)
            store.append(line(i));
        settle(store);
        EXPECT_EQ(store.storeBytes() > store.textBytes(), c.allUnpacked) << c.allowance;
        EXPECT_LT(store.storeBytes(), c.allowance + store.textBytes() / 4);
        for (size_t i = 0; i < count; i += 4999)
            ASSERT_EQ(store[i], line(i)) << i;
        store.setUnpackedAllowance(0);
        settle(store);
        EXPECT_LE(store.storeBytes(), plain.storeBytes()) << c.allowance;
        for (size_t i = 0; i < count; i += 4999)
            ASSERT_EQ(store[i], line(i)) << i;
    }
}

// Blocks are packed on the store's own thread: a clear while some still wait
// for it, and lines added right after, must read back as the new lines only.
TEST(LineStore, ClearWhilePackingKeepsOnlyTheNewLines)
{
    LineStore store;
    const auto line = [](size_t i, char tag) { return std::string(1, tag) + std::to_string(i * 7919) + "  0.50000"; };
    for (int round = 0; round < 3; ++round) {
        const char tag = static_cast<char>('a' + round);
        store.clear();
        const size_t count = 200000 + 50000 * static_cast<size_t>(round);
        for (size_t i = 0; i < count; ++i)
            store.append(line(i, tag));
        ASSERT_EQ(store.size(), count);
        for (size_t i = 0; i < count; i += 997)
            ASSERT_EQ(store[i], line(i, tag)) << "round " << round << " line " << i;
        EXPECT_EQ(store[count - 1], line(count - 1, tag));
    }
}

// Lines that arrive as pieces (a run's output) read back like lines appended
// one at a time, whatever the pieces' sizes: below half a block they join the
// open block, above it they become blocks as they are. Lengths that do not
// match the text are refused and change nothing.
TEST(LineStore, PiecesReadBackAsTheirLines)
{
    std::mt19937 random(27);
    LineStore store;
    std::vector<std::string> written;
    const auto randomLine = [&] {
        std::string line(random() % 100, ' ');
        for (char& c : line)
            c = static_cast<char>('!' + random() % 90);
        return line;
    };
    const size_t pieceBytes[] = {0, 1, 40, LineStore::kBlockBytes / 2 - 1, LineStore::kBlockBytes / 2,
                                 LineStore::kBlockBytes, 3 * LineStore::kBlockBytes, 100};
    for (int round = 0; round < 3; ++round) {
        for (size_t bytes : pieceBytes) {
            PanePiece piece;
            while (piece.text.size() < bytes) {
                const std::string line = randomLine();
                piece.text += line;
                piece.lengths.push_back(static_cast<uint32_t>(line.size()));
                written.push_back(line);
            }
            store.appendLines(std::move(piece.text), std::move(piece.lengths));
            if (bytes % 2) {
                written.push_back(randomLine());
                store.append(written.back());
            }
        }
    }
    EXPECT_THROW(store.appendLines(std::string(LineStore::kBlockBytes, 'x'), {10, 20}), std::invalid_argument);
    EXPECT_THROW(store.appendLines(std::string(LineStore::kBlockBytes, 'x'), {UINT32_MAX, 1}), std::invalid_argument);

    ASSERT_NO_FATAL_FAILURE(expectLinesAsWritten(store, written));
    std::string all, want;
    store.appendText(all, 0, store.size());
    for (size_t i = 0; i < written.size(); ++i)
        want += (i ? "\n" : "") + written[i];
    EXPECT_EQ(all, want);
}

// A run on another thread writes through the handoff's sinks while this
// thread takes its output now and then, more slowly than it comes (so the
// run pauses at the limit): every line arrives once and in order, and the
// last R2 text and bar state are the ones the run set.
// Lines drawn glyph by glyph look as the toolkit's text drawing draws them.
TEST(FixedPitchText, DrawsLinesAsDrawTextDoes)
{
    const std::string_view lines[] = {
        "   1   0.000   1.000  -1.5E+0003  R2 = 7.6E+0001",
        "caf\xe9 \xfc\xdf \xa0\xff~",
        "tab\there",
        "control \x01\x7f\x85 bytes",
        "",
    };
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(9);
    FixedPitchText text;
    text.setCharWidth(QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')));
    for (const std::string_view line : lines) {
        QImage want(520, 20, QImage::Format_ARGB32_Premultiplied);
        QImage got = want;
        want.fill(Qt::white);
        got.fill(Qt::white);
        const QPointF origin(3.5, 14);
        {
            QPainter p(&want);
            p.setFont(font);
            p.drawText(origin, QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
        }
        {
            QPainter p(&got);
            p.setFont(font);
            text.draw(p, origin, line);
        }
        EXPECT_TRUE(got == want) << line;
    }
}

TEST(ConsoleHandoff, ARunOnAnotherThreadArrivesWholeAndInOrder)
{
    constexpr int kLines = 400000; // about 12 MB, beyond the waiting limit
    const auto line = [](int i) { return "  " + std::to_string(i * 7919LL % 100003) + "   0.50000  -1.25000"; };
    ConsoleHandoff handoff(ProgressState{});
    std::atomic<bool> done{false};
    std::thread run([&] {
        handoff.barSink()->setMaximum(kLines / 1000);
        for (int i = 0; i < kLines; ++i) {
            handoff.paneSink()->appendLine(line(i));
            if (i % 1000 == 999) {
                handoff.r2Sink()->setText(std::to_string(i));
                handoff.barSink()->stepBy(1);
            }
        }
        handoff.publish();
        done.store(true);
    });
    LineStore store;
    std::string r2;
    ProgressState bar;
    ConsoleBatch batch;
    const auto takeAll = [&] {
        while (handoff.take(batch)) {
            for (PanePiece& piece : batch.pieces)
                store.appendLines(std::move(piece.text), std::move(piece.lengths));
            if (batch.r2)
                r2 = *batch.r2;
            if (batch.progress)
                bar = *batch.progress;
        }
    };
    while (!done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        takeAll();
    }
    run.join();
    takeAll();
    ASSERT_EQ(store.size(), static_cast<size_t>(kLines));
    for (int i = 0; i < kLines; ++i)
        ASSERT_EQ(store[i], line(i)) << "line " << i;
    EXPECT_EQ(r2, std::to_string(kLines - 1));
    EXPECT_EQ(bar.maximum, kLines / 1000);
    EXPECT_EQ(bar.position, kLines / 1000);
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

// Counts the paints of a widget.
struct PaintCount : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// A growing pane paints its scroll bars again only when they look different.
TEST_F(Pane, RepaintsItsScrollBarsOnlyWhenTheyChangeTheirLook)
{
    struct Step {
        const char* what;
        int lines;       // appended
        size_t length;   // of each
        bool top;        // scrolled to the top first (Home)
        bool vertical;   // painted again
        bool horizontal;
    };
    const Step steps[] = {
        {"more lines at the end, slider at its least length", 1000, 20, false, false, false},
        {"more again", 5, 20, false, false, false},
        {"from the top back to the end", 5, 20, true, true, false},
        {"a longer line", 1, 300, false, false, true},
        {"lines as long", 50, 300, false, false, false},
    };
    PaintCount vertical;
    PaintCount horizontal;
    view.verticalScrollBar()->installEventFilter(&vertical);
    view.horizontalScrollBar()->installEventFilter(&horizontal);
    QApplication::processEvents();
    for (const Step& step : steps) {
        if (step.top) {
            ti::key(&view, Qt::Key_Home);
            QApplication::processEvents();
        }
        vertical.paints = horizontal.paints = 0;
        for (int i = 0; i < step.lines; ++i)
            view.appendLine(std::string(step.length, 'x'));
        view.syncView();
        QApplication::processEvents();
        EXPECT_EQ(view.firstVisibleLine() + view.visibleLineCount(), view.lineCount()) << step.what;
        EXPECT_EQ(vertical.paints > 0, step.vertical) << step.what;
        EXPECT_EQ(horizontal.paints > 0, step.horizontal) << step.what;
    }
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

// A selection across the edge of two packed blocks, and Clear.
TEST_F(Pane, SelectsAcrossBlocksAndClears)
{
    view.clear();
    std::vector<QString> lines;
    const qsizetype edge = LineStore::kBlockBytes / 40; // lines are 40 characters
    const int count = static_cast<int>(2 * edge);
    for (int i = 0; i < count; ++i) {
        lines.push_back(QStringLiteral("%1 %2").arg(i, 8).arg(QString(31, QChar('a' + i % 26))));
        view.appendLine(lines.back().toStdString());
    }
    view.syncView();
    view.verticalScrollBar()->setValue(static_cast<int>(edge - 5));
    ti::press(view.viewport(), cell(edge - 5, 2));
    ti::dragTo(view.viewport(), cell(edge + 5, 3));
    ti::release(view.viewport(), cell(edge + 5, 3));
    QString want = lines[edge - 5].mid(2);
    for (qsizetype i = edge - 4; i <= edge + 5; ++i)
        want += "\n" + (i < edge + 5 ? lines[i] : lines[i].left(3));
    EXPECT_EQ(view.selectedText(), want);
    view.selectAll();
    EXPECT_EQ(view.selectedText().size(), count * 41 - 1);

    view.clear();
    EXPECT_EQ(view.lineCount(), 0);
    EXPECT_FALSE(view.hasSelection());
    EXPECT_EQ(view.text(), "");
    EXPECT_LT(view.storeBytes(), 4096u);
    view.appendLine("again");
    EXPECT_EQ(view.line(0), "again");
}

} // namespace
