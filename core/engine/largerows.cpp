// SPDX-License-Identifier: GPL-3.0-or-later
// Built for every x86-64 processor: the steps are marked for AVX2 and FMA
// and are called only after widerows::available() has said they may run.
// Compiled without contracting products and sums into fused ones.
#include "core/engine/largerows.h"

#include <immintrin.h>

#include <bit>
#include <cmath>

#include "core/engine/wholepairs.h"

#define DUOLINK_WIDE __attribute__((target("avx2,fma")))

namespace duolink::largerows {

namespace {
constexpr double kRoundLimit = 0x1p63;

DUOLINK_WIDE inline __m256d magnitude(__m256d v)
{
    return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
}

// The lanes of v whose magnitude is not below 2^63 (NaN included).
DUOLINK_WIDE inline __m256d beyond(__m256d v)
{
    return _mm256_cmp_pd(magnitude(v), _mm256_set1_pd(kRoundLimit), _CMP_NLT_UQ);
}

// The lanes of v outside [-2^63, 2^63), where a rounding fails.
DUOLINK_WIDE inline __m256d outside(__m256d v)
{
    const __m256d below = _mm256_cmp_pd(v, _mm256_set1_pd(kRoundLimit), _CMP_LT_OQ);
    const __m256d from = _mm256_cmp_pd(v, _mm256_set1_pd(-kRoundLimit), _CMP_GE_OQ);
    return _mm256_xor_pd(_mm256_and_pd(below, from), _mm256_castsi256_pd(_mm256_set1_epi64x(-1)));
}

// Four columns from `at` on: the running sums, with the lanes where a cell
// was 2^63 or more in `big` and those where a running sum left the range
// in `out`.
DUOLINK_WIDE inline __m256d sumFour(const double* w, const int* rows, int rowCount, int at, __m256d& big, __m256d& out)
{
    __m256d s = _mm256_setzero_pd();
    for (int k = 0; k < rowCount; ++k) {
        const __m256d cell = _mm256_loadu_pd(w + rows[k] + at);
        s = _mm256_add_pd(s, cell);
        big = _mm256_or_pd(big, beyond(cell));
        out = _mm256_or_pd(out, outside(s));
    }
    return _mm256_add_pd(s, _mm256_setzero_pd()); // never negative zero
}
} // namespace

bool largeStepsFit(int unity) noexcept
{
    if (unity <= 0)
        return false;
    const unsigned u = static_cast<unsigned>(unity);
    return (u >> std::countr_zero(u)) < 2048;
}

DUOLINK_WIDE RowSums sumRows(const double* w, const int* rows, int rowCount, int n, double* out) noexcept
{
    double sums[256];
    __m256d big = _mm256_setzero_pd(), leaves = _mm256_setzero_pd();
    int j = 0;
    for (; j + 4 <= n; j += 4)
        _mm256_storeu_pd(sums + j, sumFour(w, rows, rowCount, j, big, leaves));
    bool bigCell = _mm256_movemask_pd(big) != 0;
    bool left = _mm256_movemask_pd(leaves) != 0;
    for (; j < n; ++j) {
        double s = 0;
        for (int k = 0; k < rowCount; ++k) {
            const double cell = w[rows[k] + j];
            s += cell;
            bigCell = bigCell || !(std::fabs(cell) < kRoundLimit);
            left = left || !(s < kRoundLimit && s >= -kRoundLimit);
        }
        sums[j] = s + 0.0;
    }
    if (bigCell)
        return RowSums::Unknown;
    if (left)
        return RowSums::Fails;
    for (j = 0; j + 4 <= n; j += 4)
        _mm256_storeu_pd(out + j, _mm256_loadu_pd(sums + j));
    for (; j < n; ++j)
        out[j] = sums[j];
    return RowSums::Made;
}

namespace {
// The corrections of four errors x, and in `settled` a bit for each lane
// whose value is certain.
//
// With y = x * beta made in a double and r = x * beta - y exactly (a fused
// multiply-add), the general correction stores the extended value
// T = ((unity * x) * beta) / unity, which lies within 2^-62.9 |y| of
// x * beta (unity * x is exact; the product and the quotient round once
// each). T is stored as y itself unless a boundary between doubles, half an
// ulp of y from it, lies within that distance of x * beta: so where
// ||r| - ulp(y) / 2| exceeds 2^-61 |y|, or r is 0, the stored value is y
// and the correction is y rounded to the nearest, ties to even. A power of
// two has a nearer boundary below it and is left to the extended way, as
// is anything whose rounding would fail (2^63 and beyond).
DUOLINK_WIDE inline __m256d correctFour(__m256d x, __m256d beta, int& settled)
{
    const __m256d y = _mm256_mul_pd(x, beta);
    const __m256d r = _mm256_fmsub_pd(x, beta, y);
    const __m256d m = magnitude(y);
    const __m256d exponent = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7ff0000000000000));
    const __m256i fraction = _mm256_set1_epi64x(0x000fffffffffffff);
    const __m256d halfUlp = _mm256_mul_pd(_mm256_and_pd(m, exponent), _mm256_set1_pd(0x1p-53));
    const __m256d slack = _mm256_mul_pd(m, _mm256_set1_pd(0x1p-61));
    const __m256d distance = magnitude(_mm256_sub_pd(magnitude(r), halfUlp));
    const __m256i power = _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(y), fraction), _mm256_setzero_si256());
    const __m256d clear = _mm256_andnot_pd(_mm256_castsi256_pd(power), _mm256_cmp_pd(distance, slack, _CMP_GT_OQ));
    const __m256d exact = _mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d inRange = _mm256_cmp_pd(m, _mm256_set1_pd(kRoundLimit), _CMP_LT_OQ);
    settled = _mm256_movemask_pd(_mm256_and_pd(inRange, _mm256_or_pd(exact, clear)));
    const __m256d nearest = _mm256_round_pd(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    return _mm256_add_pd(nearest, _mm256_setzero_pd()); // never negative zero
}
} // namespace

