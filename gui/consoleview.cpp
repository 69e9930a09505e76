#include "gui/consoleview.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace duolink {

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
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
    updateScrollRanges();
}

void ConsoleView::appendLine(std::string_view line)
{
    lines_.append(line);
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
    updateScrollRanges();
    if (unsynced_) {
        unsynced_ = false;
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        horizontalScrollBar()->setValue(0); // new lines start at the left edge
    }
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
        QString visible;
        if (static_cast<size_t>(firstCol) < l.size()) {
            const std::string_view part = l.substr(static_cast<size_t>(firstCol), static_cast<size_t>(cols));
            visible = QString::fromLatin1(part.data(), static_cast<qsizetype>(part.size()));
        }
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
        if (visible.isEmpty())
            continue;
        p.setPen(pal.color(QPalette::Text));
        p.drawText(baseline, visible);
        if (!selected.isEmpty()) {
            p.save();
            p.setClipRect(selected);
            p.setPen(pal.color(QPalette::HighlightedText));
            p.drawText(baseline, visible);
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

ConsoleView::Pos ConsoleView::posAt(const QPoint& pt) const
{
    if (lines_.size() == 0)
        return {};
    const qsizetype li = std::clamp<qsizetype>(lineAtY(pt.y()), 0, lineCount() - 1);
    const qreal x = pt.x() - kMargin + horizontalScrollBar()->value();
    const qsizetype len = static_cast<qsizetype>(lineView(li).size());
    const qsizetype col = std::clamp<qsizetype>(static_cast<qsizetype>(std::lround(x / charWidth_)), 0, len);
    return {li, col};
}

void ConsoleView::dragTo(const QPoint& pt)
{
    lastDragPoint_ = pt;
    cursor_ = posAt(pt);
    if (viewport()->rect().contains(pt))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(50, this);
    viewport()->update();
}

void ConsoleView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Pos pos = posAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier) {
        cursor_ = pos;
    } else {
        anchor_ = cursor_ = pos;
    }
    dragging_ = true;
    viewport()->update();
}

void ConsoleView::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        dragTo(event->position().toPoint());
}

void ConsoleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    autoScroll_.stop();
    publishSelection();
}

void ConsoleView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || lines_.size() == 0)
        return;
    // A word is a run of non-blank characters: a number with its sign and
    // point, or a label.
    const Pos pos = posAt(event->position().toPoint());
    const std::string_view l = lineView(pos.line);
    const auto blank = [&](qsizetype c) { return static_cast<unsigned char>(l[static_cast<size_t>(c)]) <= ' '; };
    qsizetype start = pos.col;
    qsizetype end = pos.col;
    if (end < static_cast<qsizetype>(l.size()) && blank(end) && start > 0 && !blank(start - 1))
        --start, --end; // just after a word: take that word
    while (start > 0 && !blank(start - 1))
        --start;
    while (end < static_cast<qsizetype>(l.size()) && !blank(end))
        ++end;
    anchor_ = {pos.line, start};
    cursor_ = {pos.line, end};
    dragging_ = false;
    viewport()->update();
    publishSelection();
}

void ConsoleView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != autoScroll_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    const QRect r = viewport()->rect();
    if (lastDragPoint_.y() < r.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (lastDragPoint_.y() > r.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (lastDragPoint_.x() < r.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (lastDragPoint_.x() > r.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    cursor_ = posAt(lastDragPoint_);
    viewport()->update();
}

void ConsoleView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        copyCommand();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up:
        v->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        v->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        v->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Left:
        h->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Home:
        v->setValue(v->minimum());
        h->setValue(h->minimum());
        break;
    case Qt::Key_End:
        v->setValue(v->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ConsoleView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &ConsoleView::copyCommand);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction* allAction = menu.addAction(tr("Select &All"), this, &ConsoleView::selectAll);
    allAction->setShortcut(QKeySequence::SelectAll);
    allAction->setEnabled(lineCount() > 0);
    menu.exec(event->globalPos());
}

uint64_t ConsoleView::selectionBytes() const
{
    const Pos s = std::min(anchor_, cursor_);
    const Pos e = std::max(anchor_, cursor_);
    return lines_.offsetOf(static_cast<size_t>(e.line)) + static_cast<uint64_t>(e.col)
        - lines_.offsetOf(static_cast<size_t>(s.line)) - static_cast<uint64_t>(s.col)
        + static_cast<uint64_t>(e.line - s.line);
}

// Where the system has a primary selection, a mouse selection goes there at
// once, as in other text views; a selection of many megabytes waits for an
// explicit Copy instead of being copied on every click.
void ConsoleView::publishSelection() const
{
    constexpr uint64_t kMaxPrimarySelection = 16u << 20;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection() && selectionBytes() <= kMaxPrimarySelection)
        clipboard->setText(selectedText(), QClipboard::Selection);
}

} // namespace duolink
