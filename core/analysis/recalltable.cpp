// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/recalltable.h"

#include <algorithm>
#include <cmath>

#include "core/predict/recall.h"

#include "core/support/numtext.h"

namespace duolink {

int RecallTable::recalledCount() const
{
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const RecallRow& r) { return r.recalledWithinTol(); }));
}

int RecallTable::nearestOwnCount() const
{
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const RecallRow& r) { return r.nearestOwn(); }));
}

double largestError(const RecallValues& recalled, const TPatternVector& expected)
{
    // From the fixed-point integers: |c - round(b x UNITY)| / UNITY, one
    // division, so that one unit reads 0.0001 and not 9.999999999998899e-05.
    double most = 0;
    for (int j = 0; j < 8; ++j) {
        const long double c = std::nearbyint(static_cast<long double>(recalled[static_cast<size_t>(j)]) * kRecallUnity);
        const long double b = std::nearbyint(static_cast<long double>(expected[static_cast<size_t>(j) + 1]) * kRecallUnity);
        most = std::max(most, static_cast<double>(std::fabs(c - b)) / kRecallUnity);
    }
    return most;
}

RecallTable recallTable(const RecallSnapshot& snapshot, const PatternPairs& list, double tol)
{
    RecallTable table;
    table.tol = tol;
    table.rows.reserve(list.size());
    Recaller recaller(snapshot);
    for (std::size_t p = 0; p < list.size(); ++p) {
        RecallRow row;
        row.pair = static_cast<int>(p) + 1;
        row.a = list[p].a;
        row.a[9] = parityOf(row.a);
        row.b = list[p].b;
        try {
            row.recalled = recaller.recall(row.a);
        } catch (const RunError& e) {
            throw RunError("pair " + std::to_string(row.pair) + ": " + e.what());
        }
        row.score = scoreRecall(row.recalled, list, p, tol);
        row.score.maxError = largestError(row.recalled, row.b);
        table.rows.push_back(row);
    }
    return table;
}

std::string recallSummary(const RecallTable& table)
{
    const std::string n = std::to_string(table.rows.size());
    std::string tol;
    appendShortest(tol, table.tol);
    return std::to_string(table.recalledCount()) + " of " + n + " pairs recalled within TOL " + tol + "; " +
           std::to_string(table.nearestOwnCount()) + " of " + n + " nearest to their own B";
}

std::string fieldValueText(double value)
{
    std::string text = realText(value);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

std::string recallTableCsv(const RecallTable& table)
{
    std::string out = kRecallTableHeader;
    out += '\n';
    for (const RecallRow& row : table.rows) {
        out += std::to_string(row.pair);
        for (int i = 1; i <= 8; ++i)
            appendShortest(out += ',', row.a[i]);
        for (int j = 1; j <= 8; ++j)
            appendShortest(out += ',', row.b[j]);
        for (double r : row.recalled)
            (out += ',') += fieldValueText(r);
        appendShortest(out += ',', row.score.maxError);
        out += ',' + std::to_string(row.score.outsideTol);
        out += row.recalledWithinTol() ? ",1" : ",0";
        out += ',' + std::to_string(row.score.nearest);
        out += row.nearestOwn() ? ",1\n" : ",0\n";
    }
    return out;
}

} // namespace duolink
