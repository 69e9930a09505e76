// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/analyses.h"

#include <algorithm>
#include <charconv>

#include "core/analysis/jobtexts.h"
#include "core/analysis/shapedrecall.h"
#include "core/support/errors.h"
#include "core/support/numgrammar.h"
#include "core/parameters/paramsfile.h"

namespace duolink::analysis {

namespace {
// Longer R2 texts come from a matrix that diverged.
constexpr size_t kLongestR2Text = 20;
} // namespace

namespace {

// Trains `job` and counts the recalls of `list`, of either kind.
template <typename List>
std::optional<RowResult> trainAndCountList(const JobTexts& job, const List& list, const std::atomic<bool>* stop)
{
    const TrainingResult trained = trainInMemory(job, stop);
    if (trained.stopped)
        return std::nullopt;
    RowResult row;
    row.outcome = trained.outcome;
    row.presentations = trained.presentations;
    row.finalR2 = trained.finalR2;
    row.finalR2Value = trained.finalR2Value;
    row.missedLast = trained.missedLast;
    // A job that never read its parameters has no matrix to recall through.
    if (trained.outcome != Outcome::Terminated)
        row.recall = countRecalls(trained, list);
    return row;
}

} // namespace

std::optional<RowResult> trainAndCount(const JobTexts& job, const PatternPairs& list, const std::atomic<bool>* stop)
{
    return trainAndCountList(job, list, stop);
}

std::optional<RowResult> trainAndCount(const PatternPairs& list, const JobTexts& settings,
                                       const std::atomic<bool>* stop)
{
    JobTexts job;
    job.parameters = settings.parameters;
    job.simulation = settings.simulation;
    job.options = settings.options;
    putDataTexts(job, list);
    return trainAndCount(job, list, stop);
}

std::optional<RowResult> trainAndCount(const JobTexts& job, const ShapedPairs& list, const std::atomic<bool>* stop)
{
    if (list.shape.fixed())
        return trainAndCount(job, fixedFromShaped(list), stop);
    return trainAndCountList(job, list, stop);
}

std::optional<RowResult> trainAndCount(const ShapedPairs& list, const JobTexts& settings,
                                       const std::atomic<bool>* stop)
{
    if (list.shape.fixed())
        return trainAndCount(fixedFromShaped(list), settings, stop);
    return trainAndCount(shapedJob(list, settings), list, stop);
}

std::optional<ListShape> parseCapacityShape(std::string_view text, std::string& why)
{
    const size_t comma = text.find(',');
    long long n = 0, m = 0;
    const auto trimmed = [](std::string_view field) {
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
            field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
            field.remove_suffix(1);
        return field;
    };
    if (comma == std::string_view::npos || !parseIntToken(trimmed(text.substr(0, comma)), n) ||
        !parseIntToken(trimmed(text.substr(comma + 1)), m) || n < 0 || m < 0 || n > kLongestPattern ||
        m > kLongestPattern) {
        why = "takes N,M: N A values before the parity and M B values, as 8,8";
        return std::nullopt;
    }
    const ListShape shape{static_cast<int>(n), static_cast<int>(m)};
    why = shapeProblem(shape);
    if (!why.empty())
        return std::nullopt;
    return shape;
}

std::string resultColumns(const RowResult& r)
{
    std::string out(outcomeName(r.outcome));
    out += ',' + std::to_string(r.presentations);
    // A diverged R2 is a fixed-point text of dozens of digits; it reads as
    // the number it is in the shortest exact form.
    double r2 = 0;
    if (r.finalR2.size() > kLongestR2Text && parseRealToken(r.finalR2, r2))
        appendShortest(out += ',', r2);
    else
        out += ',' + r.finalR2;
    out += ',' + std::to_string(r.missedLast);
    out += ',' + std::to_string(r.recall.recalled);
    out += ',' + std::to_string(r.recall.nearestOwn);
    return out;
}

std::string capacityRowText(const CapacityOptions& o, size_t row, const RowResult& r)
{
    return std::to_string(capacityPairs(o, row)) + ',' + std::to_string(capacitySet(o, row)) + ',' +
           resultColumns(r) + '\n';
}

std::string sweepHeader(const std::vector<SweepAxis>& axes)
{
    std::string out;
    for (const SweepAxis& axis : axes)
        out += axis.name + ',';
    return out + "outcome,presentations,final_r2,missed_last,recalled,nearest_own";
}

std::string cellParameters(const std::vector<SweepAxis>& axes, size_t cell, const std::string& parameters)
{
    ParametersEdit edit;
    for (size_t k = 0; k < axes.size(); ++k)
        edit.set(static_cast<Parameter>(axes[k].parameter), cellValue(axes, cell, k));
    return editParameters(parameters, edit);
}

std::string cellColumns(const std::vector<SweepAxis>& axes, size_t cell)
{
    std::string out;
    for (size_t k = 0; k < axes.size(); ++k) {
        const std::string& text = cellValue(axes, cell, k);
        if (parameterInfo(static_cast<Parameter>(axes[k].parameter)).integer) {
            long long v = 0;
            parseIntToken(text, v);
            out += std::to_string(v);
        } else {
            double v = 0;
            parseRealToken(text, v);
            appendShortest(out, v);
        }
        out += ',';
    }
    return out;
}

std::optional<Shard> parseShard(std::string_view text)
{
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    long long k = 0, n = 0;
    if (!parseIntToken(text.substr(0, slash), k) || !parseIntToken(text.substr(slash + 1), n))
        return std::nullopt;
    if (n < 1 || n > 1000000 || k < 1 || k > n || text.find_first_of("+-") != std::string_view::npos)
        return std::nullopt;
    return Shard{static_cast<int>(k), static_cast<int>(n)};
}

void checkAnalysisShape(const std::vector<SweepAxis>& axes, const std::string& parameters)
{
    for (const SweepAxis& axis : axes)
        for (const std::string& value : axis.values)
            if (double aLen = 0; axis.parameter == static_cast<int>(Parameter::ALen) &&
                                 parameterValue(Parameter::ALen, value, aLen))
                checkAnalysisShape(static_cast<int>(aLen));
    checkAnalysisShape(static_cast<int>(readParameterValues(parameters)[Parameter::ALen]));
}

void checkAnalysisShape(const std::vector<SweepAxis>& axes, const std::string& parameters, ListShape shape)
{
    if (shape.fixed()) {
        checkAnalysisShape(axes, parameters);
        return;
    }
    for (const SweepAxis& axis : axes)
        if (axis.parameter == static_cast<int>(Parameter::ALen) || axis.parameter == static_cast<int>(Parameter::BLen))
            throw RunError("--sweep " + axis.name + ": the list's pairs of " + std::to_string(shape.n) + " + " +
                           std::to_string(shape.m) + " values set A Len and B Len; sweep another parameter");
}

} // namespace duolink::analysis
