// SPDX-License-Identifier: GPL-3.0-or-later
// The R2 sum of quiet runs whose R2 only the last presentation shows: the
// steps of each pair kept, and summed when the sum is shown.
#include <algorithm>
#include <utility>

#include "core/engine/state.h"

namespace duolink {

// The steps are the general ones, in their order; none of them can fail,
// since every value in them is a whole number below 2^46 or a fit term of
// such numbers.
double EngineState::sumOfFitSteps(const WholePairMemo::FitSteps& steps, double sum) noexcept
{
    Vector e{}, b{};
    const int n = bLen;
    size_t next = 0;
    for (size_t step = 0; step < steps.count; ++step) {
        const int pair = steps.pairs[step];
        if (pair == 0) {
            sum = storeDouble(static_cast<long double>(sum) + 1.0L);
            continue;
        }
        std::copy_n(&steps.errors[next], n, &e[1]);
        next += static_cast<size_t>(n);
        std::copy_n(wholePairs_.bOf(wholePairs_.pairs[static_cast<size_t>(pair) - 1]), n, &b[1]);
        sum = storeDouble(sum + fitTerm(e, b, n));
    }
    return sum;
}

void EngineState::settleR2()
{
    WholePairMemo& memo = wholePairs_;
    memo.completedIsLast = false;
    if (memo.pending.empty())
        return;
    r2Sum = sumOfFitSteps(memo.pending, r2Sum);
    memo.pending.clear();
}

void EngineState::presentationR2Waits()
{
    WholePairMemo& memo = wholePairs_;
    std::swap(memo.completed, memo.pending);
    memo.completed.base = r2Sum;
    memo.pending.clear();
    memo.hasCompleted = true;
    memo.completedIsLast = true;
}

void EngineState::settleWaitingR2() noexcept
{
    WholePairMemo& memo = wholePairs_;
    if (!memo.deferR2)
        return;
    memo.deferR2 = false;
    // The R2 the last completed presentation showed; and the sum as far as
    // the run got, which is that presentation's when no other has begun.
    if (memo.hasCompleted) {
        const double last = sumOfFitSteps(memo.completed, memo.completed.base);
        finalR2 = dataPatternCount > 0 ? static_cast<long double>(last) / dataPatternCount : 0.0L;
        if (memo.completedIsLast) {
            r2Sum = last;
            return;
        }
    }
    settleR2();
}

} // namespace duolink
