// SPDX-License-Identifier: GPL-3.0-or-later
#include "training/chartaxes.h"

#include <QList>
#include <QPointF>
#include <QSet>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace duolink {

double wholeStep(double span, int maxSteps)
{
    if (!(span > 0) || maxSteps < 1)
        return 1;
    for (double power = 1;; power *= 10)
        for (double factor : {1.0, 2.0, 5.0})
            if (span / (factor * power) <= maxSteps)
                return factor * power;
}

namespace {
// Past this many points a series keeps one for each spot of a grid this fine.
constexpr qsizetype kMostPoints = 4000;
constexpr int kSpots = 1000;
} // namespace

QList<QPointF> thinnedPoints(const QList<QPointF>& points, double low, double high, double top)
{
    if (points.size() <= kMostPoints)
        return points;
    QList<QPointF> kept;
    QSet<qint64> seen;
    const double xSpan = high > low ? high - low : 1, ySpan = top > 0 ? top : 1;
    for (const QPointF& p : points) {
        const auto spot = static_cast<qint64>((p.x() - low) / xSpan * kSpots) * (kSpots + 1) +
                          static_cast<qint64>(p.y() / ySpan * kSpots);
        if (!seen.contains(spot)) {
            seen.insert(spot);
            kept.append(p);
        }
    }
    return kept;
}

double niceStep(double span, int maxSteps)
{
    if (!(span > 0) || !std::isfinite(span) || maxSteps < 1)
        return 1;
    double power = std::pow(10.0, std::floor(std::log10(span / maxSteps)));
    for (;; power *= 10)
        for (double factor : {1.0, 2.0, 5.0})
            if (span / (factor * power) <= maxSteps * (1 + 1e-9))
                return factor * power;
}

void setStepAxis(QValueAxis* axis, double low, double high, int maxSteps, bool whole)
{
    if (!(high > low))
        high = low + 1;
    const double step = whole ? wholeStep(high - low, maxSteps) : niceStep(high - low, maxSteps);
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QLatin1Char('f'));
    axis->setRange(low, high + (high - low) * 0.015);
}

QString powerOfTenLabel(int exponent)
{
    if (exponent >= 0 && exponent <= 5)
        return QString::number(static_cast<qlonglong>(std::llround(std::pow(10.0, exponent))));
    if (exponent < 0 && exponent >= -3)
        return QStringLiteral("0.") + QString(-exponent - 1, QLatin1Char('0')) + QLatin1Char('1');
    return QStringLiteral("1e%1%2").arg(exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')).arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
}

QList<int> labelledExponents(int low, int high, int maxLabels)
{
    QList<int> out;
    if (high < low)
        return out;
    const int step = static_cast<int>(wholeStep(high - low, std::max(1, maxLabels - 1)));
    // The first multiple of the step at or above low.
    int first = low >= 0 ? (low + step - 1) / step * step : -((-low) / step * step);
    for (int e = first; e <= high; e += step)
        out.append(e);
    return out;
}

} // namespace duolink
