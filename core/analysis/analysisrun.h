#pragma once
// The capacity analysis and the parameter sweep as one run held in memory:
// each row a typed record, in row order, for callers that read the rows as
// values rather than as CSV lines (the Python module). The rows, their
// trainings and their order are those of the runner's CSV files.
#include <atomic>
#include <cstddef>
#include <functional>
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

// The CSV text the runner writes for these rows, header first.
std::string capacityCsv(const CapacityOptions& options, const AnalysisRun& run);
std::string sweepCsv(const std::vector<SweepAxis>& axes, const AnalysisRun& run);

} // namespace duolink::analysis
