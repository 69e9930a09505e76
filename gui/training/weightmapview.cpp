// SPDX-License-Identifier: GPL-3.0-or-later
#include "training/weightmapview.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace duolink {

namespace {

constexpr int kMargin = 6;
constexpr int kBarWidth = 14;
constexpr int kBarGap = 10;

QString number(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

} // namespace

WeightMapView::WeightMapView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WeightMapView::setMap(const WeightMap& map)
{
    const bool sameShape = map.rows == map_.rows && map.cols == map_.cols;
    map_ = map;
    double largest = 0;
    for (double v : map_.values)
        largest = std::max(largest, std::fabs(v));
    limit_ = largest > 0 ? largest : 1;
    if (!sameShape) {
        selected_.reset();
        hovered_.reset();
    }
    if (selected_)
        emit cellShown(cellText(selected_->first, selected_->second));
    update();
}

QString WeightMapView::rowLabel(int row) const
{
    if (windowShape())
        return row < 8 ? QStringLiteral("A%1").arg(row + 1) : QStringLiteral("parity");
    return QString::number(row + 1);
}

QString WeightMapView::columnLabel(int col) const
{
    return windowShape() ? QStringLiteral("B%1").arg(col + 1) : QString::number(col + 1);
}

QString WeightMapView::cellText(int row, int col) const
{
    return QStringLiteral("%1, %2: %3").arg(rowLabel(row), columnLabel(col), number(map_.at(row, col)));
}

QColor WeightMapView::colourOf(double value) const
{
    const double t = std::clamp(value / limit_, -1.0, 1.0);
    const auto mix = [t](int from, int to) { return static_cast<int>(std::lround(from + (to - from) * std::fabs(t))); };
    // White at 0, towards a strong red above and a strong blue below.
    return t >= 0 ? QColor(mix(255, 178), mix(255, 24), mix(255, 43)) : QColor(mix(255, 33), mix(255, 102), mix(255, 172));
}

QRect WeightMapView::gridRect() const
{
    const QFontMetrics fm(font());
    const int left = kMargin + fm.horizontalAdvance(windowShape() ? QStringLiteral("parity") : QStringLiteral("000")) + 4;
    const int top = kMargin + fm.height() + 2;
    const int barSpace = kBarGap + kBarWidth + 4 + fm.horizontalAdvance(QStringLiteral("-0.00000e+00"));
    QRect area(left, top, width() - left - kMargin - barSpace, height() - top - kMargin);
    if (map_.rows <= 0 || map_.cols <= 0 || area.width() <= 0 || area.height() <= 0)
        return {};
    // Square cells where they fit.
    const int cell = std::max(1, std::min(area.width() / map_.cols, area.height() / map_.rows));
    return {area.left(), area.top(), cell * map_.cols, cell * map_.rows};
}

QRect WeightMapView::barRect() const
{
    const QRect grid = gridRect();
    return {grid.right() + 1 + kBarGap, grid.top(), kBarWidth, grid.height()};
}

std::optional<std::pair<int, int>> WeightMapView::cellAt(QPoint pos) const
{
    const QRect grid = gridRect();
    if (grid.isEmpty() || !grid.contains(pos))
        return std::nullopt;
    const int cell = grid.width() / map_.cols;
    return std::pair{(pos.y() - grid.top()) / cell, (pos.x() - grid.left()) / cell};
}

void WeightMapView::select(int row, int col)
{
    if (row < 0 || col < 0 || row >= map_.rows || col >= map_.cols)
        return;
    selected_ = std::pair{row, col};
    emit cellShown(cellText(row, col));
    update();
}

void WeightMapView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect grid = gridRect();
    if (grid.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter, tr("No matrix yet"));
        return;
    }
    const int cell = grid.width() / map_.cols;
    const QFontMetrics fm(font());
    const bool labelRows = cell >= fm.height() - 2;
    const bool labelColumns = cell >= fm.horizontalAdvance(columnLabel(map_.cols - 1)) + 2;

    for (int i = 0; i < map_.rows; ++i) {
        for (int j = 0; j < map_.cols; ++j)
            p.fillRect(grid.left() + j * cell, grid.top() + i * cell, cell, cell, colourOf(map_.at(i, j)));
        if (labelRows)
            p.drawText(QRect(kMargin, grid.top() + i * cell, grid.left() - kMargin - 4, cell),
                       Qt::AlignRight | Qt::AlignVCenter, rowLabel(i));
    }
    if (labelColumns)
        for (int j = 0; j < map_.cols; ++j)
            p.drawText(QRect(grid.left() + j * cell, kMargin, cell, grid.top() - kMargin), Qt::AlignCenter,
                       columnLabel(j));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(grid.adjusted(0, 0, -1, -1));
    if (cell >= 8) {
        for (int i = 1; i < map_.rows; ++i)
            p.drawLine(grid.left(), grid.top() + i * cell, grid.right(), grid.top() + i * cell);
        for (int j = 1; j < map_.cols; ++j)
            p.drawLine(grid.left() + j * cell, grid.top(), grid.left() + j * cell, grid.bottom());
    }
    for (const auto& mark : {hovered_, selected_}) {
        if (!mark)
            continue;
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(grid.left() + mark->second * cell + 1, grid.top() + mark->first * cell + 1, cell - 2, cell - 2);
    }

    // The colour bar, +limit at the top.
    const QRect bar = barRect();
    for (int y = 0; y < bar.height(); ++y) {
        const double value = limit_ * (1 - 2.0 * y / std::max(1, bar.height() - 1));
        p.setPen(colourOf(value));
        p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(bar.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::WindowText));
    const int textLeft = bar.right() + 4;
    p.drawText(textLeft, bar.top() + fm.ascent(), number(limit_));
    p.drawText(textLeft, bar.center().y() + fm.ascent() / 2, QStringLiteral("0"));
    p.drawText(textLeft, bar.bottom(), number(-limit_));
}

void WeightMapView::mouseMoveEvent(QMouseEvent* event)
{
    const auto at = cellAt(event->position().toPoint());
    if (at == hovered_)
        return;
    hovered_ = at;
    update();
    if (at) {
        const QString text = cellText(at->first, at->second);
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
        emit cellShown(text);
    } else {
        QToolTip::hideText();
        emit cellShown(selected_ ? cellText(selected_->first, selected_->second) : QString());
    }
}

void WeightMapView::mousePressEvent(QMouseEvent* event)
{
    if (const auto at = cellAt(event->position().toPoint()))
        select(at->first, at->second);
}

void WeightMapView::leaveEvent(QEvent*)
{
    hovered_.reset();
    update();
    emit cellShown(selected_ ? cellText(selected_->first, selected_->second) : QString());
}

} // namespace duolink
