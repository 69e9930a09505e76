// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-n summary of a capacity run: how each training ended, the share of
// pairs recalled with its 95 % Wilson interval, and the presentations used.
// Bounded by the largest set, however many sets are trained.
#include <array>
#include <string>
#include <vector>

#include "core/analysis/records.h"
#include "core/patterns/shapedlist.h"

namespace duolink::analysis {

struct ShareInterval {
    double low = 0;
    double high = 0;
};
// The 95 % Wilson score interval of `hits` in `trials` (0..1 when none).
ShareInterval wilsonInterval(long long hits, long long trials);

// The largest |a|^2 = a1^2 + ... + aLen^2 over the A patterns of `pairs`,
// in the values as read; `aLen` is cut to the pattern's length.
double largestSquaredLength(const PatternPairs& pairs, int aLen);
double largestSquaredLength(const ShapedPairs& pairs, int aLen);

struct CapacitySize {
    int n = 0;
    long long sets = 0;
    std::array<long long, 4> outcomes{}; // by Outcome
    long long recalledPairs = 0;         // over all sets of this size
    int fewestRecalled = 0;              // of one set
    int mostRecalled = 0;
    long long presentationsSum = 0;

    long long count(Outcome o) const { return outcomes[static_cast<size_t>(o)]; }
    // The share of the n * sets pairs recalled: one division of integers.
    double meanShare() const;
    double shareMin() const { return n ? static_cast<double>(fewestRecalled) / n : 0; }
    double shareMax() const { return n ? static_cast<double>(mostRecalled) / n : 0; }
    ShareInterval shareInterval() const { return wilsonInterval(recalledPairs, sets * n); }
    double meanPresentations() const;
};

class CapacityRunSummary {
public:
    explicit CapacityRunSummary(int maxPairs = 0);
    void add(const CapacityRow& row);

    // Sizes 1 .. maxPairs; one with no sets yet has sets == 0.
    const std::vector<CapacitySize>& sizes() const { return sizes_; }
    long long trainings() const;
    long long count(Outcome o) const;
    double largestSquaredLength() const { return largestSquaredLength_; }
    // More than a tenth of the trainings diverged (ended in error).
    bool mostlyDiverged() const { return count(Outcome::Error) * 10 > trainings(); }
    // The BETA below which every A pattern seen converges: 2 / largest |a|^2.
    double convergentBeta() const;
    // Says how many diverged and why, with BETA as the run read it; empty
    // when no more than a tenth did.
    std::string divergenceNote(double beta) const;

    // Forgets the sizes that did not get all `expected(n)` of their sets (a
    // stopped run), so that a summary never shows a partial size as whole.
    template <class Expected>
    void keepWholeSizes(Expected expected)
    {
        for (CapacitySize& s : sizes_)
            if (s.sets != expected(s.n))
                s = CapacitySize{s.n};
    }

    // The runner's summary: a header and a line per size with sets.
    static const char* csvHeader();
    std::string csvLines() const;

private:
    std::vector<CapacitySize> sizes_;
    double largestSquaredLength_ = 0;
};

} // namespace duolink::analysis
