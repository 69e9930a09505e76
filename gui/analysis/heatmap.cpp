// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/heatmap.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace duolink {

QColor heatColour(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    // A few stops of a perceptually even scale, interpolated.
    static constexpr double kStops[][3] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
    const double x = t * 4;
    const int k = std::min(3, static_cast<int>(x));
    const double f = x - k;
    auto mix = [&](int c) { return static_cast<int>(std::lround(kStops[k][c] + (kStops[k + 1][c] - kStops[k][c]) * f)); };
    return QColor(mix(0), mix(1), mix(2));
}

HeatMap::HeatMap(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sweepHeatMap"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void HeatMap::setAxes(const QString& rowTitle, const QStringList& rows, const QString& columnTitle,
                      const QStringList& columns)
{
    rowTitle_ = rowTitle;
    columnTitle_ = columnTitle;
    rows_ = rows;
    columns_ = columns;
    cells_.assign(static_cast<size_t>(rows.size() * columns.size()), {});
    update();
}

void HeatMap::setCell(int row, int column, const Cell& cell)
{
    const qsizetype k = row * columns_.size() + column;
    if (k < 0 || k >= static_cast<qsizetype>(cells_.size()))
        return;
    cells_[static_cast<size_t>(k)] = cell;
    update();
}

const HeatMap::Cell* HeatMap::cell(int row, int column) const
{
    const qsizetype k = row * columns_.size() + column;
    return column >= 0 && column < columns_.size() && k >= 0 && k < static_cast<qsizetype>(cells_.size())
               ? &cells_[static_cast<size_t>(k)]
               : nullptr;
}

void HeatMap::setValueTitle(const QString& title)
{
    valueTitle_ = title;
    update();
}

void HeatMap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int line = fm.height();
    int labelWidth = fm.horizontalAdvance(rowTitle_);
    for (const QString& r : rows_)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(r));
    const int barWidth = 16, barLabels = fm.horizontalAdvance(QStringLiteral("0000.000")) + 8;
    const QRect grid(labelWidth + 12, line * 2, width() - labelWidth - 24 - barWidth - barLabels - 12,
                     height() - line * 5);
    if (rows_.isEmpty() || columns_.isEmpty() || grid.width() < 10 || grid.height() < 10)
        return;

    double low = 0, high = 0;
    bool any = false;
    for (const Cell& c : cells_)
        if (c.hasValue) {
            low = any ? std::min(low, c.value) : c.value;
            high = any ? std::max(high, c.value) : c.value;
            any = true;
        }
    const double span = high > low ? high - low : 1;

    const double cw = static_cast<double>(grid.width()) / columns_.size();
    const double ch = static_cast<double>(grid.height()) / rows_.size();
    for (int r = 0; r < rows_.size(); ++r)
        for (int c = 0; c < columns_.size(); ++c) {
            const Cell& cell = cells_[static_cast<size_t>(r * columns_.size() + c)];
            const QRectF box(grid.left() + c * cw, grid.top() + r * ch, cw, ch);
            p.fillRect(box, cell.hasValue ? heatColour((cell.value - low) / span) : QColor(200, 200, 200));
            if (!cell.mark.isEmpty()) {
                p.setPen(cell.hasValue && (cell.value - low) / span > 0.6 ? Qt::black : Qt::white);
                if (!cell.hasValue)
                    p.setPen(Qt::black);
                if (fm.horizontalAdvance(cell.mark) < cw - 2)
                    p.drawText(box, Qt::AlignCenter, cell.mark);
                else
                    p.drawLine(box.topLeft(), box.bottomRight());
            }
        }
    p.setPen(palette().color(QPalette::Text));
    p.drawRect(grid.adjusted(0, 0, -1, -1));
    // Row labels, column labels (as many as fit), titles.
    for (int r = 0; r < rows_.size(); ++r)
        if (ch >= line || r % std::max(1, static_cast<int>(line / ch) + 1) == 0)
            p.drawText(QRectF(0, grid.top() + r * ch, labelWidth + 6, ch), Qt::AlignRight | Qt::AlignVCenter, rows_[r]);
    int step = 1;
    for (const QString& c : columns_)
        step = std::max(step, static_cast<int>((fm.horizontalAdvance(c) + 8) / cw) + 1);
    for (int c = 0; c < columns_.size(); c += step)
        p.drawText(QRectF(grid.left() + c * cw - cw * (step - 1) / 2, grid.bottom() + 2, cw * step, line),
                   Qt::AlignCenter, columns_[c]);
    p.drawText(QRect(grid.left(), grid.bottom() + line + 4, grid.width(), line), Qt::AlignCenter, columnTitle_);
    p.drawText(QRect(0, 0, labelWidth + 200, line), Qt::AlignLeft | Qt::AlignVCenter, rowTitle_ + QStringLiteral(" \u2193"));

    // The colour bar.
    const QRect bar(grid.right() + 12, grid.top(), barWidth, grid.height());
    for (int y = 0; y < bar.height(); ++y)
        p.fillRect(QRect(bar.left(), bar.bottom() - y, bar.width(), 1), heatColour(static_cast<double>(y) / bar.height()));
    p.drawRect(bar.adjusted(0, 0, -1, -1));
    if (any) {
        p.drawText(QPoint(bar.right() + 4, bar.top() + fm.ascent()), QString::number(high, 'g', 4));
        p.drawText(QPoint(bar.right() + 4, bar.bottom()), QString::number(low, 'g', 4));
    }
    p.drawText(QRect(bar.left() - 60, grid.bottom() + line + 4, barWidth + barLabels + 60, line),
               Qt::AlignRight | Qt::AlignVCenter, valueTitle_);
}

} // namespace duolink
