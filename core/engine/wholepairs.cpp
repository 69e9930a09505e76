// SPDX-License-Identifier: GPL-3.0-or-later
// The pair test of quiet runs on 0/unity patterns with whole weights.
//
// With every A value 0 or unity and every weight a whole number of
// magnitude below 2^31, much of the general test's arithmetic has a result
// known without making it: the product through the matrix is the sum of the
// rows of unity, exactly; a difference beyond TOL is one beyond a whole
// number found once per run; every row of unity gets the same correction
// and every row of 0 none. Everything else is the general test's own
// arithmetic in its order, so the results, and any error raised, are the
// same.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/engine/state.h"
#include "core/engine/widerows.h"

namespace duolink {

namespace {
constexpr double kWholeLimit = 0x1p31;

// Two doubles added at once.
constexpr int kLanes = 2;
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));
Lanes load(const double* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store(double* p, Lanes v)
{
    std::memcpy(p, &v, sizeof v);
}

// out(j) = the sum of w(first + j) over the rows' first cells, for j < n:
// eight values at a time, then two, then one.
void sumRows(const double* w, std::span<const int> rows, int n, double* out)
{
    int j = 0;
    for (; j + 4 * kLanes <= n; j += 4 * kLanes) {
        Lanes s0 = {}, s1 = {}, s2 = {}, s3 = {};
        for (const int first : rows) {
            const double* r = w + first + j;
            s0 += load(r);
            s1 += load(r + kLanes);
            s2 += load(r + 2 * kLanes);
            s3 += load(r + 3 * kLanes);
        }
        // + 0.0: never negative zero
        store(out + j, s0 + 0.0);
        store(out + j + kLanes, s1 + 0.0);
        store(out + j + 2 * kLanes, s2 + 0.0);
        store(out + j + 3 * kLanes, s3 + 0.0);
    }
    for (; j + kLanes <= n; j += kLanes) {
        Lanes s = {};
        for (const int first : rows)
            s += load(w + first + j);
        store(out + j, s + 0.0);
    }
    for (; j < n; ++j) {
        double s = 0;
        for (const int first : rows)
            s += w[first + j];
        out[j] = s + 0.0;
    }
}

// row(j) += add(j) for j < n.
void addRow(double* row, const double* add, int n)
{
    int j = 0;
    for (; j + 4 * kLanes <= n; j += 4 * kLanes) {
        store(row + j, load(row + j) + load(add + j));
        store(row + j + kLanes, load(row + j + kLanes) + load(add + j + kLanes));
        store(row + j + 2 * kLanes, load(row + j + 2 * kLanes) + load(add + j + 2 * kLanes));
        store(row + j + 3 * kLanes, load(row + j + 3 * kLanes) + load(add + j + 3 * kLanes));
    }
    for (; j < n; ++j)
        row[j] += add[j];
}

// unityRowCorrection of each of the n values of e, into `out`; returns the
// largest magnitude.
double unityRowCorrections(const double* e, int n, int unity, double beta, double* out)
{
    double largest = 0;
    for (int j = 0; j < n; ++j) {
        out[j] = unityRowCorrection(e[j], unity, beta);
        largest = std::max(largest, std::fabs(out[j]));
    }
    return largest;
}

// A whole number of magnitude below 2^31, without a library call.
bool smallWhole(double x)
{
    const double m = std::fabs(x);
    return (m < kWholeLimit) & ((m + 0x1p52) - 0x1p52 == m);
}

// The largest magnitude of the first `cells` weights when they are whole,
// small and never negative zero (which a general sum would turn into +0
// where the sums here leave it); else kWholeLimit.
double wholeBound(const Matrix& w, int cells)
{
    double bound = 0;
    for (int c = 1; c <= cells; ++c) {
        if (!smallWhole(w[c]) || (w[c] == 0 && std::signbit(w[c])))
            return kWholeLimit;
        bound = std::max(bound, std::fabs(w[c]));
    }
    return bound;
}

// The smallest whole difference d >= 0 with d / unity > tol, as scorePattern
// compares them; infinity when none below 2^53 is.
double missFrom(int unity, double tol)
{
    const long double u = unity;
    const auto misses = [&](long double d) { return d / u > tol; };
    if (std::isnan(tol))
        return std::numeric_limits<double>::infinity();
    if (misses(0))
        return 0;
    long double d = std::floor(static_cast<long double>(tol) * u);
    if (!(d < 0x1p53L))
        return std::numeric_limits<double>::infinity();
    while (d > 0 && misses(d - 1))
        --d;
    while (!misses(d))
        ++d;
    return static_cast<double>(d);
}
} // namespace

