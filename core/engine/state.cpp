#include "core/engine/state.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
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
        reader.openText(name, text->second);
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

void EngineState::correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    const long double u = unity;
    // Two exact shortcuts when every factor but first(i) is finite and unity
    // is not 0: a zero input gives a row of zeros, and rows of the same input
    // value are the same row (0/1 patterns have only two).
    bool finite = unity != 0 && std::isfinite(x);
    for (int j = 1; finite && j <= m; ++j)
        finite = std::isfinite(second[j]);
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
    // A block of whole numbers in quiet runs, rows one after another: one
    // sum of doubles, as below for each of its rows.
    if (quiet && cols == bLen && rows >= 1 && cols >= 1 && rows * cols <= kMatrixCells) {
        const int cells = rows * cols;
        if (allWhole(&first[1], cells) && allWhole(&second[1], cells)) {
            for (int c = 1; c <= cells; ++c)
                dest[c] = second[c] + first[c];
            return;
        }
    }
    for (int i = 1; i <= rows; ++i) {
        // Two kinds of rows add as doubles, exactly what the extended sums
        // store: a row of zeros in `first` (a correction row of a zero input)
        // when no value of `second` is NaN, and, in quiet runs, rows of whole
        // numbers well inside the 53-bit range. Rows are contiguous.
        if (cols >= 1) {
            const int c = cellIndex(i, 1);
            bool zeros = true;
            for (int j = 0; j < cols; ++j)
                zeros = zeros & (first[c + j] == 0) & (second[c + j] == second[c + j]);
            if (zeros || (quiet && allWhole(&first[c], cols) && allWhole(&second[c], cols))) {
                for (int j = 0; j < cols; ++j)
                    dest[c + j] = second[c + j] + first[c + j];
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
    if (unity == 0 || k < 1)
        return false;
    const double u = unity;
    for (int i = 1; i <= n; ++i)
        if (in[i] != 0 && in[i] != u)
            return false;
    double sums[kVectorSize + 1] = {};
    bool fits = true;
    for (int i = 1; i <= n; ++i) {
        const double* row = &m[cellIndex(i, 1)];
        if (in[i] == 0) {
            for (int j = 0; j < k; ++j)
                fits = fits & (std::fabs(row[j]) <= DBL_MAX);
            continue;
        }
        for (int j = 0; j < k; ++j) {
            fits = fits & (std::fabs(row[j]) < 0x1p31) & wholeDouble(row[j]);
            sums[j] += row[j];
        }
    }
    if (!fits)
        return false;
    for (int j = 0; j < k; ++j)
        out[j + 1] = sums[j] + 0.0; // never negative zero
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

// --- Printing -------------------------------------------------------------------------------

void EngineState::checkScale(const Vector& v, int n) const
{
    // Dividing by a unity other than 0 never fails; by 0 the first value fails.
    if (unity == 0 && n >= 1)
        (void)fdiv(v[1], 0);
}

void EngineState::printScaledVector(const Vector& v, int n, std::string* kept)
{
    if (quiet) {
        checkScale(v, n);
        console.pendingLine.clear();
        return;
    }
    // Built where the pane line is pending; a failure leaves it as it was.
    std::string& line = console.pendingLine;
    if (kept && !kept->empty()) {
        line += *kept;
        consoleWriteLn();
        return;
    }
    const size_t start = line.size();
    try {
        numberTexts_.appendScaledRun(line, &v[1], std::max(n, 0), unity, 1);
    } catch (...) {
        line.resize(start);
        throw;
    }
    if (kept)
        kept->assign(line, start);
    consoleWriteLn();
}

void EngineState::printWMatrix(const Matrix& m, int rows, int cols)
{
    if (quiet) {
        if (unity == 0 && rows >= 1 && cols >= 1)
            (void)fdiv(m[cellIndex(1, 1)], 0);
        return;
    }
    consoleWriteLn(" ===== W Matrix ====== ");
    const int blocks = (cols - 1) / 16 + 1;
    if (matrixLines_.size() < static_cast<size_t>(rows * blocks))
        matrixLines_.resize(static_cast<size_t>(rows * blocks));
    for (int r = 1; r <= rows; ++r) {
        for (int b = 0; b < blocks; ++b) {
            const int first = 16 * b + 1;
            const int count = std::min(16 * b + 16, cols) - first + 1;
            const double* values = &m[cellIndex(r, first)];
            MatrixLine& kept = matrixLines_[static_cast<size_t>((r - 1) * blocks + b)];
            // A line whose weights did not change since it was last shown
            // is shown again as it was.
            if (kept.unity != unity || kept.count != count ||
                std::memcmp(kept.values.data(), values, sizeof(double) * static_cast<size_t>(count)) != 0) {
                kept.text.clear();
                kept.count = 0;
                numberTexts_.appendScaledRun(kept.text, values, count, unity, 2);
                kept.text += ' ';
                std::memcpy(kept.values.data(), values, sizeof(double) * static_cast<size_t>(count));
                kept.count = count;
                kept.unity = unity;
            }
            consoleWriteLn(kept.text);
        }
        consoleWriteLn(" ");
    }
}

void EngineState::writeVectorReport(const Vector& v, int n, std::string* kept)
{
    if (quiet)
        return;
    if (kept && n < 16) {
        // One write: the kept text, or the text to keep.
        if (kept->empty()) {
            kept->assign(1, ' ');
            NumberTextCache::appendShortExpRun(*kept, &v[1], std::max(n, 0));
            *kept += ' ';
        }
        reportFile.write(*kept);
        return;
    }
    std::string& text = reportText_;
    text.assign(1, ' ');
    // Lines of 16 values; the last, shorter one stays open.
    for (int p = 1; p <= n; p += 16) {
        const int count = std::min(16, n - p + 1);
        NumberTextCache::appendShortExpRun(text, &v[p], count);
        if (count == 16) {
            reportFile.writeLn(text);
            text.clear();
        }
    }
    text += ' ';
    reportFile.write(text);
}

void EngineState::programDone(const std::string& reason)
{
    reportFile.writeLn("PROGRAM DONE");
    reportFile.close();
    throw JobTerminated(reason);
}

} // namespace duolink
