// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/state.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/support/numtext.h"

namespace duolink {

void EngineState::resetEngineState()
{
    wMatrix.fill(0);
    deltaMatrix.fill(0);
    workMatrix.fill(0);
    aVector.fill(0);
    bVector.fill(0);
    calcVector.fill(0);
    aLen = bLen = dataPatternCount = runOption = presentationNo = 0;
    maxPresentations = simulationMode = transferFunction = unity = 0;
    beta = limit = tol = 0;
    r2Sum = berTotal = 0;
    aDataFile.close();
    bDataFile.close();
    reportFile.closeQuietly();
}

// --- Files -----------------------------------------------------------------------------

std::string EngineState::pathOf(const std::string& name) const
{
    if (jobFolder.empty())
        return name;
    return (jobFolder / name).string();
}

void EngineState::openReader(TextReader& reader, const std::string& name)
{
    if (auto text = jobFileTexts_.find(name); text != jobFileTexts_.end())
        reader.openText(name, text->second.text, text->second.known);
    else
        reader.open(pathOf(name), name);
}

void EngineState::createReport(const std::string& name)
{
    if (quiet)
        reportFile.discard(name);
    else
        reportFile.create(pathOf(name), name);
}

// --- Checked arithmetic ----------------------------------------------------------------

void raiseArithmeticError(const char* message)
{
    throw RunError(message);
}

namespace {
// A whole number of magnitude below 2^52 (two of them add exactly in a
// double): adding and taking away 2^52 rounds any smaller magnitude to a
// whole number, and leaves a whole one as it was.
inline bool wholeDouble(double x)
{
    const double m = std::fabs(x);
    return (m < 0x1p52) & ((m + 0x1p52) - 0x1p52 == m);
}

// Whether `n` values from `v` on are all such whole numbers; without
// branches, so that the loop runs in vector steps.
inline bool allWhole(const double* v, int n)
{
    bool whole = true;
    for (int j = 0; j < n; ++j)
        whole = whole & wholeDouble(v[j]);
    return whole;
}

// Two doubles at a time (SSE2 on x86-64): the row loops below check and add
// two cells in one step. The checks are sums, which the compiler keeps in
// vector registers: what a cell is off a whole number, added up, is 0 only
// when every cell is whole (NaN and infinities make it NaN), and the
// magnitudes added up stay below a bound only when every one of them does.
using Doubles2 = double __attribute__((vector_size(16)));

inline Doubles2 load2(const double* p)
{
    Doubles2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store2(double* p, Doubles2 v)
{
    std::memcpy(p, &v, sizeof v);
}

inline Doubles2 abs2(Doubles2 v)
{
    using Bits2 = long long __attribute__((vector_size(16)));
    return reinterpret_cast<Doubles2>(reinterpret_cast<Bits2>(v) & 0x7FFFFFFFFFFFFFFF);
}

// How far the magnitudes are off a whole number (below 2^52; from 2^52 on
// every double is whole, and the magnitudes are checked apart).
inline Doubles2 offWhole2(Doubles2 m)
{
    const Doubles2 big = {0x1p52, 0x1p52};
    return abs2((m + big) - big - m);
}

inline double sumOf(Doubles2 v)
{
    return v[0] + v[1];
}

// Whether two blocks of `cells` doubles hold whole numbers whose magnitudes
// add up, in each block and both together, to less than 2^52 (so that every
// one is below it). Rounded sums of magnitudes are never below their largest
// term, and NaN and infinities fail both sums.
inline bool wholeBlocks(const double* a, const double* b, int cells)
{
    Doubles2 size{}, off{};
    int j = 0;
    for (; j + 2 <= cells; j += 2) {
        const Doubles2 x = abs2(load2(a + j)), y = abs2(load2(b + j));
        size += x + y;
        off += offWhole2(x) + offWhole2(y);
    }
    double sizes = sumOf(size), offBy = sumOf(off);
    for (; j < cells; ++j) {
        sizes += std::fabs(a[j]) + std::fabs(b[j]);
        offBy += wholeDouble(a[j]) && wholeDouble(b[j]) ? 0 : 1;
    }
    return offBy == 0 && sizes < 0x1p52;
}

} // namespace

// --- Matrix primitives -------------------------------------------------------------------
//
// Each primitive is the reference loop (reference.h) behind one shortcut: a
// function that gives the same cells for the inputs it takes, and says false,
// with nothing written, for the others. Shortcuts are off with
// EngineOptions::referenceArithmetic.

namespace {

// outerProduct with x = 1, every second(j) = +-unity and every first(i) a
// whole number below 2^52: each product is exact and the store and the
// rounding keep it, so the cells are +-first(i) (never negative zero).
bool unitOuterProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x,
                      int stride, int unity)
{
    if (!(x == 1 && unity != 0 && n >= 1 && m >= 1 && allWhole(&first[1], n)))
        return false;
    const double u = unity;
    double signs[kVectorSize + 1];
    bool unit = true;
    for (int j = 1; j <= m; ++j) {
        signs[j] = second[j] == u ? 1 : -1;
        unit = unit & ((second[j] == u) | (second[j] == -u));
    }
    if (!unit)
        return false;
    for (int i = 1; i <= n; ++i) {
        double* row = &dest[reference::cellIndex(i, 1, stride)];
        for (int j = 1; j <= m; ++j)
            row[j - 1] = signs[j] * first[i] + 0.0;
    }
    return true;
}

// Row i of a correction product, as the reference loop makes it.
void correctionRow(const Vector& first, int i, const Vector& second, int m, Matrix& dest, long double x, int stride,
                   int unity)
{
    const long double u = unity;
    for (int j = 1; j <= m; ++j) {
        const long double t = fdiv(mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x), u);
        dest[reference::cellIndex(i, j, stride)] = roundStoredEven(storeDouble(t));
    }
}

// Rows of a correction product when every first(i) is 0 or one other value:
// rows of zeros and that value's row, made once. False, with nothing
// written, when the inputs are not so.
bool twoValuedRows(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x, int stride,
                   int unity)
{
    // The first input that is not 0, and whether every other one is 0 or
    // the same value.
    int lead = 1;
    while (lead <= n && first[lead] == 0)
        ++lead;
    if (lead > n || m < 1)
        return false;
    const double value = first[lead];
    bool two = value == value;
    for (int i = lead + 1; i <= n; ++i)
        two = two & ((first[i] == 0) | (first[i] == value));
    if (!two)
        return false;
    for (int i = 1; i < lead; ++i)
        std::fill_n(&dest[reference::cellIndex(i, 1, stride)], m, 0.0);
    correctionRow(first, lead, second, m, dest, x, stride, unity);
    // Each further row is that row or zeros, masked without a branch on
    // the input (0/1 patterns leave no way to guess it).
    const double* row = &dest[reference::cellIndex(lead, 1, stride)];
    for (int i = lead + 1; i <= n; ++i) {
        const uint64_t keep = 0 - static_cast<uint64_t>(first[i] != 0);
        double* out = &dest[reference::cellIndex(i, 1, stride)];
        for (int j = 0; j < m; ++j) {
            uint64_t bits = 0;
            std::memcpy(&bits, row + j, sizeof bits);
            bits &= keep;
            std::memcpy(out + j, &bits, sizeof bits);
        }
    }
    return true;
}

// correctionProduct when every factor but first(i) is finite and unity is
// not 0: a zero input gives a row of zeros, and rows of the same input value
// are the same row (0/1 patterns have only two values).
bool sharedRowsCorrection(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x,
                          int stride, int unity)
{
    bool finite = unity != 0 && std::isfinite(x);
    for (int j = 1; finite && j <= m; ++j)
        finite = std::isfinite(second[j]);
    if (!finite)
        return false;
    if (twoValuedRows(first, n, second, m, dest, x, stride, unity))
        return true;
    int previous = 0;
    for (int i = 1; i <= n; ++i) {
        if (first[i] == 0) {
            for (int j = 1; j <= m; ++j)
                dest[reference::cellIndex(i, j, stride)] = 0;
        } else if (previous != 0 && first[previous] == first[i]) {
            std::copy_n(&dest[reference::cellIndex(previous, 1, stride)], m, &dest[reference::cellIndex(i, 1, stride)]);
        } else {
            previous = i;
            correctionRow(first, i, second, m, dest, x, stride, unity);
        }
    }
    return true;
}

// matrixAdd of a block of whole numbers, rows one after another: one sum of
// doubles, after one check of the whole block.
bool wholeBlockAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest, int stride)
{
    if (!(cols == stride && rows >= 1 && cols >= 1 && rows * cols <= kMatrixCells))
        return false;
    const int cells = rows * cols;
    if (!wholeBlocks(&first[1], &second[1], cells))
        return false;
    int c = 1;
    for (; c + 2 <= cells + 1; c += 2)
        store2(&dest[c], load2(&second[c]) + load2(&first[c]));
    for (; c <= cells; ++c)
        dest[c] = second[c] + first[c];
    return true;
}

