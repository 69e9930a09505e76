// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/analysisrun.h"

#include <optional>

#include "core/analysis/jobtexts.h"
#include "core/analysis/orderedrun.h"
#include "core/support/errors.h"
#include "core/analysis/randomsets.h"

namespace duolink::analysis {

namespace {

// The rows of `spec`, kept in memory.
AnalysisRun collect(const AnalysisSpec& spec, WorkProgress& progress)
{
    AnalysisRun run;
    run.rows.reserve(analysisShardRows(spec));
    AnalysisHooks hooks;
    hooks.row = [&](const AnalysisRow& row) {
        run.rows.push_back(row);
        return true;
    };
    run.stopped = streamAnalysis(spec, hooks, progress).stopped;
    return run;
}

} // namespace

AnalysisRun runCapacity(const CapacityOptions& options, const JobTexts& settings, Shard shard,
                        const ThreadPool& pool, WorkProgress& progress)
{
    AnalysisSpec spec;
    spec.capacity = options;
    spec.settings = settings;
    spec.shard = shard;
    spec.jobs = pool.threadCount();
    return collect(spec, progress);
}

AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const PatternPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress)
{
    AnalysisSpec spec;
    spec.kind = AnalysisKind::Sweep;
    spec.axes = axes;
    spec.list = list;
    spec.settings = settings;
    putDataTexts(spec.settings, list);
    spec.shard = shard;
    spec.jobs = pool.threadCount();
    return collect(spec, progress);
}

std::string capacityCsv(const CapacityOptions& options, const AnalysisRun& run)
{
    std::string out = std::string(kCapacityHeader) + '\n';
    for (const AnalysisRow& row : run.rows)
        out += capacityRowText(options, row.row, row.result);
    return out;
}

std::string sweepCsv(const std::vector<SweepAxis>& axes, const AnalysisRun& run)
{
    std::string out = sweepHeader(axes) + '\n';
    for (const AnalysisRow& row : run.rows)
        out += cellColumns(axes, row.row) + resultColumns(row.result) + '\n';
    return out;
}

size_t analysisRows(const AnalysisSpec& spec)
{
    return spec.kind == AnalysisKind::Capacity ? capacityRowCount(spec.capacity) : gridCellCount(spec.axes);
}

size_t analysisShardRows(const AnalysisSpec& spec)
{
    return shardRowCount(analysisRows(spec), spec.shard);
}

namespace {

// A row's training, or why the row could not be run.
struct RowOrFailure {
    RowResult result;
    std::optional<std::string> failure;
};

std::optional<RowResult> trainRow(const AnalysisSpec& spec, size_t row,
                                  const AnalysisHooks& hooks, const std::atomic<bool>& stop)
{
    if (spec.kind == AnalysisKind::Sweep) {
        JobTexts job = spec.settings;
        job.parameters = cellParameters(spec.axes, row, spec.settings.parameters.value_or(std::string()));
        return trainAndCount(job, spec.list, &stop);
    }
    const CapacityOptions& o = spec.capacity;
    const int n = capacityPairs(o, row), t = capacitySet(o, row);
    const PatternPairs set = randomSet(o.seed, n, t, o.density);
    if (hooks.keepSet)
        hooks.keepSet(n, t, set);
    return trainAndCount(set, spec.settings, &stop);
}

} // namespace

AnalysisEnd streamAnalysis(const AnalysisSpec& spec, const AnalysisHooks& hooks, WorkProgress& progress)
{
    AnalysisEnd end;
    end.total = analysisShardRows(spec);
    const ThreadPool pool(spec.jobs);
    bool refused = false; // hooks.row wanted no more rows
    auto task = [&](size_t j, unsigned, const std::atomic<bool>& stop) -> std::optional<RowOrFailure> {
        try {
            std::optional<RowResult> r = trainRow(spec, shardRow(j, spec.shard), hooks, stop);
            return r ? std::optional(RowOrFailure{std::move(*r), {}}) : std::nullopt;
        } catch (const RunError& e) {
            // A set that cannot be kept: the row has no file to rerun.
            return RowOrFailure{{}, (e.file().empty() ? "" : e.file() + ": ") + e.what()};
        }
    };
    auto deliver = [&](size_t j, const RowOrFailure& r) {
        if (end.failure || refused)
            return;
        if (r.failure) {
            end.failure = r.failure;
            progress.stop = true;
            return;
        }
        ++end.outcomes[static_cast<size_t>(r.result.outcome)];
        ++end.rows;
        if (hooks.row && !hooks.row({shardRow(j, spec.shard), r.result})) {
            refused = true;
            progress.stop = true;
        }
    };
    const OrderedRunStats stats = runOrderedOf<RowOrFailure>(end.total, pool, task, deliver, progress, [&] {
        return hooks.stop && hooks.stop->load();
    });
    end.stopped = stats.stopped || end.rows < end.total;
    return end;
}

} // namespace duolink::analysis
