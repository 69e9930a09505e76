#include "core/analysis/analysisrun.h"

#include <optional>

#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"

namespace duolink::analysis {

namespace {

using RowTask = std::function<std::optional<RowResult>(size_t row, const std::atomic<bool>& stop)>;

// Every row of the shard on the pool, each into a slot of its own; the slots
// a stop left empty are dropped.
AnalysisRun runRows(size_t rows, Shard shard, const ThreadPool& pool, WorkProgress& progress, const RowTask& task)
{
    const size_t count = shardRowCount(rows, shard);
    std::vector<std::optional<RowResult>> slots(count);
    const bool finished = pool.forEach(
        count, [&](size_t j) { slots[j] = task(shardRow(j, shard), progress.stop); }, &progress);
    AnalysisRun run;
    run.rows.reserve(count);
    for (size_t j = 0; j < count; ++j)
        if (slots[j])
            run.rows.push_back({shardRow(j, shard), std::move(*slots[j])});
    run.stopped = !finished || run.rows.size() < count;
    return run;
}

} // namespace

AnalysisRun runCapacity(const CapacityOptions& options, const JobTexts& settings, Shard shard,
                        const ThreadPool& pool, WorkProgress& progress)
{
    return runRows(capacityRowCount(options), shard, pool, progress, [&](size_t row, const std::atomic<bool>& stop) {
        const PatternPairs set =
            randomSet(options.seed, capacityPairs(options, row), capacitySet(options, row), options.density);
        return trainAndCount(set, settings, &stop);
    });
}

AnalysisRun runSweep(const std::vector<SweepAxis>& axes, const PatternPairs& list, const JobTexts& settings,
                     Shard shard, const ThreadPool& pool, WorkProgress& progress)
{
    JobTexts data = settings;
    putDataTexts(data, list);
    const std::string parameters = settings.parameters.value_or(std::string());
    return runRows(gridCellCount(axes), shard, pool, progress, [&](size_t cell, const std::atomic<bool>& stop) {
        JobTexts job = data;
        job.parameters = cellParameters(axes, cell, parameters);
        return trainAndCount(job, list, &stop);
    });
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

} // namespace duolink::analysis