// One row of matrixAdd as doubles, exactly what the extended sums store,
// when the row of `first` is zeros (a correction row of a zero input) and
// every value of `second` is finite, or both rows hold whole numbers well
// inside the 53-bit range. False, with nothing written, for other rows.
bool doubleRowAdd(const double* a, const double* b, double* d, int cols)
{
    Doubles2 firstSize{}, secondSize{}, off{}, secondNotFinite{};
    int j = 0;
    for (; j + 2 <= cols; j += 2) {
        const Doubles2 x = abs2(load2(a + j)), y = abs2(load2(b + j));
        firstSize += x;
        secondSize += y;
        off += offWhole2(x) + offWhole2(y);
        secondNotFinite += y - y;
    }
    double aSize = sumOf(firstSize), bSize = sumOf(secondSize), offBy = sumOf(off);
    double bNotFinite = sumOf(secondNotFinite);
    for (; j < cols; ++j) {
        aSize += std::fabs(a[j]);
        bSize += std::fabs(b[j]);
        offBy += wholeDouble(a[j]) && wholeDouble(b[j]) ? 0 : 1;
        bNotFinite += b[j] - b[j];
    }
    const bool zeros = aSize == 0 && bNotFinite == 0;
    const bool whole = offBy == 0 && aSize < 0x1p52 && bSize < 0x1p52;
    if (!zeros && !whole)
        return false;
    j = 0;
    for (; j + 2 <= cols; j += 2)
        store2(d + j, load2(b + j) + load2(a + j));
    for (; j < cols; ++j)
        d[j] = b[j] + a[j];
    return true;
}

