// SPDX-License-Identifier: GPL-3.0-or-later
// The quiet whole-pair test once the weights have grown past 2^31, as they
// do in training that diverges: the steps of largerows.h, which give the
// general test's results, and any failure it raises, for pairs of 0/unity
// patterns on whole weights.
#include <cmath>
#include <span>

#include "core/engine/largerows.h"
#include "core/engine/state.h"
#include "core/engine/widerows.h"

namespace duolink {

namespace {
// Whether the first `cells` weights are whole numbers (of any magnitude),
// none of them negative zero: the rounded corrections keep them so.
bool wholeWeights(const Matrix& w, int cells)
{
    for (int c = 1; c <= cells; ++c)
        if (!std::isfinite(w[c]) || std::trunc(w[c]) != w[c] || (w[c] == 0 && std::signbit(w[c])))
            return false;
    return true;
}

// A beta whose products with whole errors neither underflow nor overflow.
bool plainBeta(double beta)
{
    const double m = std::fabs(beta);
    return m == 0 || (m >= 0x1p-900 && m <= 0x1p900);
}
} // namespace

bool EngineState::largeWholePairQualifies(int pair, int n)
{
    WholePairMemo& memo = wholePairs_;
    if (pair < 1 || options_.referenceArithmetic || options_.portableOnly || !memo.isWhole(pair) ||
        memo.bound < 0x1p31 || transferFunction == kTrainingTransfer || !(memo.missFrom >= 0 && memo.missFrom < 0x1p53))
        return false;
    if (memo.large < 0)
        memo.large = widerows::available() && largerows::largeStepsFit(unity) && plainBeta(beta) &&
                     n <= kVectorSize && wholeWeights(wMatrix, aLen * n);
    return memo.large > 0;
}

bool EngineState::testLargeWholePair(int pair, const Vector& b, int n, bool& ok)
{
    return largeWholePairQualifies(pair, n) && largeWholePairStep(pair, &b, n, ok);
}

int EngineState::testLargeWholePairs(int first, int last, int& missed, int& at)
{
    const int n = bLen;
    int m = first;
    for (; m <= last && largeWholePairQualifies(m, n); ++m) {
        at = m;
        bool ok = false;
        if (!largeWholePairStep(m, nullptr, n, ok))
            break;
        missed += !ok;
    }
    return m;
}

bool EngineState::largeWholePairStep(int pair, const Vector* b, int n, bool& ok)
{
    WholePairMemo& memo = wholePairs_;
    const WholePairMemo::Pair& kept = memo.pairs[static_cast<size_t>(pair) - 1];
    const std::span<const int> rows = memo.rowsOf(kept);
    const int rowCount = static_cast<int>(rows.size());
    // Where R2 waits, nothing between the errors and the correction can
    // fail, and the pair goes in one step.
    if (memo.deferR2) {
        WholePairMemo::FitSteps& steps = memo.pending;
        steps.makeRoom(1, static_cast<size_t>(n));
        const largerows::PairTest test = largerows::testPair(wMatrix.data(), rows.data(), rowCount, memo.bOf(kept), n,
                                                             memo.missFrom, beta, &calcVector[1],
                                                             steps.errors.data() + steps.errorCount);
        if (test.step != largerows::PairStep::Other) {
            addBitErrors(test.misses);
            ok = test.misses == 0;
            steps.pairs[steps.count++] = ok ? 0 : pair;
            steps.errorCount += ok ? 0 : static_cast<size_t>(n);
            if (test.step == largerows::PairStep::Unsettled)
                correctLargeRows(rows, n);
            return true;
        }
    }
    if (largerows::sumRows(wMatrix.data(), rows.data(), rowCount, n, &calcVector[1]) != largerows::RowSums::Made)
        return false;
    ok = scoreWholeSums(kept, pair, b, n);
    if (ok || rows.empty())
        return true;
    correctLargeRows(rows, n);
    return true;
}

void EngineState::correctLargeRows(std::span<const int> rows, int n)
{
    // Every cell of the rows of unity is below 2^63, and so is every
    // correction: each extended sum is exact, and its store the double sum.
    double correction[kVectorSize];
    largerows::corrections(&calcVector[1], n, unity, beta, correction);
    widerows::addToRows(wMatrix.data(), rows.data(), static_cast<int>(rows.size()), correction, n);
}

} // namespace duolink
