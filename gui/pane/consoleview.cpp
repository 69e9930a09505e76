// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/consoleview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace duolink {

namespace {

// A scroll bar that paints again only when its look changes. A pane that
// grows by thousands of lines a second changes the range and the value of its
// scroll bar at every refresh, while the slider stays where it is: at its
// least length, at the bottom.
class PaneScrollBar final : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // Makes the changes `change` makes, then paints again if the bar looks
    // different from its last paint (not for each step between).
    template <class Change> void changeAtOnce(Change change)
    {
        holding_ = !transient();
        change();
        holding_ = false;
        if (const Look now = look(); now != shown_) {
            shown_ = now;
            update();
        }
    }

protected:
    void sliderChange(SliderChange change) override
    {
        if (holding_)
            return;
        // A style may show a change in other ways (a transient bar flashes).
        const Look now = look();
        if (now == shown_ && !transient())
            return;
        shown_ = now;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent* event) override
    {
        shown_ = look();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        friend bool operator==(const Look&, const Look&) = default;
    };

    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }

    bool transient() const { return style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this) != 0; }

    Look shown_;
    bool holding_ = false;
};

} // namespace

// --- ConsoleView -------------------------------------------------------------

ConsoleView::ConsoleView(QWidget* parent) : QAbstractScrollArea(parent)
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);
    fixed.setStyleHint(QFont::TypeWriter);
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    // Always shown: a long run must not need a layout pass to bring them up.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBar(new PaneScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new PaneScrollBar(Qt::Horizontal));
    // With both bars always shown, a new range changes nothing in the
    // layout; laying it out again anyway repaints both bars at every
    // refresh of a run. A resize still lays it out.
    disconnect(verticalScrollBar(), &QScrollBar::rangeChanged, this, nullptr);
    disconnect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, nullptr);
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
    updateScrollRanges();
}

void ConsoleView::appendLine(std::string_view line)
{
    lines_.append(line);
    unsynced_ = true;
}

void ConsoleView::appendLines(std::string&& text, std::vector<uint32_t>&& lengths)
{
    if (lengths.empty())
        return;
    lines_.appendLines(std::move(text), std::move(lengths));
    unsynced_ = true;
}

void ConsoleView::clear()
{
    lines_.clear();
    unsynced_ = false;
    anchor_ = cursor_ = {};
    dragging_ = false;
    autoScroll_.stop();
    updateScrollRanges();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void ConsoleView::syncView()
{
    if (lines_.collectPacked())
        collectPacked_.start(50, this);
    static_cast<PaneScrollBar*>(verticalScrollBar())->changeAtOnce([this] {
        static_cast<PaneScrollBar*>(horizontalScrollBar())->changeAtOnce([this] {
            updateScrollRanges();
            if (unsynced_) {
                unsynced_ = false;
                verticalScrollBar()->setValue(verticalScrollBar()->maximum());
                horizontalScrollBar()->setValue(0); // new lines start at the left edge
            }
        });
    });
}

void ConsoleView::setUnpackedAllowance(size_t bytes)
{
    lines_.setUnpackedAllowance(bytes);
    if (lines_.collectPacked())
        collectPacked_.start(50, this);
}

QString ConsoleView::line(qsizetype i) const
{
    const std::string_view s = lineView(i);
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString ConsoleView::text() const
{
    std::string joined;
    joined.reserve(lines_.textBytes() + lines_.size());
    lines_.appendText(joined, 0, lines_.size());
    return QString::fromLatin1(joined.data(), static_cast<qsizetype>(joined.size()));
}

bool ConsoleView::hasSelection() const
{
    return anchor_ != cursor_;
}

QString ConsoleView::selectedText() const
{
    return selectedText({});
}

QString ConsoleView::selectedText(const std::function<bool(uint64_t done)>& onPiece) const
{
    if (!hasSelection())
        return {};
    const Pos s = std::min(anchor_, cursor_);
    const Pos e = std::max(anchor_, cursor_);
    QString out;
    out.reserve(static_cast<qsizetype>(selectionBytes()));
    const auto append = [&out](std::string_view text) {
        out.append(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())));
    };
    const std::string_view first = lineView(s.line);
    if (s.line == e.line) {
        if (s.col < e.col)
            append(first.substr(static_cast<size_t>(s.col), static_cast<size_t>(e.col - s.col)));
        return out;
    }
    append(first.substr(std::min(static_cast<size_t>(s.col), first.size())));
    out += QLatin1Char('\n');
    // The lines between, a piece at a time: a caller may show progress, let
    // the window paint, and cancel.
    constexpr size_t kLinesPerPiece = 65536;
    std::string piece;
    for (size_t line = static_cast<size_t>(s.line) + 1; line < static_cast<size_t>(e.line);) {
        const size_t end = std::min(static_cast<size_t>(e.line), line + kLinesPerPiece);
        piece.clear();
        lines_.appendText(piece, line, end);
        piece += '\n';
        append(piece);
        line = end;
        if (onPiece && !onPiece(static_cast<uint64_t>(out.size())))
            return QString();
    }
    append(lineView(e.line).substr(0, static_cast<size_t>(e.col)));
    return out;
}

