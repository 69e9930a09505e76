// The quiet whole-pair test of a presentation's pairs in one pass: what
// testWholePair does for each pair, without looking up again at every pair
// what the run has already found.
#include <cstring>

#include "core/engine/state.h"
#include "core/engine/widerows.h"

namespace duolink {

namespace {
constexpr double kWholeLimit = 0x1p31;
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
    if (!memo.deferR2 || memo.wide == 0 || transferFunction == 1 || (n != 4 && n != 8 && n != 12 && n != 16) ||
        count < 1 || memo.pairs.size() < static_cast<size_t>(count))
        return false;
    for (int m = 0; m < count; ++m)
        if (memo.pairs[static_cast<size_t>(m)].kind != WholePairMemo::Pair::Whole)
            return false;
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
    WholePairMemo::FitSteps& steps = memo.pending;
    steps.makeRoom(static_cast<size_t>(pairs), static_cast<size_t>(pairs) * static_cast<size_t>(n));
    double* const w = wMatrix.data();
    double* const calc = &calcVector[1];
    // The bound in a register while the pairs do not need it elsewhere.
    double bound = memo.bound;
    int m = first;
    for (; m <= last; ++m) {
        if (!(bound >= 0 && bound < kWholeLimit))
            break;
        const WholePairMemo::Pair& pair = memo.pairs[static_cast<size_t>(m) - 1];
        const int rows = pair.rowCount;
        bool corrected = false;
        double largest = 0;
        const int bec = widerows::testPair(w, memo.rows.data() + pair.rowsAt, rows, memo.bOf(pair), n, memo.missFrom,
                                           beta, calc, corrected, largest);
        berTotal += bec * 0.5;
        if (bec == 0) {
            steps.pairs[steps.count++] = 0;
            continue;
        }
        ++missed;
        steps.pairs[steps.count++] = m;
        double* const errors = &steps.errors[steps.errorCount];
        if (n == 8) // the common length, copied without a library call
            std::memcpy(errors, calc, 8 * sizeof(double));
        else
            std::memcpy(errors, calc, sizeof(double) * static_cast<size_t>(n));
        steps.errorCount += static_cast<size_t>(n);
        if (rows == 0)
            continue;
        if (corrected) {
            bound += largest;
            continue;
        }
        at = m;
        memo.bound = bound;
        correctUnityRows(memo.rowsOf(pair), n, true);
        bound = memo.bound;
    }
    memo.bound = bound;
    return m;
}

} // namespace duolink