WholePairMemo::Pair EngineState::wholePair(const Vector& a, const Vector& b, int aLength, int n)
{
    WholePairMemo::Pair pair;
    pair.kind = WholePairMemo::Pair::General;
    if (unity <= 0 || n < 1 || n > kVectorSize || aLength < 1 || aLength > kVectorSize ||
        aLength * n > kMatrixCells || !std::isfinite(beta))
        return pair;
    // Without a branch on each value: patterns of 0 and 1 leave no way to
    // guess them.
    const double u = unity;
    bool other = false;
    for (int i = 1; i <= aLength; ++i) {
        const bool one = a[i] == u;
        pair.rowCount += one;
        other = other | (!one & (a[i] != 0));
    }
    bool whole = true;
    for (int j = 1; j <= n; ++j)
        whole = whole & smallWhole(b[j]);
    if (other || !whole)
        return pair;
    WholePairMemo& memo = wholePairs_;
    pair.rowsAt = static_cast<int>(memo.rows.size());
    memo.rows.resize(memo.rows.size() + static_cast<size_t>(aLength));
    int* const rows = memo.rows.data() + pair.rowsAt;
    int kept = 0;
    for (int i = 1; i <= aLength; ++i) {
        rows[kept] = cellIndex(i, 1);
        kept += a[i] == u;
    }
    memo.rows.resize(static_cast<size_t>(pair.rowsAt + kept));
    pair.bAt = memo.bValues.size();
    memo.bValues.insert(memo.bValues.end(), &b[1], &b[1] + n);
    pair.kind = WholePairMemo::Pair::Whole;
    return pair;
}

namespace {
// The error of the double product a * b: a * b = p + the result, exactly,
// when nothing overflows or underflows (the halves of Veltkamp's split).
double productError(double a, double b, double p)
{
    const auto split = [](double x, double& high, double& low) {
        const double t = 134217729.0 * x; // 2^27 + 1
        high = t - (t - x);
        low = x - high;
    };
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}
} // namespace

double nearHalfCorrection(double e, int unity, double beta, double y)
{
    // x = e * beta exactly, and h the half nearest y. The extended value T
    // lies within 2^-62 |x| of x, and the stored D is the double nearest T:
    // h itself when T is within half an ulp of h (h is not a power of two,
    // so its ulp is the same on both sides), else a double on T's side of h
    // that rounds away from h. With x - h known exactly enough, only values
    // within that slack of the boundary need the extended arithmetic.
    const double m = std::fabs(y);
    if (m >= 1.5 && m < 0x1p40) {
        const double r = (y + 0x1.8p52) - 0x1.8p52;
        const double h = r + std::copysign(0.5, y - r);
        const double d = (y - h) + productError(e, beta, y); // x - h
        // The power of two at or below |h|, from its exponent bits.
        const double binade = std::bit_cast<double>(std::bit_cast<std::uint64_t>(h) & 0x7ff0000000000000u);
        const double halfUlp = binade * 0x1p-53;
        const double slack = 0x1p-60 * std::fabs(h);
        if (std::fabs(d) + slack < halfUlp)
            return (h + 0x1.8p52) - 0x1.8p52; // D = h: ties to even
        if (std::fabs(d) - slack > halfUlp)
            return d > 0 ? h + 0.5 : h - 0.5;
    }
    return extendedUnityRowCorrection(e, unity, beta);
}

double extendedUnityRowCorrection(double e, int unity, double beta)
{
    const long double u = unity;
    return static_cast<double>(roundEven(storeDouble(fdiv(u * e * static_cast<long double>(beta), u))));
}

const WholePairMemo::Pair* EngineState::qualifiedWholePair(int pair, const Vector& a, const Vector& b, int aLength, int n)
{
    WholePairMemo& memo = wholePairs_;
    if (pair < 1 || options_.referenceArithmetic)
        return nullptr;
    if (memo.pairs.size() < static_cast<size_t>(pair))
        memo.pairs.resize(static_cast<size_t>(pair));
    WholePairMemo::Pair& kept = memo.pairs[static_cast<size_t>(pair) - 1];
    if (kept.kind == WholePairMemo::Pair::Unknown)
        kept = wholePair(a, b, aLength, n);
    if (kept.kind != WholePairMemo::Pair::Whole)
        return nullptr;
    if (memo.missFrom < 0)
        memo.missFrom = missFrom(unity, tol);
    if (memo.wide < 0)
        memo.wide = !options_.portableOnly && widerows::available();
    if (memo.bound < 0)
        memo.bound = wholeBound(wMatrix, aLength * n);
    if (!(memo.bound < kWholeLimit))
        return nullptr;
    return &kept;
}

void EngineState::sumWholeRows(const WholePairMemo::Pair& pair, int n)
{
    const std::span<const int> rows = wholePairs_.rowsOf(pair);
    if (wholePairs_.wide > 0)
        widerows::sumRows(wMatrix.data(), rows.data(), static_cast<int>(rows.size()), n, &calcVector[1]);
    else
        sumRows(wMatrix.data(), rows, n, &calcVector[1]);
}

