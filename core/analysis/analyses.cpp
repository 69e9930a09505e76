// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/analyses.h"

#include <algorithm>
#include <charconv>

#include "core/analysis/jobtexts.h"
#include "core/support/numgrammar.h"
#include "core/parameters/paramsfile.h"

namespace duolink::analysis {

namespace {
// Longer R2 texts come from a matrix that diverged.
constexpr size_t kLongestR2Text = 20;
} // namespace

std::optional<RowResult> trainAndCount(const JobTexts& job, const PatternPairs& list, const std::atomic<bool>* stop)
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

} // namespace duolink::analysis
