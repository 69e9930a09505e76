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
#include <cmath>
#include <limits>

#include "core/engine/pairtest.h"

namespace duolink {

namespace {
constexpr double kWholeLimit = 0x1p31;

// A whole number of magnitude below 2^31, without a library call.
bool smallWhole(double x)
{
    const double m = std::fabs(x);
    return m < kWholeLimit && (m + 0x1p52) - 0x1p52 == m;
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

double unityRowCorrection(double e, int unity, double beta)
{
    // The general correction rounds e * beta, made in extended precision
    // as ((unity * e) * beta) / unity and stored to a double, to the nearest
    // whole number: that value is within 2^-52 of e * beta relatively, and so
    // is e * beta made in a double. Unless e * beta lies within 2^-48 of a
    // half (relatively), both round to the same whole number, and the double
    // one is taken. Near a half, or when large, the general arithmetic is.
    const double y = e * beta;
    if (std::fabs(y) < 0x1p50) {
        const double r = (y + 0x1.8p52) - 0x1.8p52; // y to the nearest, ties to even
        if (std::fabs(std::fabs(y - r) - 0.5) > 0x1p-48 * std::fabs(y))
            return r + 0.0;
    }
    const long double u = unity;
    return static_cast<double>(roundEven(storeDouble(fdiv(u * e * static_cast<long double>(beta), u))));
}

bool EngineState::testWholePair(const Vector& a, const Vector& b, int aLength, int n, bool& ok)
{
    if (!quiet || unity <= 0 || n < 1 || n > kVectorSize || aLength < 1 || aLength > kVectorSize ||
        aLength * n > kMatrixCells || !std::isfinite(beta))
        return false;
    const double u = unity;
    int rows[kVectorSize];
    int active = 0;
    for (int i = 1; i <= aLength; ++i) {
        if (a[i] == u)
            rows[active++] = i;
        else if (a[i] != 0)
            return false;
    }
    bool whole = true;
    for (int j = 1; j <= n; ++j)
        whole = whole & smallWhole(b[j]);
    if (!whole)
        return false;
    WholePairMemo& memo = wholePairs_;
    if (memo.bound < 0) {
        // Whole, small and never negative zero (which a general sum would
        // turn into +0 where this one leaves it).
        double bound = 0;
        for (int c = 1; c <= aLength * n; ++c) {
            const double w = wMatrix[c];
            if (!smallWhole(w) || (w == 0 && std::signbit(w))) {
                bound = kWholeLimit;
                break;
            }
            bound = std::max(bound, std::fabs(w));
        }
        memo.bound = bound;
    }
    if (!(memo.bound < kWholeLimit))
        return false;
    if (memo.missFrom < 0)
        memo.missFrom = missFrom(unity, tol);

    // The product through the matrix: the sums of the rows of unity.
    double* const c = &calcVector[1];
    std::fill_n(c, n, 0.0);
    for (int r = 0; r < active; ++r) {
        const double* row = &wMatrix[cellIndex(rows[r], 1)];
        for (int j = 0; j < n; ++j)
            c[j] += row[j];
    }
    for (int j = 0; j < n; ++j)
        c[j] += 0.0; // never negative zero
    if (transferFunction == 1)
        for (int j = 1; j <= n; ++j)
            calcVector[j] = trainingTransfer(calcVector[j]);

    // scorePattern's count; the results are whole, so the differences are
    // exact in a double.
    int bec = 0;
    for (int j = 1; j <= n; ++j)
        bec += std::fabs(b[j] - calcVector[j]) >= memo.missFrom;
    berTotal = storeDouble(berTotal + static_cast<long double>(bec) / 2);
    ok = bec == 0;
    if (ok) {
        r2Sum = storeDouble(static_cast<long double>(r2Sum) + 1.0L);
        return true;
    }
    errorVector(b, calcVector, n);

    r2Sum = storeDouble(r2Sum + fitTerm(calcVector, b, n));
    if (active == 0)
        return true;

    // Every row of unity gets the correction the first of them would get;
    // the rows of 0 get 0.
    double correction[kVectorSize];
    double largest = 0;
    for (int j = 0; j < n; ++j) {
        correction[j] = unityRowCorrection(calcVector[j + 1], unity, beta);
        largest = std::max(largest, std::fabs(correction[j]));
    }
    // Sums below 2^32 are exact in a double; larger ones are made as the
    // general sum makes them, and end the bound.
    const bool small = largest < kWholeLimit;
    for (int r = 0; r < active; ++r) {
        double* row = &wMatrix[cellIndex(rows[r], 1)];
        if (small)
            for (int j = 0; j < n; ++j)
                row[j] += correction[j];
        else
            for (int j = 0; j < n; ++j)
                row[j] = storeDouble(static_cast<long double>(row[j]) + correction[j]);
    }
    memo.bound = small ? memo.bound + largest : kWholeLimit;
    return true;
}

} // namespace duolink
