// SPDX-License-Identifier: GPL-3.0-or-later
// Built for every x86-64 processor: only the functions marked for AVX2 and
// FMA use them, and only after available() has said they may. The file is
// compiled without contracting products and sums into fused ones, so every
// operation below is the one written.
#include "core/engine/widerows.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "core/engine/wholepairs.h"

#define DUOLINK_WIDE __attribute__((target("avx2,fma")))

namespace duolink::widerows {

bool available() noexcept
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

namespace {
DUOLINK_WIDE inline __m256d magnitude(__m256d v)
{
    return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
}
constexpr int kBitsSet[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
} // namespace

DUOLINK_WIDE void sumRows(const double* w, const int* rows, int rowCount, int n, double* out) noexcept
{
    const __m256d zero = _mm256_setzero_pd();
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        __m256d s0 = zero, s1 = zero;
        for (int k = 0; k < rowCount; ++k) {
            const double* r = w + rows[k] + j;
            s0 = _mm256_add_pd(s0, _mm256_loadu_pd(r));
            s1 = _mm256_add_pd(s1, _mm256_loadu_pd(r + 4));
        }
        _mm256_storeu_pd(out + j, _mm256_add_pd(s0, zero));
        _mm256_storeu_pd(out + j + 4, _mm256_add_pd(s1, zero));
    }
    for (; j + 4 <= n; j += 4) {
        __m256d s = zero;
        for (int k = 0; k < rowCount; ++k)
            s = _mm256_add_pd(s, _mm256_loadu_pd(w + rows[k] + j));
        _mm256_storeu_pd(out + j, _mm256_add_pd(s, zero));
    }
    for (; j < n; ++j) {
        double s = 0;
        for (int k = 0; k < rowCount; ++k)
            s += w[rows[k] + j];
        out[j] = s + 0.0;
    }
}

DUOLINK_WIDE int countMisses(const double* b, const double* calc, int n, double missFrom) noexcept
{
    const __m256d from = _mm256_set1_pd(missFrom);
    int misses = 0;
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m256d d = magnitude(_mm256_sub_pd(_mm256_loadu_pd(b + j), _mm256_loadu_pd(calc + j)));
        misses += kBitsSet[_mm256_movemask_pd(_mm256_cmp_pd(d, from, _CMP_GE_OQ))];
    }
    for (; j < n; ++j)
        misses += std::fabs(b[j] - calc[j]) >= missFrom;
    return misses;
}

namespace {
// unityRowCorrection and nearHalfCorrection (wholepairs.cpp) on four values
// at once, with the exact error of a product from a fused multiply-add
// instead of a split. `settled` gets a bit for each value found; the others
// need the extended way.
//
// With h the half nearest y = x * beta and d = x * beta - h, made exactly
// enough, the value is settled when d shows the product past h (the whole
// number on its side) or too near to tell (then y is h itself, and h's even
// neighbour is taken). Either is y rounded to the nearest, ties to even, so
// that is the value: the checks decide only whether it holds, and the next
// pair's errors need not wait for them.
DUOLINK_WIDE inline __m256d correctFour(__m256d x, __m256d b, int& settled)
{
    const __m256d round = _mm256_set1_pd(0x1.8p52);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d wide = _mm256_set1_pd(0x1p40);
    const __m256d exponent = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7ff0000000000000));
    const __m256d y = _mm256_mul_pd(x, b);
    const __m256d m = magnitude(y);
    const __m256d h = _mm256_add_pd(_mm256_floor_pd(y), half);
    const __m256d d = _mm256_fmsub_pd(x, b, h);
    const __m256d halfUlp = _mm256_mul_pd(_mm256_and_pd(h, exponent), _mm256_set1_pd(0x1p-53));
    const __m256d slack = _mm256_mul_pd(_mm256_set1_pd(0x1p-60), magnitude(h));
    const __m256d dm = magnitude(d);
    const __m256d tie = _mm256_cmp_pd(_mm256_add_pd(dm, slack), halfUlp, _CMP_LT_OQ);
    const __m256d past = _mm256_cmp_pd(_mm256_sub_pd(dm, slack), halfUlp, _CMP_GT_OQ);
    // Past the boundary the result is the whole number on d's side, for
    // any h: y rounded where y lies away from a half. A tie needs h's ulp
    // to be the same on both sides of it, which h = +-0.5 has not.
    const __m256d small = _mm256_cmp_pd(m, wide, _CMP_LT_OQ);
    const __m256d tieFound = _mm256_and_pd(tie, _mm256_cmp_pd(m, _mm256_set1_pd(1.5), _CMP_GE_OQ));
    settled = _mm256_movemask_pd(_mm256_and_pd(small, _mm256_or_pd(past, tieFound)));
    return _mm256_sub_pd(_mm256_add_pd(y, round), round);
}

DUOLINK_WIDE inline double largestOf(__m256d v)
{
    double lanes[4];
    _mm256_storeu_pd(lanes, v);
    return std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
}