void EngineState::wholeErrors(const WholePairMemo::Pair& pair, int n)
{
    // errorVector's differences: of whole numbers below 2^46, exact.
    const double* const b = wholePairs_.bOf(pair);
    for (int j = 1; j <= n; ++j)
        calcVector[j] = b[j - 1] - calcVector[j];
}

int EngineState::wholeBitErrors(const WholePairMemo::Pair& pair, int n) const
{
    // The results are whole, so the differences are exact in a double.
    const double from = wholePairs_.missFrom;
    const double* const b = wholePairs_.bOf(pair);
    if (wholePairs_.wide > 0)
        return widerows::countMisses(b, &calcVector[1], n, from);
    int bec = 0;
    for (int j = 1; j <= n; ++j)
        bec += std::fabs(b[j - 1] - calcVector[j]) >= from;
    return bec;
}

bool EngineState::testWholePair(int pair, const Vector& a, const Vector& b, int aLength, int n, bool& ok)
{
    WholePairMemo& memo = wholePairs_;
    memo.completedIsLast = false;
    const WholePairMemo::Pair* const whole = qualifiedWholePair(pair, a, b, aLength, n);
    if (!whole)
        return testLargeWholePair(pair, b, n, ok);
    const WholePairMemo::Pair& kept = *whole;
    const bool wide = memo.wide > 0;
    const std::span<const int> rows = memo.rowsOf(kept);
    const double* const bKept = memo.bOf(kept);

    // Pairs of a few fours of B values go in one step as far as they can.
    // It corrects the rows before the R2 step below is kept, which cannot
    // fail, in runs whose R2 waits.
    if (wide && transferFunction != kTrainingTransfer && memo.deferR2) {
        bool corrected = false;
        double largest = 0;
        const int bec = widerows::testPair(wMatrix.data(), rows.data(), static_cast<int>(rows.size()), bKept, n,
                                           memo.missFrom, beta, &calcVector[1], corrected, largest);
        if (bec >= 0) {
            addBitErrors(bec);
            ok = bec == 0;
            memo.pending.add(ok ? 0 : pair, &calcVector[1], n);
            if (ok || rows.empty())
                return true;
            if (corrected) {
                memo.bound += largest;
                return true;
            }
            correctUnityRows(rows, n, wide);
            return true;
        }
    }

    // The product through the matrix: the sums of the rows of unity.
    sumWholeRows(kept, n);
    if (transferFunction == kTrainingTransfer)
        for (int j = 1; j <= n; ++j)
            calcVector[j] = trainingTransfer(calcVector[j]);
    ok = scoreWholeSums(kept, pair, &b, n);
    if (ok || rows.empty())
        return true;
    correctUnityRows(rows, n, wide);
    return true;
}

bool EngineState::scoreWholeSums(const WholePairMemo::Pair& kept, int pair, const Vector* b, int n)
{
    WholePairMemo& memo = wholePairs_;
    const int bec = wholeBitErrors(kept, n);
    addBitErrors(bec);
    if (bec == 0) {
        if (memo.deferR2)
            memo.pending.add(0, nullptr, 0);
        else
            r2Sum = storeDouble(static_cast<long double>(r2Sum) + 1.0L);
        return true;
    }
    wholeErrors(kept, n);
    if (memo.deferR2)
        memo.pending.add(pair, &calcVector[1], n);
    else
        r2Sum = storeDouble(r2Sum + fitTerm(calcVector, *b, n)); // b is the pair's when R2 is made at once
    return false;
}

void EngineState::addBitErrors(int bec)
{
    // Halves add exactly in a double while the total is below 2^50.
    if (berTotal < 0x1p50 && berTotal >= 0)
        berTotal += bec * 0.5;
    else
        berTotal = storeDouble(berTotal + static_cast<long double>(bec) / 2);
}

void EngineState::correctUnityRows(std::span<const int> rows, int n, bool wide)
{
    WholePairMemo& memo = wholePairs_;
    // Every row of unity gets the correction the first of them would get;
    // the rows of 0 get 0.
    double correction[kVectorSize];
    const double largest = wide ? widerows::corrections(&calcVector[1], n, unity, beta, correction)
                                : unityRowCorrections(&calcVector[1], n, unity, beta, correction);
    // Sums below 2^32 are exact in a double; larger ones are made as the
    // general sum makes them, and end the bound.
    const bool small = largest < kWholeLimit;
    if (small && wide) {
        widerows::addToRows(wMatrix.data(), rows.data(), static_cast<int>(rows.size()), correction, n);
        memo.bound += largest;
        return;
    }
    for (const int first : rows) {
        double* row = &wMatrix[first];
        if (small) {
            addRow(row, correction, n);
        } else {
            for (int k = 0; k < n; ++k)
                row[k] = storeDouble(static_cast<long double>(row[k]) + correction[k]);
        }
    }
    memo.bound = small ? memo.bound + largest : kWholeLimit;
}

} // namespace duolink
