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

inline long double mulChecked(long double a, long double b)
{
    long double r = a * b;
    if (std::isnan(r))
        throw RunError(kInvalidOp);
    return r;
}
} // namespace

// --- Matrix primitives -------------------------------------------------------------------

void EngineState::outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    // With x = 1, every second(j) = +-unity and every first(i) a whole number
    // below 2^52, each product is exact and the store and the rounding keep
    // it: the cells are +-first(i) (never negative zero).
    if (x == 1 && unity != 0 && n >= 1 && m >= 1 && allWhole(&first[1], n)) {
        const double u = unity;
        double signs[kVectorSize + 1];
        bool unit = true;
        for (int j = 1; j <= m; ++j) {
            signs[j] = second[j] == u ? 1 : -1;
            unit = unit & ((second[j] == u) | (second[j] == -u));
        }
        if (unit) {
            for (int i = 1; i <= n; ++i) {
                double* row = &dest[cellIndex(i, 1)];
                for (int j = 1; j <= m; ++j)
                    row[j - 1] = signs[j] * first[i] + 0.0;
            }
            return;
        }
    }
    const long double u = unity;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            long double t = mulChecked(mulChecked(fdiv(second[j], u), first[i]), x);
            dest[cellIndex(i, j)] = roundStoredEven(storeDouble(t));
        }
    }
}

template <class WorkRow>
bool EngineState::twoValuedRows(const Vector& first, int n, Matrix& dest, int m, WorkRow workRow)
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
        std::fill_n(&dest[cellIndex(i, 1)], m, 0.0);
    workRow(lead);
    // Each further row is that row or zeros, masked without a branch on
    // the input (0/1 patterns leave no way to guess it).
    const double* row = &dest[cellIndex(lead, 1)];
    for (int i = lead + 1; i <= n; ++i) {
        const uint64_t keep = 0 - static_cast<uint64_t>(first[i] != 0);
        double* out = &dest[cellIndex(i, 1)];
        for (int j = 0; j < m; ++j) {
            uint64_t bits = 0;
            std::memcpy(&bits, row + j, sizeof bits);
            bits &= keep;
            std::memcpy(out + j, &bits, sizeof bits);
        }
    }
    return true;
}

void EngineState::correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    const long double u = unity;
    // Two exact shortcuts when every factor but first(i) is finite and unity
    // is not 0: a zero input gives a row of zeros, and rows of the same input
    // value are the same row (0/1 patterns have only two).
    bool finite = unity != 0 && std::isfinite(x);
    for (int j = 1; finite && j <= m; ++j)
        finite = std::isfinite(second[j]);
    if (finite && twoValuedRows(first, n, dest, m, [&](int i) {
            for (int j = 1; j <= m; ++j) {
                long double t = fdiv(mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x), u);
                dest[cellIndex(i, j)] = roundStoredEven(storeDouble(t));
            }
        }))
        return;
    int previous = 0;
    for (int i = 1; i <= n; ++i) {
        if (finite && first[i] == 0) {
            for (int j = 1; j <= m; ++j)
                dest[cellIndex(i, j)] = 0;
            continue;
        }
        if (finite && previous != 0 && first[previous] == first[i]) {
            std::copy_n(&dest[cellIndex(previous, 1)], m, &dest[cellIndex(i, 1)]);
            continue;
        }
        previous = i;
        for (int j = 1; j <= m; ++j) {
            long double t = fdiv(mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x), u);
            dest[cellIndex(i, j)] = roundStoredEven(storeDouble(t));
        }
    }
}

void EngineState::matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest)
{
    // A block of whole numbers, rows one after another: one sum of doubles,
    // as below for each of its rows, after one check of the whole block.
    if (cols == bLen && rows >= 1 && cols >= 1 && rows * cols <= kMatrixCells) {
        const int cells = rows * cols;
        if (wholeBlocks(&first[1], &second[1], cells)) {
            int c = 1;
            for (; c + 2 <= cells + 1; c += 2)
                store2(&dest[c], load2(&second[c]) + load2(&first[c]));
            for (; c <= cells; ++c)
                dest[c] = second[c] + first[c];
            return;
        }
    }
    for (int i = 1; i <= rows; ++i) {
        // Two kinds of rows add as doubles, exactly what the extended sums
        // store: a row of zeros in `first` (a correction row of a zero input)
        // when every value of `second` is finite, and rows of whole numbers
        // well inside the 53-bit range. Rows are contiguous.
        if (cols >= 1) {
            const int c = cellIndex(i, 1);
            const double* a = &first[c];
            const double* b = &second[c];
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
            if (zeros || whole) {
                double* d = &dest[c];
                j = 0;
                for (; j + 2 <= cols; j += 2)
                    store2(d + j, load2(b + j) + load2(a + j));
                for (; j < cols; ++j)
                    d[j] = b[j] + a[j];
                continue;
            }
        }
        for (int j = 1; j <= cols; ++j) {
            int c = cellIndex(i, j);
            long double s = static_cast<long double>(second[c]) + first[c];
            if (std::isnan(s))
                throw RunError(kInvalidOp);
            dest[c] = storeDouble(s);
        }
    }
}

bool EngineState::sumOfUnityRows(const Matrix& m, int n, int k, Vector& out, const Vector& in) const
{
    // Each step of the general product adds cell * input / unity, rounded:
    // with every input 0 or unity and every cell a whole number below 2^31
    // that is the cell or nothing, exactly, and no step can fail. Rows are
    // contiguous in the matrix.
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
        const double* row = &m[cellIndex(i, 1)];
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

void EngineState::vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in)
{
    for (int j = 1; j <= k; ++j)
        out[j] = 0;
    if (sumOfUnityRows(m, n, k, out, in))
        return;
    const long double u = unity;
    for (int j = 1; j <= k; ++j) {
        for (int i = 1; i <= n; ++i) {
            const double w = m[cellIndex(i, j)];
            long double t = fdiv(mulChecked(w, in[i]), u) + out[j];
            if (std::isnan(t))
                throw RunError(kInvalidOp);
            out[j] = roundStoredEven(storeDouble(t));
        }
    }
}

void EngineState::programDone(const std::string& reason)
{
    reportFile.writeLn("PROGRAM DONE");
    reportFile.close();
    throw JobTerminated(reason);
}

} // namespace duolink
