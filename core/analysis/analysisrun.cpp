// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/analysisrun.h"

#include <optional>

#include "core/analysis/jobtexts.h"
#include "core/analysis/orderedrun.h"
#include "core/support/errors.h"
#include "core/analysis/randomsets.h"

namespace duolink::analysis {

namespace {

// The rows of `request`, kept in memory.
AnalysisRun collect(const AnalysisSpec& request, WorkProgress& progress)
{
    AnalysisRun run;
    run.rows.reserve(analysisShardRows(request));
    AnalysisHooks hooks;
    hooks.row = [&](const AnalysisRow& row) {
        run.rows.push_back(row);
        return true;
    };
    run.stopped = streamAnalysis(request, hooks, progress).stopped;
    return run;
}

} // namespace

AnalysisRun runCapacity(const CapacityOptions& options, const JobTexts& settings, Shard shard,
                        const ThreadPool& pool, WorkProgress& progress)
{
    AnalysisSpec request;
    request.capacity = options;
    request.settings = settings;
    request.shard = shard;
    request.jobs = pool.threadCount();
    return collect(request, progress);
}

AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const PatternPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress)
{
    return runSweep(axes, shapedFromFixed(list), settings, shard, pool, progress);
}

AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const ShapedPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress)
{
    AnalysisSpec request;
    request.kind = AnalysisKind::Sweep;
    request.axes = axes;
    request.list = list;
    request.settings = shapedJob(list, settings);
    request.shard = shard;
    request.jobs = pool.threadCount();
    return collect(request, progress);
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

size_t analysisRows(const AnalysisSpec& request)
{
    return request.kind == AnalysisKind::Capacity ? capacityRowCount(request.capacity) : gridCellCount(request.axes);
}

size_t analysisShardRows(const AnalysisSpec& request)
{
    return shardRowCount(analysisRows(request), request.shard);
}

namespace {

// A row's training, or why the row could not be run.
struct RowOrFailure {
    RowResult result;
    std::optional<std::string> failure;
};

// `fixedList` is the sweep's list of 8 + 8 as the fixed-shape training
// takes it, made once for all rows.
std::optional<RowResult> trainRow(const AnalysisSpec& request, const PatternPairs& fixedList, size_t row,
                                  const AnalysisHooks& hooks, const std::atomic<bool>& stop)
{
    if (request.kind == AnalysisKind::Sweep) {
        JobTexts job = request.settings;
        job.parameters = cellParameters(request.axes, row, request.settings.parameters.value_or(std::string()));
        if (request.list.shape.fixed())
            return trainAndCount(job, fixedList, &stop);
        return trainAndCount(job, request.list, &stop);
    }
    const CapacityOptions& o = request.capacity;
    const int n = capacityPairs(o, row), t = capacitySet(o, row);
    if (o.shape.fixed()) {
        const PatternPairs set = randomSet(o.seed, n, t, o.density);
        if (hooks.keepSet)
            hooks.keepSet(n, t, shapedFromFixed(set));
        return trainAndCount(set, request.settings, &stop);
    }
    const ShapedPairs set = randomShapedSet(o.seed, n, t, o.density, o.shape);
    if (hooks.keepSet)
        hooks.keepSet(n, t, set);
    return trainAndCount(set, request.settings, &stop);
}

} // namespace

AnalysisEnd streamAnalysis(const AnalysisSpec& request, const AnalysisHooks& hooks, WorkProgress& progress)
{
    AnalysisEnd end;
    end.total = analysisShardRows(request);
    const ThreadPool pool(request.jobs);
    bool refused = false; // hooks.row wanted no more rows
    const PatternPairs fixedList =
        request.kind == AnalysisKind::Sweep && request.list.shape.fixed() ? fixedFromShaped(request.list) : PatternPairs{};
    auto task = [&](size_t j, unsigned, const std::atomic<bool>& stop) -> std::optional<RowOrFailure> {
        try {
            std::optional<RowResult> r = trainRow(request, fixedList, shardRow(j, request.shard), hooks, stop);
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
        if (hooks.row && !hooks.row({shardRow(j, request.shard), r.result})) {
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