constexpr double kWholeLimit = 0x1p31;

// The steps of the test of a pair of 4 * C B values, in registers.
// sum = the sums of the rows, in their order.
template <int C>
DUOLINK_WIDE inline void sumFour(const double* w, const int* rows, int rowCount, __m256d* sum)
{
    for (int c = 0; c < C; ++c)
        sum[c] = _mm256_setzero_pd();
    for (int k = 0; k < rowCount; ++k)
        for (int c = 0; c < C; ++c)
            sum[c] = _mm256_add_pd(sum[c], _mm256_loadu_pd(w + rows[k] + 4 * c));
}

// e = b - sum; returns the misses, and leaves in calc the errors when there
// are any, else the sums.
template <int C>
DUOLINK_WIDE inline int missesOf(const double* b, double missFrom, const __m256d* sum, __m256d* e, double* calc)
{
    const __m256d from = _mm256_set1_pd(missFrom);
    int misses = 0;
    for (int c = 0; c < C; ++c) {
        e[c] = _mm256_sub_pd(_mm256_loadu_pd(b + 4 * c), sum[c]);
        misses += kBitsSet[_mm256_movemask_pd(_mm256_cmp_pd(magnitude(e[c]), from, _CMP_GE_OQ))];
    }
    for (int c = 0; c < C; ++c)
        _mm256_storeu_pd(calc + 4 * c, misses ? e[c] : sum[c]);
    return misses;
}

// The corrections of the errors e; whether every one was found and all are
// below 2^31. `largest` gets the largest magnitude.
template <int C>
DUOLINK_WIDE inline bool correctionsOf(const __m256d* e, double beta, __m256d* correction, double& largest)
{
    const __m256d vb = _mm256_set1_pd(beta);
    __m256d most = _mm256_setzero_pd();
    int settled = 0xF;
    for (int c = 0; c < C; ++c) {
        int four;
        correction[c] = correctFour(e[c], vb, four);
        settled &= four;
        most = _mm256_max_pd(most, magnitude(correction[c]));
    }
    largest = largestOf(most);
    return settled == 0xF && largest < kWholeLimit;
}

// correctionsOf with the values the four-at-a-time steps leave unsettled
// made in the extended way, as corrections() makes them, where that cannot
// fail: for products below 2^40.
template <int C>
DUOLINK_WIDE bool extendedCorrectionsOf(const __m256d* e, int unity, double beta, __m256d* correction,
                                        double& largest)
{
    const __m256d vb = _mm256_set1_pd(beta);
    double most = 0;
    for (int c = 0; c < C; ++c) {
        int settled;
        alignas(32) double lanes[4], errors[4];
        _mm256_store_pd(lanes, correctFour(e[c], vb, settled));
        _mm256_store_pd(errors, e[c]);
        for (int k = 0; k < 4; ++k) {
            if (!(settled & (1 << k))) {
                if (!(std::fabs(errors[k] * beta) < 0x1p40))
                    return false;
                lanes[k] = extendedUnityRowCorrection(errors[k], unity, beta);
            }
            most = std::max(most, std::fabs(lanes[k]));
        }
        correction[c] = _mm256_load_pd(lanes);
    }
    largest = most;
    return largest < kWholeLimit;
}

template <int C>
DUOLINK_WIDE inline void addFour(double* w, const int* rows, int rowCount, const __m256d* correction)
{
    for (int k = 0; k < rowCount; ++k) {
        double* row = w + rows[k];
        for (int c = 0; c < C; ++c)
            _mm256_storeu_pd(row + 4 * c, _mm256_add_pd(_mm256_loadu_pd(row + 4 * c), correction[c]));
    }
}

template <int C>
DUOLINK_WIDE inline int testFour(double* w, const int* rows, int rowCount, const double* b, double missFrom,
                                 double beta, double* calc, bool& corrected, double& largest)
{
    __m256d sum[C], e[C], correction[C];
    sumFour<C>(w, rows, rowCount, sum);
    for (int c = 0; c < C; ++c)
        sum[c] = _mm256_add_pd(sum[c], _mm256_setzero_pd());
    const int misses = missesOf<C>(b, missFrom, sum, e, calc);
    corrected = false;
    if (misses == 0 || rowCount == 0 || !correctionsOf<C>(e, beta, correction, largest))
        return misses;
    addFour<C>(w, rows, rowCount, correction);
    corrected = true;
    return misses;
}

