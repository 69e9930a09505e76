// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/shapedrecall.h"

#include <algorithm>
#include <cmath>

#include "core/analysis/recalltable.h"
#include "core/predict/recall.h"
#include "core/support/errors.h"

namespace duolink::analysis {

std::string shapeMismatch(ListShape shape, int aLen, int bLen)
{
    if (shape.fixed() ? aLen == kAnalysisALen : aLen == shape.aLen() && bLen == shape.bLen())
        return {};
    if (shape.fixed())
        return "the analyses take jobs of A Len " + std::to_string(kAnalysisALen) +
               " (eight values and the parity); this job has A Len " + std::to_string(aLen);
    return "the list's pairs of " + std::to_string(shape.n) + " + " + std::to_string(shape.m) +
           " values need A Len " + std::to_string(shape.aLen()) + " and B Len " + std::to_string(shape.bLen()) +
           "; this job has A Len " + std::to_string(aLen) + " and B Len " + std::to_string(bLen);
}

void checkListShape(ListShape shape, int aLen, int bLen)
{
    if (std::string why = shapeMismatch(shape, aLen, bLen); !why.empty())
        throw RunError(why);
}

double largestValueError(const std::vector<double>& recalled, const std::vector<double>& expected)
{
    double most = 0;
    const size_t count = std::min(recalled.size(), expected.size());
    for (size_t j = 0; j < count; ++j) {
        const long double c = std::nearbyint(static_cast<long double>(recalled[j]) * kRecallUnity);
        const long double b = std::nearbyint(static_cast<long double>(expected[j]) * kRecallUnity);
        most = std::max(most, static_cast<double>(std::fabs(c - b)) / kRecallUnity);
    }
    return most;
}

RecallScore scoreValues(const std::vector<double>& r, const ShapedPairs& list, size_t own, double tol)
{
    RecallScore score;
    const std::vector<double>& expected = list.b[own];
    for (size_t j = 0; j < r.size() && j < expected.size(); ++j) {
        const double error = std::fabs(r[j] - expected[j]);
        score.maxError = std::max(score.maxError, error);
        score.outsideTol += error > tol;
    }
    // The first of the least distances; a NaN never replaces one.
    double best = 0;
    for (size_t p = 0; p < list.size(); ++p) {
        double distance = 0;
        for (size_t j = 0; j < r.size() && j < list.b[p].size(); ++j)
            distance += (r[j] - list.b[p][j]) * (r[j] - list.b[p][j]);
        if (p == 0 || distance < best) {
            best = distance;
            score.nearest = static_cast<int>(p) + 1;
        }
    }
    return score;
}

RecallCounts countRecalls(const TrainingResult& trained, const ShapedPairs& list)
{
    if (list.shape.fixed())
        return countRecalls(trained, fixedFromShaped(list));
    RecallCounts counts;
    if (!shapeMismatch(list.shape, trained.matrix.aLen, trained.matrix.bLen).empty())
        return counts;
    Recaller recaller(trained.matrix);
    for (size_t k = 0; k < list.size(); ++k) {
        try {
            const RecallScore score = scoreValues(recaller.recallValues(list.a[k]), list, k, trained.tol);
            counts.recalled += score.outsideTol == 0;
            counts.nearestOwn += score.nearest == static_cast<int>(k) + 1;
        } catch (const RunError&) {
        }
    }
    return counts;
}

ShapedRecallTable shapedRecallTable(const RecallSnapshot& snapshot, const ShapedPairs& list, double tol)
{
    checkListShape(list.shape, snapshot.aLen, snapshot.bLen);
    ShapedRecallTable table;
    table.tol = tol;
    table.shape = list.shape;
    Recaller recaller(snapshot);
    for (size_t p = 0; p < list.size(); ++p) {
        ShapedRecallRow row;
        row.pair = static_cast<int>(p) + 1;
        row.a = list.a[p];
        row.a.back() = parityOfValues(row.a.data(), list.shape.n);
        row.b = list.b[p];
        try {
            row.recalled = recaller.recallValues(row.a);
        } catch (const RunError& e) {
            throw RunError("pair " + std::to_string(row.pair) + ": " + e.what());
        }
        row.score = scoreValues(row.recalled, list, p, tol);
        row.score.maxError = largestValueError(row.recalled, row.b);
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::string recallTableHeader(ListShape shape)
{
    std::string out = "pair";
    for (int i = 1; i <= shape.n; ++i)
        out += ",a" + std::to_string(i);
    for (const char* side : {",b", ",r"})
        for (int j = 1; j <= shape.m; ++j)
            out += side + std::to_string(j);
    return out + ",max_error,outside_tol,recalled,nearest,nearest_own";
}

std::string shapedRecallTableCsv(const ShapedRecallTable& table)
{
    std::string out = recallTableHeader(table.shape) + '\n';
    for (const ShapedRecallRow& row : table.rows) {
        out += std::to_string(row.pair);
        for (int i = 0; i < table.shape.n; ++i)
            appendShortest(out += ',', row.a[static_cast<size_t>(i)]);
        for (double b : row.b)
            appendShortest(out += ',', b);
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

} // namespace duolink::analysis
