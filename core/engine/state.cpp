#include "core/engine/state.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/numtext.h"

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
    const long double u = unity;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            long double t = mulChecked(mulChecked(fdiv(second[j], u), first[i]), x);
            dest[cellIndex(i, j)] = static_cast<double>(roundEven(storeDouble(t)));
        }
    }
}

void EngineState::correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x)
{
    const long double u = unity;
    const bool finiteFactor = std::isfinite(x) && unity != 0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            // A value of 0 gives +0, as the rounding would, while nothing
            // in the product is infinite.
            if (first[i] == 0 && finiteFactor && std::isfinite(second[j])) {
                dest[cellIndex(i, j)] = 0.0;
                continue;
            }
            long double t = fdiv(mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x), u);
            dest[cellIndex(i, j)] = static_cast<double>(roundEven(storeDouble(t)));
        }
    }
}

void EngineState::matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest)
{
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            int c = cellIndex(i, j);
            long double s = static_cast<long double>(second[c]) + first[c];
            if (std::isnan(s))
                throw RunError(kInvalidOp);
            dest[c] = storeDouble(s);
        }
    }
}

namespace {
// Two whole numbers below this add up exactly in a double.
constexpr double kExactWhole = 2251799813685248.0; // 2^51
} // namespace

void EngineState::vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in)
{
    for (int j = 1; j <= k; ++j)
        out[j] = 0;
    const long double u = unity;
    const double unityValue = unity;
    // Below this a whole weight times unity is a whole number the extended
    // format holds exactly.
    const double exactWeight = unity > 0 ? 9223372036854775808.0 / unityValue : 0;
    for (int j = 1; j <= k; ++j) {
        for (int i = 1; i <= n; ++i) {
            const double w = m[cellIndex(i, j)];
            // The patterns' own values, 0 and unity, add nothing and the
            // weight itself, exactly as the division would: the sum is a
            // whole number (each step rounds it to one) that stays exact.
            if (in[i] == 0 && unity > 0 && std::isfinite(w))
                continue;
            if (in[i] == unityValue && unity > 0 && std::fabs(w) < exactWeight && std::fabs(out[j]) < kExactWhole &&
                static_cast<double>(static_cast<long long>(w)) == w) {
                out[j] += w;
                continue;
            }
            long double t = fdiv(mulChecked(w, in[i]), u) + out[j];
            if (std::isnan(t))
                throw RunError(kInvalidOp);
            out[j] = static_cast<double>(roundEven(storeDouble(t)));
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

void EngineState::printScaledVector(const Vector& v, int n)
{
    if (quiet) {
        checkScale(v, n);
        console.pendingLine.clear();
        return;
    }
    // Built where the pane line is pending; a failure leaves it as it was.
    std::string& line = console.pendingLine;
    const size_t start = line.size();
    try {
        numberTexts_.appendScaledVector(line, &v[1], std::max(n, 0), unity);
    } catch (...) {
        line.resize(start);
        throw;
    }
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
    std::string& line = console.pendingLine;
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
            line += kept.text;
            consoleWriteLn();
        }
        consoleWriteLn(" ");
    }
}

void EngineState::writeVectorReport(const Vector& v, int n)
{
    if (quiet)
        return;
    std::string& text = reportText_;
    text.assign(1, ' ');
    if (n < 16) {
        numberTexts_.appendShortExpVector(text, &v[1], std::max(n, 0));
        text += ' ';
        reportFile.write(text);
        return;
    }
    for (int p = 1; p <= n; ++p) {
        numberTexts_.appendShortExp(text, v[p]);
        text += ' ';
        if (p % 16 == 0) {
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
