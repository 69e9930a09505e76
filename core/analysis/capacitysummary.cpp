// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/capacitysummary.h"

#include <algorithm>
#include <cmath>

#include "core/support/numgrammar.h"

namespace duolink::analysis {

namespace {

std::string shortest(double v)
{
    std::string out;
    appendShortest(out, v);
    return out;
}

} // namespace

ShareInterval wilsonInterval(long long hits, long long trials)
{
    if (trials <= 0)
        return {0, 1};
    constexpr double z = 1.959963984540054; // the 97.5th percentile of the normal
    const double n = static_cast<double>(trials);
    const double p = static_cast<double>(hits) / n;
    const double z2n = z * z / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = z / (1 + z2n) * std::sqrt(p * (1 - p) / n + z2n / (4 * n));
    // At p = 0 or 1 the interval ends there exactly.
    return {hits == 0 ? 0.0 : std::max(0.0, centre - half), hits == trials ? 1.0 : std::min(1.0, centre + half)};
}

double largestSquaredLength(const PatternPairs& pairs, int aLen)
{
    const int last = std::clamp(aLen, 0, static_cast<int>(TPatternVector().size()) - 1);
    double most = 0;
    for (const PatternPair& p : pairs) {
        double sum = 0;
        for (int i = 1; i <= last; ++i)
            sum += p.a[static_cast<size_t>(i)] * p.a[static_cast<size_t>(i)];
        most = std::max(most, sum);
    }
    return most;
}

double largestSquaredLength(const ShapedPairs& pairs, int aLen)
{
    double most = 0;
    for (const std::vector<double>& a : pairs.a) {
        double sum = 0;
        for (size_t i = 0; i < a.size() && static_cast<int>(i) < aLen; ++i)
            sum += a[i] * a[i];
        most = std::max(most, sum);
    }
    return most;
}

double CapacitySize::meanShare() const
{
    const long long pairs = sets * n;
    return pairs ? static_cast<double>(recalledPairs) / static_cast<double>(pairs) : 0;
}

double CapacitySize::meanPresentations() const
{
    return sets ? static_cast<double>(presentationsSum) / static_cast<double>(sets) : 0;
}

CapacityRunSummary::CapacityRunSummary(int maxPairs) : sizes_(static_cast<size_t>(std::max(0, maxPairs)))
{
    for (size_t k = 0; k < sizes_.size(); ++k)
        sizes_[k].n = static_cast<int>(k) + 1;
}

void CapacityRunSummary::add(const CapacityRow& row)
{
    if (row.n < 1 || static_cast<size_t>(row.n) > sizes_.size())
        return;
    CapacitySize& s = sizes_[static_cast<size_t>(row.n) - 1];
    const int recalled = row.result.recall.recalled;
    s.fewestRecalled = s.sets ? std::min(s.fewestRecalled, recalled) : recalled;
    s.mostRecalled = s.sets ? std::max(s.mostRecalled, recalled) : recalled;
    ++s.sets;
    ++s.outcomes[static_cast<size_t>(row.result.outcome)];
    s.recalledPairs += recalled;
    s.presentationsSum += row.result.presentations;
    largestSquaredLength_ = std::max(largestSquaredLength_, row.largestSquaredLength);
}

long long CapacityRunSummary::trainings() const
{
    long long total = 0;
    for (const CapacitySize& s : sizes_)
        total += s.sets;
    return total;
}

long long CapacityRunSummary::count(Outcome o) const
{
    long long total = 0;
    for (const CapacitySize& s : sizes_)
        total += s.count(o);
    return total;
}

double CapacityRunSummary::convergentBeta() const
{
    return largestSquaredLength_ > 0 ? 2 / largestSquaredLength_ : 0;
}

std::string CapacityRunSummary::divergenceNote(double beta) const
{
    if (!mostlyDiverged())
        return {};
    std::string note = std::to_string(count(Outcome::Error)) + " of " + std::to_string(trainings()) +
                       " trainings diverged (error). Training converges only while BETA \u00d7 |a|\u00b2 < 2 for "
                       "every A pattern; the largest |a|\u00b2 here is " +
                       shortest(largestSquaredLength_) + ", so BETA " + shortest(beta) + " is too large";
    if (largestSquaredLength_ > 0)
        note += ": below " + shortest(convergentBeta()) + " all would converge";
    return note + '.';
}

const char* CapacityRunSummary::csvHeader()
{
    return "n,sets,mean_recalled_share,min_recalled_share,max_recalled_share,mean_presentations,"
           "recalled,limit,error,terminated,share_low95,share_high95";
}

std::string CapacityRunSummary::csvLines() const
{
    std::string out;
    for (const CapacitySize& s : sizes_) {
        if (s.sets == 0)
            continue;
        out += std::to_string(s.n) + ',' + std::to_string(s.sets);
        for (double value : {s.meanShare(), s.shareMin(), s.shareMax(), s.meanPresentations()})
            appendShortest(out += ',', value);
        for (Outcome o : {Outcome::Recalled, Outcome::Limit, Outcome::Error, Outcome::Terminated})
            out += ',' + std::to_string(s.count(o));
        const ShareInterval band = s.shareInterval();
        appendShortest(out += ',', band.low);
        appendShortest(out += ',', band.high);
        out += '\n';
    }
    return out;
}

} // namespace duolink::analysis
