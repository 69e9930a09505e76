// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pair test of quiet runs on 0/unity patterns with whole weights
// (EngineState::testWholePair, wholepairs.cpp), and what it keeps from pair
// to pair within one run.

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace duolink {

struct WholePairMemo {
    // A bound on the magnitude of the weights; negative when not known.
    double bound = -1;
    // The smallest difference from B that misses; negative when not known.
    double missFrom = -1;
    // Whether the steps run four values at a time; negative when not known.
    int wide = -1;
    // Whether the steps for weights past 2^31 (largepairs.cpp) may run: the
    // weights are whole and the parameters fit them; negative when not known.
    int large = -1;
    // Each pair of the run by its number from 1 on, as the first test of it
    // found it: whether it qualifies, and for a whole pair the first cells of
    // its rows of unity and its B values, kept in `rows` and `bValues` pair
    // after pair. A run presents the same pairs every time.
    struct Pair {
        enum { Unknown, Whole, General } kind = Unknown;
        int rowsAt = 0;
        int rowCount = 0;
        size_t bAt = 0;
    };
    std::vector<Pair> pairs;
    // Per pair, once the run is known to take them in one pass: how many
    // rows of unity it shares with the pair before it (0 for the first).
    std::vector<int> shared;
    std::vector<int> rows;
    std::vector<double> bValues;
    std::span<const int> rowsOf(const Pair& pair) const
    {
        return {rows.data() + pair.rowsAt, static_cast<size_t>(pair.rowCount)};
    }
    const double* bOf(const Pair& pair) const { return bValues.data() + pair.bAt; }
    bool isWhole(int pair) const
    {
        return pair >= 1 && static_cast<size_t>(pair) <= pairs.size() && pairs[static_cast<size_t>(pair) - 1].kind == Pair::Whole;
    }

    // Whether the R2 sum may wait: quiet runs whose R2 only the last
    // presentation shows. The sum's steps of this presentation wait in
    // `pending`; those of the last one completed, with the sum made before
    // them, in `completed`.
    // The stores only grow: the steps are the first `count` pairs and the
    // first `errorCount` errors.
    struct FitSteps {
        double base = 0;        // the sum before the first step
        std::vector<int> pairs; // per step: a missed pair's number, or 0 for a recalled one
        std::vector<double> errors; // the error values of the missed pairs, B Len each
        size_t count = 0;
        size_t errorCount = 0;
        bool empty() const { return count == 0; }
        void clear()
        {
            count = 0;
            errorCount = 0;
        }
        // Room for `steps` more steps with `values` more errors.
        void makeRoom(size_t steps, size_t values)
        {
            if (count + steps > pairs.size())
                pairs.resize(2 * (count + steps));
            if (errorCount + values > errors.size())
                errors.resize(2 * (errorCount + values));
        }
        // A step of pair `pair` (0: recalled) with the n errors from `e`.
        void add(int pair, const double* e, int n)
        {
            if (count == pairs.size())
                pairs.resize(2 * count + 16);
            pairs[count++] = pair;
            if (pair == 0)
                return;
            if (errorCount + static_cast<size_t>(n) > errors.size())
                errors.resize(2 * errors.size() + static_cast<size_t>(n) * 16);
            double* out = errors.data() + errorCount;
            for (int j = 0; j < n; ++j)
                out[j] = e[j];
            errorCount += static_cast<size_t>(n);
        }
    };
    // Whether the run's pairs can be tested one after another in one pass
    // (EngineState::testWholePairs); negative while not yet known.
    int onePass = -1;

    bool deferR2 = false;
    FitSteps pending;
    FitSteps completed;
    bool hasCompleted = false;
    bool completedIsLast = false; // no pair test since `completed` was made
};

// The change the pair test's correction makes to a weight whose A value is
// unity, for the error value e: Round(((unity * e) * beta) / unity) made in
// extended precision and stored to a double, as the general correction
// makes it; e is a whole number of magnitude below 2^53.
inline double unityRowCorrection(double e, int unity, double beta);
// The same when e * beta, made in a double as y, lies near a half.
double nearHalfCorrection(double e, int unity, double beta, double y);
// The same, always in extended precision.
double extendedUnityRowCorrection(double e, int unity, double beta);

inline double unityRowCorrection(double e, int unity, double beta)
{
    // The extended value is within 2^-62 of e * beta relatively, and y
    // within 2^-53. Unless e * beta lies within 2^-48 of a half
    // (relatively), both round to the same whole number, and y's is taken.
    const double y = e * beta;
    if (std::fabs(y) < 0x1p40) {
        const double r = (y + 0x1.8p52) - 0x1.8p52; // y to the nearest, ties to even
        if (std::fabs(std::fabs(y - r) - 0.5) > 0x1p-48 * std::fabs(y))
            return r + 0.0; // never negative zero
    }
    return nearHalfCorrection(e, unity, beta, y);
}

} // namespace duolink
