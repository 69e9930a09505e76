// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The capacity analysis and the parameter sweep: many in-memory trainings,
// one CSV row each. Rows have a fixed order (their key); a shard K of N
// holds the rows whose place in that order is K-1 modulo N.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis/memtrain.h"
#include "core/analysis/recallcount.h"
#include "core/analysis/sweepgrid.h"
#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"

namespace duolink::analysis {

// What every row records about its training.
struct RowResult {
    Outcome outcome = Outcome::Terminated;
    int presentations = 0;
    std::string finalR2;
    double finalR2Value = 0;
    int missedLast = 0;
    RecallCounts recall;
};

// Trains `list` with `job`'s parameters and simulation file (its data texts
// are made from the list), then counts its recalls. nullopt when `stop` cut
// the training short.
std::optional<RowResult> trainAndCount(const PatternPairs& list, const JobTexts& settings,
                                       const std::atomic<bool>* stop);
// The same on job texts as they are (the data files of a folder); `list` is
// the list those files hold, for the recall counts.
std::optional<RowResult> trainAndCount(const JobTexts& job, const PatternPairs& list, const std::atomic<bool>* stop);
// The same for lists of any shape: the job is shapedJob(list, settings),
// what the runner's --patterns makes of the list.
std::optional<RowResult> trainAndCount(const ShapedPairs& list, const JobTexts& settings,
                                       const std::atomic<bool>* stop);
std::optional<RowResult> trainAndCount(const JobTexts& job, const ShapedPairs& list, const std::atomic<bool>* stop);

// outcome,presentations,final_r2,missed_last,recalled,nearest_own
std::string resultColumns(const RowResult& r);

// --- Capacity ----------------------------------------------------------------------------

struct CapacityOptions {
    int maxPairs = 64;        // n = 1 .. maxPairs
    int setsPerSize = 20;     // t = 1 .. setsPerSize
    double density = 0.5;     // chance of a 1
    std::uint64_t seed = 1;
    ListShape shape;          // N A values before the parity, M B values
};
inline constexpr int kMaxCapacityPairs = 256;
// "N,M" (blanks around each allowed) as a shape the engine takes; the
// message that says why not otherwise (the limit it passes, or the form).
std::optional<ListShape> parseCapacityShape(std::string_view text, std::string& why);
inline constexpr const char* kCapacityHeader =
    "n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own";

// Row k (0-based) is n = k / T + 1, set t = k % T + 1.
inline size_t capacityRowCount(const CapacityOptions& o)
{
    return static_cast<size_t>(o.maxPairs) * static_cast<size_t>(o.setsPerSize);
}
inline int capacityPairs(const CapacityOptions& o, size_t row) { return static_cast<int>(row / o.setsPerSize) + 1; }
inline int capacitySet(const CapacityOptions& o, size_t row) { return static_cast<int>(row % o.setsPerSize) + 1; }
std::string capacityRowText(const CapacityOptions& o, size_t row, const RowResult& r);

// --- Sweep ---------------------------------------------------------------------------------

std::string sweepHeader(const std::vector<SweepAxis>& axes);
// The parameters text of a cell: each axis's value set in `parameters`.
std::string cellParameters(const std::vector<SweepAxis>& axes, size_t cell, const std::string& parameters);
// The axis values as the CSV shows them: whole numbers as they are, reals in
// the shortest form that reads back exactly.
std::string cellColumns(const std::vector<SweepAxis>& axes, size_t cell);

// Raises RunError (checkAnalysisShape) when the parameters text, or a cell
// of the sweep over `axes` (none for capacity), has an A Len the recall
// counts do not know.
void checkAnalysisShape(const std::vector<SweepAxis>& axes, const std::string& parameters);
// The same for a list of `shape`: an 8 + 8 list as above; a list of another
// shape sets A Len and B Len itself, so no axis may sweep them.
void checkAnalysisShape(const std::vector<SweepAxis>& axes, const std::string& parameters, ListShape shape);

// --- Sharding ------------------------------------------------------------------------------

struct Shard {
    int index = 1; // K, 1-based
    int count = 1; // N
};
// Parses "K/N" with 1 <= K <= N; nullopt when it is not that.
std::optional<Shard> parseShard(std::string_view text);
// The rows of a shard, as positions in the full order.
inline size_t shardRowCount(size_t rows, Shard s)
{
    const size_t k = static_cast<size_t>(s.index - 1), n = static_cast<size_t>(s.count);
    return rows > k ? (rows - k - 1) / n + 1 : 0;
}
inline size_t shardRow(size_t j, Shard s)
{
    return static_cast<size_t>(s.index - 1) + j * static_cast<size_t>(s.count);
}

} // namespace duolink::analysis
