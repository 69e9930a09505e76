// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The quiet whole-pair test's steps for weights past 2^31, four values at a
// time, for processors with 256-bit vectors and fused multiply-add (where
// widerows::available() says so). Training that diverges spends most of its
// pair tests there, between 2^31 and the 2^63 at which its rounding fails.
//
// Each step gives exactly what the general steps give for a pair of 0/unity
// patterns on whole weights: the sums of the rows of unity in their order,
// and the corrections Round(store(((unity * e) * beta) / unity)) of the
// errors e. They hold where unity * e is exact in the extended unit, which
// largeStepsFit() says for one unity.
namespace duolink::largerows {

// Whether unity * e is exact in the extended unit for every double e: its
// odd part has at most 11 bits (10000 = 625 * 2^4 has 10).
bool largeStepsFit(int unity) noexcept;

// What sumRows found.
enum class RowSums {
    Made,    // out holds the sums
    Fails,   // the general product raises: a running sum leaves [-2^63, 2^63)
    Unknown, // a cell of 2^63 or more: only the general product can tell
};

// out(j) = the sum of w(first + j) over the rows' first cells, for j < n
// (n <= 256), each sum in the order of the rows, as the general product of
// inputs 0 and unity makes it: while every cell is below 2^63 in magnitude
// and every running sum in [-2^63, 2^63), each step's extended sum is exact
// and its store the double sum. `out` is written only when Made.
RowSums sumRows(const double* w, const int* rows, int rowCount, int n, double* out) noexcept;

// The correction of each of the n errors e for the rows of unity, into
// `out`: y = e * beta rounded to the nearest whole number, where the
// extended value lies far enough from a boundary of the double nearest it;
// else made in the extended way, which raises RunError as the general
// correction does. beta must be 0 or of magnitude in [2^-900, 2^900].
void corrections(const double* e, int n, int unity, double beta, double* out);

// A whole pair's test in one step, for n = 4, 8, 12 or 16 B values b: the
// sums of the rows (sumRows), the misses (differences of missFrom or more),
// and for a miss the errors b - sums into calc and `errors`, and the rows
// corrected when every correction is settled. calc gets the sums when
// nothing misses.
enum class PairStep {
    Other,     // not taken (another n, or sumRows did not make the sums): nothing written
    Tested,    // done, rows corrected where there was a miss
    Unsettled, // a miss whose corrections need corrections(): the rows are not yet corrected
};
struct PairTest {
    PairStep step = PairStep::Other;
    int misses = 0;
};
PairTest testPair(double* w, const int* rows, int rowCount, const double* b, int n, double missFrom, double beta,
                  double* calc, double* errors);

} // namespace duolink::largerows
