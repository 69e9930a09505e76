// SPDX-License-Identifier: GPL-3.0-or-later
// The quiet whole-pair test of a presentation's pairs in one pass: what
// testWholePair does for each pair, without looking up again at every pair
// what the run has already found.
#include <cmath>
#include <span>

#include "core/engine/state.h"
#include "core/engine/widerows.h"

namespace duolink {

namespace {

// Whether the first `count` pairs were all found whole, with no B value of
// negative zero: the pass makes each error from B in another order, which
// could give the other sign to a zero error there.
bool wholeWithoutNegativeZeros(const WholePairMemo& memo, int count)
{
    for (int m = 0; m < count; ++m)
        if (memo.pairs[static_cast<size_t>(m)].kind != WholePairMemo::Pair::Whole)
            return false;
    for (const double b : memo.bValues)
        if (b == 0 && std::signbit(b))
            return false;
    return true;
}

// How many rows two pairs share; their rows are in ascending order.
int sharedRows(std::span<const int> before, std::span<const int> rows)
{
    int shared = 0;
    for (auto b = before.begin(), r = rows.begin(); b != before.end() && r != rows.end();) {
        if (*b < *r) {
            ++b;
        } else if (*r < *b) {
            ++r;
        } else {
            ++shared;
            ++b;
            ++r;
        }
    }
    return shared;
}

} // namespace

bool EngineState::allPairsInOnePass(int count)
{
    WholePairMemo& memo = wholePairs_;
    if (memo.onePass >= 0)
        return memo.onePass > 0;
    // What testWholePair finds at its first whole pair.
    if (memo.wide < 0 || memo.missFrom < 0)
        return false;
    const int n = bLen;
    memo.onePass = 0;
    const bool fours = n == 4 || n == 8 || n == 12 || n == 16;
    if (!memo.deferR2 || memo.wide == 0 || transferFunction == kTrainingTransfer || !fours || count < 1 ||
        memo.pairs.size() < static_cast<size_t>(count) || !wholeWithoutNegativeZeros(memo, count))
        return false;
    // The rows each pair shares with the one before it.
    memo.shared.assign(static_cast<size_t>(count), 0);
    for (int m = 2; m <= count; ++m)
        memo.shared[static_cast<size_t>(m) - 1] = sharedRows(memo.rowsOf(memo.pairs[static_cast<size_t>(m) - 2]),
                                                             memo.rowsOf(memo.pairs[static_cast<size_t>(m) - 1]));
    memo.onePass = 1;
    return true;
}

int EngineState::testWholePairs(int first, int last, int& missed, int& at)
{
    WholePairMemo& memo = wholePairs_;
    const int n = bLen;
    const int pairs = last - first + 1;
    // Halves add to the bit error total exactly while it stays below 2^50.
    if (pairs < 1 || !allPairsInOnePass(last) || !(berTotal >= 0 && berTotal + 0.5 * n * pairs < 0x1p50))
        return first;
    memo.completedIsLast = false;
    // Weights past the bound take the steps for large weights.
    if (!(memo.bound >= 0 && memo.bound < 0x1p31))
        return memo.bound < 0 ? first : testLargeWholePairs(first, last, missed, at);
    WholePairMemo::FitSteps& steps = memo.pending;
    steps.makeRoom(static_cast<size_t>(pairs), static_cast<size_t>(pairs) * static_cast<size_t>(n));
    // The bound in a register while the pairs do not need it elsewhere.
    double bound = memo.bound;
    int m = first;
    while (m <= last) {
        widerows::PairRun run{wMatrix.data(),
                              memo.pairs.data() + (m - 1),
                              memo.rows.data(),
                              memo.shared.data() + (m - 1),
                              memo.bValues.data(),
                              last - m + 1,
                              n,
                              memo.missFrom,
                              beta,
                              unity,
                              m,
                              &calcVector[1],
                              steps.pairs.data() + steps.count,
                              steps.errors.data() + steps.errorCount};
        const widerows::RunResult result = widerows::testPairs(run, bound);
        // The total stays below 2^50, where halves add exactly in any order.
        berTotal += result.bitErrors * 0.5;
        missed += result.missed;
        steps.count += static_cast<size_t>(result.tested);
        steps.errorCount += result.errorValues;
        m += result.tested;
        if (!result.unsettled)
            break;
        // The pair just tested, corrected the one-value way.
        at = m - 1;
        memo.bound = bound;
        correctUnityRows(memo.rowsOf(memo.pairs[static_cast<size_t>(at) - 1]), n, true);
        bound = memo.bound;
    }
    memo.bound = bound;
    return m;
}

} // namespace duolink
