// SPDX-License-Identifier: GPL-3.0-or-later
// The pane's mouse and keyboard: selecting by dragging (scrolling on past
// the edges), by double click and by keys, and its context menu.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "pane/consoleview.h"

namespace duolink {

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
    if (event->timerId() == collectPacked_.timerId()) {
        if (!lines_.collectPacked())
            collectPacked_.stop();
        return;
    }
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
