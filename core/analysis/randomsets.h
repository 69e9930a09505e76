#pragma once
// The random pattern sets of the capacity analysis. Set t of n pairs comes
// from its own SplitMix64 stream, so any set can be made alone, on any
// machine and thread, and is the same every time:
//
//   start  = seed XOR mix(n * 2^32 + t)
//   mix(z) = the SplitMix64 output for state z (z + 0x9E3779B97F4A7C15, then
//            the three xor-shift-multiply steps)
//
// From `start` the generator gives x1, x2, ...; the values are taken pair by
// pair, A1..A8 then B1..B8, and a value is 1 when (x >> 11) / 2^53 < p, else
// 0. The parity elements are computed as for typed values.
#include <cstdint>

#include "core/patternlist.h"

namespace duolink::analysis {

class SetGenerator {
public:
    explicit SetGenerator(std::uint64_t state) : state_(state) {}
    std::uint64_t next()
    {
        state_ += 0x9E3779B97F4A7C15ULL;
        return mix(state_);
    }
    // The output function without the step.
    static std::uint64_t mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A uniform real in [0, 1) from the next 53 bits.
    double nextUnit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

// Starting state of set t (1-based) of n pairs.
std::uint64_t setStartState(std::uint64_t seed, int n, int t);

// Set t of n pairs of 0/1 values, each 1 with probability p.
PatternPairs randomSet(std::uint64_t seed, int n, int t, double p);

} // namespace duolink::analysis
