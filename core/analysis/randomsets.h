// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The random pattern sets of the capacity analysis. Set t of n pairs comes
// from its own SplitMix64 stream (core/analysis/splitmix64.h), so any set can
// be made alone, on any machine and thread, and is the same every time:
//
//   start  = seed XOR mix(n * 2^32 + t + 0x9E3779B97F4A7C15)
//
// where mix is the SplitMix64 output function. From `start` the generator
// gives x1, x2, ...; the values are taken pair by pair, A1..A8 then B1..B8,
// (A1..AN then B1..BM for a set of another shape), and a value is 1 when (x >> 11) / 2^53 < p, else 0. The parity elements
// are computed as for typed values.
#include <cstdint>

#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"

namespace duolink::analysis {

// Starting state of set t (1-based) of n pairs.
std::uint64_t setStartState(std::uint64_t seed, int n, int t);

// Set t of n pairs of 0/1 values, each 1 with probability p.
PatternPairs randomSet(std::uint64_t seed, int n, int t, double p);
// The same set in `shape`; for 8 + 8 the values of randomSet.
ShapedPairs randomShapedSet(std::uint64_t seed, int n, int t, double p, ListShape shape);

} // namespace duolink::analysis
