// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SplitMix64: the seeded generator of every random set the analyses make.
// Small, fast and fully specified by the few lines below, so that a seed
// gives the same numbers on any machine, compiler and thread count.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>

namespace duolink {

class SplitMix64 {
public:
    explicit constexpr SplitMix64(std::uint64_t seed) : state_(seed) {}

    // The next 64 random bits.
    constexpr std::uint64_t next()
    {
        state_ += kGamma;
        return mix(state_);
    }

    // A uniform value in [0, 1): the top 53 bits times 2^-53.
    constexpr double nextUnit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // A uniform value in (0, 1]: the top 53 bits plus one, times 2^-53.
    constexpr double nextOpenClosed() { return static_cast<double>((next() >> 11) + 1) * 0x1.0p-53; }

    // Two independent standard normal values by Box-Muller from two uniform
    // values u1, u2 in (0, 1]: r = sqrt(-2 ln u1), then r cos(2 pi u2) and
    // r sin(2 pi u2).
    std::pair<double, double> nextNormalPair()
    {
        const double u1 = nextOpenClosed();
        const double u2 = nextOpenClosed();
        const double r = std::sqrt(-2.0 * std::log(u1));
        const double angle = 2.0 * std::numbers::pi * u2;
        return {r * std::cos(angle), r * std::sin(angle)};
    }

    // The output function: a bijective mix of 64 bits.
    static constexpr std::uint64_t mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // The start of the stream for one piece of work, named by the user's seed
    // and up to three indexes: each index in turn is added to the state,
    // which is then mixed.
    static constexpr std::uint64_t streamSeed(std::uint64_t seed, std::uint64_t i, std::uint64_t j = 0,
                                              std::uint64_t k = 0)
    {
        std::uint64_t s = mix(seed + kGamma);
        s = mix(s + i + kGamma);
        s = mix(s + j + kGamma);
        return mix(s + k + kGamma);
    }

    static constexpr std::uint64_t kGamma = 0x9e3779b97f4a7c15ULL;

private:
    std::uint64_t state_;
};

} // namespace duolink
