// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of the quiet whole-pair test (wholepairs.cpp) four values at a
// time, for processors with 256-bit vectors and fused multiply-add. Each
// gives exactly what the one-value steps give; use them only where
// available() says so.
#include <cstddef>

#include "core/engine/wholepairs.h"

namespace duolink::widerows {

// Whether this processor has AVX2 and FMA.
bool available() noexcept;

// out(j) = the sum of w(first + j) over the rows' first cells, for j < n,
// each sum in the order of the rows; never negative zero.
void sumRows(const double* w, const int* rows, int rowCount, int n, double* out) noexcept;

// How many j < n have |b(j) - calc(j)| >= missFrom; all values whole.
int countMisses(const double* b, const double* calc, int n, double missFrom) noexcept;

// unityRowCorrection of each of the n values of e, into `out`; returns the
// largest magnitude.
double corrections(const double* e, int n, int unity, double beta, double* out);

// The whole-pair test of a pair with n = 4, 8, 12 or 16 B values b, as
// far as it can go without the extended arithmetic or a failure: the sums of
// the rows, the misses, and for a miss the errors b - sums. calc gets the
// errors when there is a miss, the sums when not. With a miss and rows of
// unity, `largest` gets the largest correction; when every correction was
// found and is below 2^31, the rows are corrected and `corrected` set.
// Returns the misses, or -1 for another n (then nothing is done).
int testPair(double* w, const int* rows, int rowCount, const double* b, int n, double missFrom, double beta,
             double* calc, bool& corrected, double& largest);

// testPair for whole pairs one after another, from what the run keeps of
// them (WholePairMemo), while the weights stay below the bound of 2^31.
struct PairRun {
    double* w;
    const WholePairMemo::Pair* pairs; // the pairs to test, in order
    const int* rows;                  // the rows' first cells, pair after pair
    const int* shared;                // per pair: the rows it shares with the one before
    const double* bValues;
    int count;
    int n; // 4, 8, 12 or 16
    double missFrom;
    double beta;
    int unity;
    int firstNumber; // the number of pairs[0]
    double* calc;    // as testPair leaves it, for the last pair tested
    int* steps;      // per pair tested: its number when it missed, else 0
    double* errors;  // the errors of each pair that missed, n each
};
struct RunResult {
    int tested = 0;
    int bitErrors = 0;
    int missed = 0;
    size_t errorValues = 0;
    // The last pair tested missed and its correction needs the one-value
    // steps; calc holds its errors and its rows are not yet corrected.
    bool unsettled = false;
};
// Stops before a pair when `bound` is not in [0, 2^31), and after an
// unsettled pair. Each pair's row sums are made before the pair before it
// is corrected, and that correction is then added as many times as the two
// share rows: with whole weights below 2^31 every such sum is exact, so
// the order does not change it.
RunResult testPairs(const PairRun& run, double& bound);

// w(first + j) += add(j) for j < n, in each of the rows.
void addToRows(double* w, const int* rows, int rowCount, const double* add, int n) noexcept;

} // namespace duolink::widerows
