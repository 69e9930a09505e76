// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much damage to the A patterns recall survives: exhaustive bit flips
// for 0/1 patterns, seeded Gaussian noise for the others.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/exactrecall.h"
#include "core/analysis/threadpool.h"
#include "core/patterns/shapedlist.h"

namespace duolink {

// A flip level of k among n values is run on every flip set while there are
// at most this many per pair, and on --noise-trials drawn sets above.
inline constexpr std::uint64_t kMostExhaustiveFlipSets = std::uint64_t(1) << 20;

struct NoiseOptions {
    double tol = 0;
    std::vector<double> sigmas = {0, 0.05, 0.1, 0.2, 0.3, 0.5};
    int trials = 100;
    std::uint64_t seed = 1;
    std::uint64_t mostFlipSets = kMostExhaustiveFlipSets; // per pair and level, for lists of any shape
};

enum class NoiseMode { Flip, Gauss };

// One level: k flipped values, or the standard deviation sigma.
struct NoiseRow {
    double level = 0;
    long long recalls = 0;
    long long withinTol = 0;          // recalls with every element within TOL
    long long nearestOwn = 0;         // recalls whose nearest stored B is the pair's own
    long long outsideTolElements = 0; // elements further than TOL, over all recalls
    bool sampled = false;             // flip sets drawn, not all of them ("flip-sampled")
};

struct NoiseTable {
    NoiseMode mode = NoiseMode::Flip;
    std::vector<NoiseRow> rows;
};

// True when every A value (A1..A8) of every pair is 0 or 1.
bool isBinaryList(const PatternPairs& list);

// Flip mode for a 0/1 list: for k = 0..8 every set of k of the eight A values
// of every pair is flipped (v -> 1 - v) and the parity recomputed. Otherwise
// Gaussian mode: for each sigma and trial t, A value i of pair p gets
// sigma * z_i added, z_1..z_8 from SplitMix64(streamSeed(seed, p, sigma
// index, t)) by Box-Muller, four pairs in turn (p from 1, the indexes from 0).
// std::nullopt when a stop request in `progress` ended the run; `finished`,
// when given, then gets the rows of the levels done before the stop, in
// order (none in flip mode, whose levels all end with the last pair).
// Raises RunError when a recall fails.
std::optional<NoiseTable> noiseTable(const RecallSnapshot& snapshot, const PatternPairs& list,
                                     const NoiseOptions& options, const ThreadPool& pool,
                                     WorkProgress* progress = nullptr, NoiseTable* finished = nullptr);

// --- Lists of any shape ---------------------------------------------------------------

// The number of flip sets of k among n values, up to `most` + 1.
std::uint64_t flipSetCount(int n, int k, std::uint64_t most = kMostExhaustiveFlipSets);
inline bool flipLevelSampled(int n, int k, std::uint64_t most = kMostExhaustiveFlipSets)
{
    return flipSetCount(n, k, most) > most;
}

// True when every A value (the parity not counted) of every pair is 0 or 1.
bool isBinaryList(const ShapedPairs& list);

// noiseTable for a list of any shape; for 8 + 8 the table above. Flip mode
// has levels k = 0..N; a level with more than options.mostFlipSets flip
// sets is sampled: trial t of pair p flips the values at the first k places
// of a partial Fisher-Yates shuffle of 0..N-1 drawn from
// SplitMix64(streamSeed(seed, p, k, t)), place i swapped with
// i + floor(u * (N - i)) for the next u of nextUnit(). Gaussian mode adds
// noise to the N values as above, the last z of an odd N unused. The rows
// are the same for any number of threads. Raises RunError when the list
// does not fit the snapshot's lengths or a recall fails.
std::optional<NoiseTable> noiseTable(const RecallSnapshot& snapshot, const ShapedPairs& list,
                                     const NoiseOptions& options, const ThreadPool& pool,
                                     WorkProgress* progress = nullptr, NoiseTable* finished = nullptr);

// A list of standard deviations: numbers of 0 or more separated by commas,
// blanks around them allowed ("0, 0.05, 0.1"). std::nullopt for anything else.
std::optional<std::vector<double>> parseSigmaList(std::string_view text);
// The list as parseSigmaList reads it back: "0, 0.05, 0.1".
std::string sigmaListText(const std::vector<double>& sigmas);

inline constexpr const char* kNoiseHeader = "mode,level,recalls,within_tol,nearest_own,outside_tol_elements";

// The header line and one line per row, each ended by '\n'.
std::string noiseTableCsv(const NoiseTable& table);

} // namespace duolink