namespace {
// testPair for 4 * C B values, in registers.
template <int C>
DUOLINK_WIDE PairTest testFour(double* w, const int* rows, int rowCount, const double* b, double missFrom,
                               double beta, double* calc, double* errors)
{
    PairTest result;
    __m256d sum[C], e[C], correction[C];
    __m256d big = _mm256_setzero_pd(), leaves = _mm256_setzero_pd();
    for (int c = 0; c < C; ++c)
        sum[c] = sumFour(w, rows, rowCount, 4 * c, big, leaves);
    if (_mm256_movemask_pd(_mm256_or_pd(big, leaves)) != 0)
        return result;
    const __m256d from = _mm256_set1_pd(missFrom);
    int misses = 0;
    for (int c = 0; c < C; ++c) {
        e[c] = _mm256_sub_pd(_mm256_loadu_pd(b + 4 * c), sum[c]);
        misses += __builtin_popcount(static_cast<unsigned>(
            _mm256_movemask_pd(_mm256_cmp_pd(magnitude(e[c]), from, _CMP_GE_OQ))));
    }
    result.misses = misses;
    result.step = PairStep::Tested;
    for (int c = 0; c < C; ++c)
        _mm256_storeu_pd(calc + 4 * c, misses ? e[c] : sum[c]);
    if (misses == 0)
        return result;
    for (int c = 0; c < C; ++c)
        _mm256_storeu_pd(errors + 4 * c, e[c]);
    if (rowCount == 0)
        return result;
    const __m256d vb = _mm256_set1_pd(beta);
    int settled = 0xF;
    for (int c = 0; c < C; ++c) {
        int four;
        correction[c] = correctFour(e[c], vb, four);
        settled &= four;
    }
    if (settled != 0xF) {
        result.step = PairStep::Unsettled;
        return result;
    }
    // Cells below 2^63 and corrections below 2^63: exact extended sums.
    for (int k = 0; k < rowCount; ++k) {
        double* row = w + rows[k];
        for (int c = 0; c < C; ++c)
            _mm256_storeu_pd(row + 4 * c, _mm256_add_pd(_mm256_loadu_pd(row + 4 * c), correction[c]));
    }
    return result;
}
} // namespace

DUOLINK_WIDE PairTest testPair(double* w, const int* rows, int rowCount, const double* b, int n, double missFrom,
                               double beta, double* calc, double* errors)
{
    switch (n) {
    case 4: return testFour<1>(w, rows, rowCount, b, missFrom, beta, calc, errors);
    case 8: return testFour<2>(w, rows, rowCount, b, missFrom, beta, calc, errors);
    case 12: return testFour<3>(w, rows, rowCount, b, missFrom, beta, calc, errors);
    case 16: return testFour<4>(w, rows, rowCount, b, missFrom, beta, calc, errors);
    default: return {};
    }
}

DUOLINK_WIDE void corrections(const double* e, int n, int unity, double beta, double* out)
{
    const __m256d b = _mm256_set1_pd(beta);
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        int settled;
        _mm256_storeu_pd(out + j, correctFour(_mm256_loadu_pd(e + j), b, settled));
        if (settled != 0xF)
            for (int k = 0; k < 4; ++k)
                if (!(settled & (1 << k)))
                    out[j + k] = extendedUnityRowCorrection(e[j + k], unity, beta);
    }
    for (; j < n; ++j)
        out[j] = extendedUnityRowCorrection(e[j], unity, beta);
}

} // namespace duolink::largerows