void ConsoleView::selectAll()
{
    if (lines_.size() == 0)
        return;
    anchor_ = {0, 0};
    cursor_ = {lineCount() - 1, static_cast<qsizetype>(lineView(lineCount() - 1).size())};
    viewport()->update();
}

void ConsoleView::clearSelection()
{
    anchor_ = cursor_ = {};
    viewport()->update();
}

void ConsoleView::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void ConsoleView::copyCommand() const
{
    if (copyCommand_)
        copyCommand_();
    else
        copy();
}

qsizetype ConsoleView::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

int ConsoleView::visibleLineCount() const
{
    return std::max(1, viewport()->height() / lineHeight_);
}

qsizetype ConsoleView::lineAtY(int y) const
{
    const int row = y >= 0 ? y / lineHeight_ : -((-y + lineHeight_ - 1) / lineHeight_);
    return firstVisibleLine() + row;
}

void ConsoleView::updateMetrics()
{
    const QFontMetricsF fm(font());
    charWidth_ = std::max<qreal>(1.0, fm.horizontalAdvance(QLatin1Char('0')));
    text_.setCharWidth(charWidth_);
    lineHeight_ = std::max(1, static_cast<int>(std::ceil(fm.lineSpacing())));
    ascent_ = static_cast<int>(std::ceil(fm.ascent()));
}

void ConsoleView::updateScrollRanges()
{
    const int rows = visibleLineCount();
    const qsizetype maxFirst = std::max<qsizetype>(0, lineCount() - rows);
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, static_cast<int>(std::min<qsizetype>(maxFirst, INT_MAX)));
    v->setPageStep(rows);
    v->setSingleStep(1);

    const double contentWidth = std::ceil(static_cast<double>(lines_.longest()) * charWidth_) + 2 * kMargin;
    const int width = viewport()->width();
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, static_cast<int>(std::clamp(contentWidth - width, 0.0, double(INT_MAX))));
    h->setPageStep(std::max(1, width));
    h->setSingleStep(std::max(1, static_cast<int>(std::lround(charWidth_))));
}

void ConsoleView::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.setFont(font());
    const QPalette& pal = palette();
    const QRect area = event->rect();
    const int hx = horizontalScrollBar()->value();
    const qsizetype firstCol = static_cast<qsizetype>(hx / charWidth_);
    const qreal firstColX = kMargin + firstCol * charWidth_ - hx;
    const qsizetype cols = static_cast<qsizetype>(viewport()->width() / charWidth_) + 2;
    const auto colX = [&](qsizetype col) { return kMargin + col * charWidth_ - hx; };

    const bool selection = hasSelection();
    const Pos s = std::min(anchor_, cursor_);
    const Pos e = std::max(anchor_, cursor_);

    const qsizetype first = firstVisibleLine();
    for (int row = std::max(0, area.top() / lineHeight_); row <= area.bottom() / lineHeight_; ++row) {
        const qsizetype li = first + row;
        if (li >= lineCount())
            break;
        const int y = row * lineHeight_;
        const std::string_view l = lineView(li);
        std::string_view visible;
        if (static_cast<size_t>(firstCol) < l.size())
            visible = l.substr(static_cast<size_t>(firstCol), static_cast<size_t>(cols));
        const QPointF baseline(firstColX, y + ascent_);

        QRectF selected;
        if (selection && li >= s.line && li <= e.line) {
            const qsizetype from = li == s.line ? s.col : 0;
            const qsizetype to = li == e.line ? e.col : static_cast<qsizetype>(l.size());
            // A selected line break shows as a narrow block after the text.
            const qreal tail = li < e.line ? charWidth_ / 2 : 0;
            selected = QRectF(colX(from), y, colX(to) - colX(from) + tail, lineHeight_);
            p.fillRect(selected, pal.brush(QPalette::Highlight));
        }
        if (visible.empty())
            continue;
        p.setPen(pal.color(QPalette::Text));
        text_.draw(p, baseline, visible);
        if (!selected.isEmpty()) {
            p.save();
            p.setClipRect(selected);
            p.setPen(pal.color(QPalette::HighlightedText));
            text_.draw(p, baseline, visible);
            p.restore();
        }
    }
}

void ConsoleView::resizeEvent(QResizeEvent* event)
{
    QScrollBar* v = verticalScrollBar();
    const bool atEnd = v->value() == v->maximum();
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
    if (atEnd)
        v->setValue(v->maximum());
}

void ConsoleView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollRanges();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

} // namespace duolink