// testPairs for 4 * C B values. The sums of the next pair's rows are made
// while this pair is tested, and its errors come from them and this pair's
// correction in one exact step: what lies between one correction and the
// next is short.
template <int C>
DUOLINK_WIDE RunResult testRun(const PairRun& run, double& bound)
{
    RunResult result;
    if (run.count < 1)
        return result;
    __m256d sum[C], next[C], e[C], correction[C];
    for (int c = 0; c < C; ++c)
        correction[c] = _mm256_setzero_pd();
    const WholePairMemo::Pair* pair = run.pairs;
    sumFour<C>(run.w, run.rows + pair->rowsAt, pair->rowCount, next);
    const __m256d from = _mm256_set1_pd(run.missFrom);
    double* errors = run.errors;
    for (int i = 0; i < run.count; ++i, ++pair) {
        if (!(bound >= 0 && bound < kWholeLimit))
            break;
        // With whole sums, B values and corrections below 2^31 these are
        // exact: sum = next + times * correction, e = b - sum. Neither is
        // negative zero, as no sum starts with it and no B value is one.
        const __m256d times = _mm256_set1_pd(run.shared[i]);
        const double* b = run.bValues + pair->bAt;
        int misses = 0;
        for (int c = 0; c < C; ++c) {
            sum[c] = _mm256_fmadd_pd(times, correction[c], next[c]);
            e[c] = _mm256_fnmadd_pd(times, correction[c], _mm256_sub_pd(_mm256_loadu_pd(b + 4 * c), next[c]));
            misses += kBitsSet[_mm256_movemask_pd(_mm256_cmp_pd(magnitude(e[c]), from, _CMP_GE_OQ))];
        }
        if (i + 1 < run.count)
            sumFour<C>(run.w, run.rows + pair[1].rowsAt, pair[1].rowCount, next);
        result.tested = i + 1;
        for (int c = 0; c < C; ++c)
            _mm256_storeu_pd(run.calc + 4 * c, misses ? e[c] : sum[c]);
        if (misses == 0) {
            run.steps[i] = 0;
            for (int c = 0; c < C; ++c)
                correction[c] = _mm256_setzero_pd();
            continue;
        }
        result.bitErrors += misses;
        ++result.missed;
        run.steps[i] = run.firstNumber + i;
        for (int c = 0; c < C; ++c)
            _mm256_storeu_pd(errors + 4 * c, e[c]);
        errors += 4 * C;
        double largest = 0;
        if (pair->rowCount == 0) {
            for (int c = 0; c < C; ++c)
                correction[c] = _mm256_setzero_pd();
            continue;
        }
        if (!correctionsOf<C>(e, run.beta, correction, largest) &&
            !extendedCorrectionsOf<C>(e, run.unity, run.beta, correction, largest)) {
            result.unsettled = true;
            break;
        }
        addFour<C>(run.w, run.rows + pair->rowsAt, pair->rowCount, correction);
        bound += largest;
    }
    result.errorValues = static_cast<size_t>(errors - run.errors);
    return result;
}
} // namespace

DUOLINK_WIDE int testPair(double* w, const int* rows, int rowCount, const double* b, int n, double missFrom, double beta,
             double* calc, bool& corrected, double& largest)
{
    switch (n) {
    case 4: return testFour<1>(w, rows, rowCount, b, missFrom, beta, calc, corrected, largest);
    case 8: return testFour<2>(w, rows, rowCount, b, missFrom, beta, calc, corrected, largest);
    case 12: return testFour<3>(w, rows, rowCount, b, missFrom, beta, calc, corrected, largest);
    case 16: return testFour<4>(w, rows, rowCount, b, missFrom, beta, calc, corrected, largest);
    default: return -1;
    }
}

DUOLINK_WIDE RunResult testPairs(const PairRun& run, double& bound)
{
    switch (run.n) {
    case 4: return testRun<1>(run, bound);
    case 8: return testRun<2>(run, bound);
    case 12: return testRun<3>(run, bound);
    case 16: return testRun<4>(run, bound);
    default: return {};
    }
}

DUOLINK_WIDE double corrections(const double* e, int n, int unity, double beta, double* out)
{
    const __m256d b = _mm256_set1_pd(beta);
    __m256d largest = _mm256_setzero_pd();
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        int settled;
        __m256d result = correctFour(_mm256_loadu_pd(e + j), b, settled);
        _mm256_storeu_pd(out + j, result);
        if (settled != 0xF) {
            for (int k = 0; k < 4; ++k)
                if (!(settled & (1 << k)))
                    out[j + k] = extendedUnityRowCorrection(e[j + k], unity, beta);
            result = _mm256_loadu_pd(out + j);
        }
        largest = _mm256_max_pd(largest, magnitude(result));
    }
    double most = largestOf(largest);
    for (; j < n; ++j) {
        out[j] = unityRowCorrection(e[j], unity, beta);
        most = std::max(most, std::fabs(out[j]));
    }
    return most;
}

DUOLINK_WIDE void addToRows(double* w, const int* rows, int rowCount, const double* add, int n) noexcept
{
    for (int k = 0; k < rowCount; ++k) {
        double* row = w + rows[k];
        int j = 0;
        for (; j + 4 <= n; j += 4)
            _mm256_storeu_pd(row + j, _mm256_add_pd(_mm256_loadu_pd(row + j), _mm256_loadu_pd(add + j)));
        for (; j < n; ++j)
            row[j] += add[j];
    }
}

} // namespace duolink::widerows
