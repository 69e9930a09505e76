// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The numbers on the training chart's axes.
#include <QList>
#include <QPointF>
#include <QString>

class QValueAxis;

namespace duolink {

// The step between labels of an axis that spans `span` units: a whole
// number of 1, 2 or 5 times a power of ten, at least 1, that splits the
// span into at most `maxSteps` steps.
double wholeStep(double span, int maxSteps);

// The step between labels of an axis that spans `span` units: 1, 2 or 5
// times a power of ten (any power, 0.001 included), splitting the span into
// at most `maxSteps` steps.
double niceStep(double span, int maxSteps);

// Sets `axis` to run from `low` to `high` with labels on the multiples of a
// 1-2-5 step (a whole one when `whole`) and as many decimals as the step
// needs. The top is raised by a hair so that a line drawn at `high` stays
// inside the frame.
void setStepAxis(QValueAxis* axis, double low, double high, int maxSteps, bool whole);

// More points than a chart can show apart cost seconds to draw: past a few
// thousand, `points` (x from `low` to `high`, y from 0 to `top`) keeps one
// point for each spot of a fine grid over the plot, in their order.
QList<QPointF> thinnedPoints(const QList<QPointF>& points, double low, double high, double top);

// The label of 10^exponent on a logarithmic axis: written out from 0.001 to
// 100000, else in exponent form ("1e+41", "1e-12").
QString powerOfTenLabel(int exponent);

// The exponents a logarithmic axis from 10^low to 10^high labels: every
// one, or every second, fifth, tenth ... one, so that there are at most
// `maxLabels`. All are multiples of the step.
QList<int> labelledExponents(int low, int high, int maxLabels);

} // namespace duolink
