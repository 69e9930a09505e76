// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The capacity analysis and the parameter sweep as one run held in memory:
// each row a typed record, in row order, for callers that read the rows as
// values rather than as CSV lines (the Python module). The rows, their
// trainings and their order are those of the runner's CSV files.
#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis/analyses.h"
#include "core/analysis/threadpool.h"

namespace duolink::analysis {

// One row: its place in the full order, and what its training gave.
struct AnalysisRow {
    size_t row = 0;   // 0-based, in the order of the unsharded run
    RowResult result;
};

struct AnalysisRun {
    std::vector<AnalysisRow> rows; // the rows finished, in ascending order
    bool stopped = false;          // a stop ended the run before its last row
};

// The capacity rows of `shard`, set t of n pairs trained with `settings`'s
// parameters and simulation text. `progress.stop`, set from any thread, ends
// the run; the rows finished so far are kept.
AnalysisRun runCapacity(const CapacityOptions& options, const JobTexts& settings, Shard shard,
                        const ThreadPool& pool, WorkProgress& progress);

// The sweep cells of `shard`: `list` trained with each cell's parameters
// (settings' parameters with the cell's values set).
AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const PatternPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress);
// The same for a list of any shape; its A Len and B Len are set from it.
AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const ShapedPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress);

// The CSV text the runner writes for these rows, header first.
std::string capacityCsv(const CapacityOptions& options, const AnalysisRun& run);
std::string sweepCsv(const std::vector<SweepAxis>& axes, const AnalysisRun& run);

// --- One analysis, streamed ------------------------------------------------------------------

enum class AnalysisKind { Capacity, Sweep };

// What an analysis trains and how: the options a caller (the runner, the
// window, the Python module) chooses; the run does the rest.
struct AnalysisSpec {
    AnalysisKind kind = AnalysisKind::Capacity;
    CapacityOptions capacity;     // a capacity run's sizes, sets, density, seed
    std::vector<SweepAxis> axes;  // a sweep's grid, first axis outermost
    ShapedPairs list;             // a sweep's list, of any shape
    JobTexts settings;            // parameters (TOL among them), simulation, a sweep's data texts
                                  // (shapedJob's, for a list of another shape than 8 + 8)
    Shard shard;
    unsigned jobs = 0;            // 0: every core
};

// The rows of the whole run and of its shard.
size_t analysisRows(const AnalysisSpec& request);
size_t analysisShardRows(const AnalysisSpec& request);

struct AnalysisHooks {
    // Each capacity set before its training, on a worker thread (to keep the
    // sets); a RunError it raises ends the run as its failure.
    std::function<void(int n, int set, const ShapedPairs&)> keepSet;
    // Each finished row, in ascending order, one call at a time; false ends
    // the run after the rows finished so far.
    std::function<bool(const AnalysisRow&)> row;
    // A stop request besides progress.stop (a signal handler's flag).
    const std::atomic<bool>* stop = nullptr;
};

struct AnalysisEnd {
    size_t rows = 0;                    // rows handed to hooks.row
    size_t total = 0;                   // rows of the shard
    bool stopped = false;               // ended before its last row
    std::optional<std::string> failure; // the first failure (a set that could not be kept)
    std::array<size_t, 4> outcomes{};   // rows by Outcome
};

// Runs `request`, handing each row to `hooks.row` as soon as it is next.
// `progress.done` counts the trainings finished, `progress.total` all of them.
AnalysisEnd streamAnalysis(const AnalysisSpec& request, const AnalysisHooks& hooks, WorkProgress& progress);

} // namespace duolink::analysis