// matrixAdd by rows: doubleRowAdd where it takes the row, the reference sum
// of the row where not.
void rowwiseAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest, int stride)
{
    for (int i = 1; i <= rows; ++i) {
        const int c = reference::cellIndex(i, 1, stride);
        if (cols >= 1 && doubleRowAdd(&first[c], &second[c], &dest[c], cols))
            continue;
        for (int j = 1; j <= cols; ++j) {
            const int cell = reference::cellIndex(i, j, stride);
            const long double s = static_cast<long double>(second[cell]) + first[cell];
            if (std::isnan(s))
                raiseArithmeticError(kInvalidOp);
            dest[cell] = storeDouble(s);
        }
    }
}

// vectorMatrixProduct when every input is 0 or unity and every cell a small
// whole number. Each step of the reference product adds cell * input /
// unity, rounded: with every cell a whole number below 2^31 that is the cell
// or nothing, exactly, and no step can fail. Rows are contiguous. False,
// with `out` unchanged, when that does not hold.
bool sumOfUnityRows(const Matrix& m, int n, int k, Vector& out, const Vector& in, int stride, int unity)
{
    if (unity == 0 || k < 1 || k > kVectorSize)
        return false;
    const double u = unity;
    bool unit = true;
    for (int i = 1; i <= n; ++i)
        unit = unit & ((in[i] == 0) | (in[i] == u));
    if (!unit)
        return false;
    // Sums and checks two cells at a time; an odd last cell on its own. The
    // magnitudes of each column's cells added up below 2^31 keep every
    // cell below it.
    Doubles2 sums[kVectorSize / 2 + 1];
    Doubles2 sizes[kVectorSize / 2 + 1];
    const int pairs = (k + 1) / 2;
    std::fill_n(sums, pairs, Doubles2{});
    std::fill_n(sizes, pairs, Doubles2{});
    Doubles2 off{}, notFinite{};
    double lastOff = 0, lastNotFinite = 0;
    const int even = k - k % 2;
    // A row of an input 0 adds nothing and needs only finite cells: it is
    // taken times 0, without a branch on the input (0/1 patterns leave no
    // way to guess it). Times 0 a cell of a whole number is a zero, which
    // changes no sum of whole numbers.
    for (int i = 1; i <= n; ++i) {
        const double* row = &m[reference::cellIndex(i, 1, stride)];
        const auto used = static_cast<double>(in[i] != 0);
        const Doubles2 use = {used, used};
        for (int p = 0; 2 * p < even; ++p) {
            const Doubles2 x = load2(row + 2 * p);
            const Doubles2 size = abs2(x);
            notFinite += x - x;
            sizes[p] += size * use;
            off += offWhole2(size) * use;
            sums[p] += x * use;
        }
        if (k % 2) {
            const double x = row[k - 1];
            lastNotFinite += x - x;
            sizes[pairs - 1][0] += std::fabs(x) * used;
            lastOff += (wholeDouble(x) ? 0 : 1) * used;
            sums[pairs - 1][0] += x * used;
        }
    }
    bool fits = sumOf(off) + lastOff == 0 && sumOf(notFinite) + lastNotFinite == 0;
    for (int p = 0; p < pairs; ++p)
        fits = fits && sizes[p][0] < 0x1p31 && sizes[p][1] < 0x1p31;
    if (!fits)
        return false;
    for (int j = 0; j < k; ++j)
        out[j + 1] = sums[j / 2][j % 2] + 0.0; // never negative zero
    return true;
}

} // namespace

void EngineState::outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    if (!options_.referenceArithmetic && unitOuterProduct(first, n, second, m, dest, x, bLen, unity))
        return;
    reference::outerProduct(first, n, second, m, dest, x, bLen, unity);
}

void EngineState::correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    if (!options_.referenceArithmetic && sharedRowsCorrection(first, n, second, m, dest, x, bLen, unity))
        return;
    reference::correctionProduct(first, n, second, m, dest, x, bLen, unity);
}

void EngineState::matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest)
{
    if (options_.referenceArithmetic)
        reference::matrixAdd(first, rows, cols, second, dest, bLen);
    else if (!wholeBlockAdd(first, rows, cols, second, dest, bLen))
        rowwiseAdd(first, rows, cols, second, dest, bLen);
}

void EngineState::vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in)
{
    if (!options_.referenceArithmetic && sumOfUnityRows(m, n, k, out, in, bLen, unity))
        return;
    reference::vectorMatrixProduct(m, n, k, out, in, bLen, unity);
}

void EngineState::programDone(const std::string& reason)
{
    reportFile.writeLn("PROGRAM DONE");
    reportFile.close();
    throw JobTerminated(reason);
}

} // namespace duolink
