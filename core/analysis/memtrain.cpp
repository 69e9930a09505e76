#include "core/analysis/memtrain.h"

#include <algorithm>
#include <cmath>
#include <cfloat>
#include <climits>
#include <memory>
#include <vector>

#include "core/engine/errors.h"
#include "core/engine/pairtest.h"
#include "core/numgrammar.h"
#include "core/numtext.h"

namespace duolink::analysis {

std::string_view outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Recalled: return "recalled";
    case Outcome::Limit: return "limit";
    case Outcome::Error: return "error";
    case Outcome::Terminated: return "terminated";
    }
    return "error";
}

namespace {

// The engine's file reader on a text: the same tokens, the same line skips,
// the same values at the end of the text.
class TextCursor {
public:
    void open(std::string_view text)
    {
        data_ = text;
        pos_ = 0;
    }
    void rewind() { pos_ = 0; }
    bool eof() const { return pos_ >= data_.size(); }
    bool hasValue() const
    {
        for (size_t p = pos_; p < data_.size(); ++p)
            if (static_cast<unsigned char>(data_[p]) > 32)
                return true;
        return false;
    }
    int peek() const { return pos_ < data_.size() ? static_cast<unsigned char>(data_[pos_]) : -1; }
    void advance() { ++pos_; }

    double readReal(bool& ok)
    {
        ok = true;
        const size_t length = readToken(*this, token_, 64);
        if (length == 0)
            return 0.0;
        double value = 0.0;
        ok = parseRealToken(std::string_view(token_, length), value);
        return ok ? value : 0.0;
    }
    long long readInt(bool& ok)
    {
        ok = true;
        const size_t length = readToken(*this, token_, 32);
        if (length == 0)
            return 0;
        long long value = 0;
        ok = parseIntToken(std::string_view(token_, length), value);
        return ok ? value : 0;
    }
    void skipLine()
    {
        while (pos_ < data_.size() && data_[pos_] != '\n')
            ++pos_;
        if (pos_ < data_.size())
            ++pos_;
    }

private:
    std::string_view data_;
    size_t pos_ = 0;
    char token_[64];
};

// The engine's checked primitives (core/engine/state.h), here where the
// compiler can inline them into the loops; they must stay the same.
inline long double fdiv(long double a, long double b)
{
    if (b == 0) [[unlikely]] {
        if (a == 0 || std::isnan(a))
            throw RunError(kInvalidOp);
        throw RunError(kDivByZero);
    }
    const long double q = a / b;
    if (std::isnan(q)) [[unlikely]]
        throw RunError(kInvalidOp);
    return q;
}

inline double storeDouble(long double x)
{
    if (std::isnan(x)) [[unlikely]]
        throw RunError(kInvalidOp);
    if (std::fabs(x) > static_cast<long double>(DBL_MAX)) [[unlikely]]
        return duolink::storeDouble(x);
    return static_cast<double>(x);
}

inline long double roundEven(long double x)
{
    constexpr long double kLimit = 9223372036854775808.0L;
    if (!(x >= -kLimit - 0.5L && x < kLimit - 0.5L)) [[unlikely]]
        throw RunError(kInvalidOp);
    return __builtin_rintl(x) + 0.0L;
}

// A whole number well inside the range where double sums are exact.
inline bool smallWhole(double x)
{
    return std::fabs(x) < 0x1p52 && static_cast<double>(static_cast<long long>(x)) == x;
}

inline long double mulChecked(long double a, long double b)
{
    const long double r = a * b;
    if (std::isnan(r))
        throw RunError(kInvalidOp);
    return r;
}

// One engine's worth of state, and the training steps on it.
class Trainer {
public:
    Trainer(const JobTexts& job, const std::atomic<bool>* stop) : job_(job), stop_(stop) {}

    TrainingResult run();

private:
    int cell(int i, int j) const { return j + (i - 1) * bLen; }

    [[noreturn]] static void fatal() { throw JobTerminated(); }

    int readIntParameter();
    double readRealParameter();
    void readParameters();
    void readPattern(Vector& v, TextCursor& f, int length);
    int countPatterns();
    void quantise(Vector& v, int length) const;
    void buildStartingMatrix();
    bool testPattern();
    void simulationPass();

    void outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest) const;
    void correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest,
                           long double x) const;
    void matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest,
                   int fromRow = 1) const;
    void vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in) const;
    double trainingTransfer(double v) const;
    double logisticTransfer(double v) const;
    long double fitTerm(const Vector& e, const Vector& b, int n) const;

    const JobTexts& job_;
    const std::atomic<bool>* stop_;
    TextCursor params_, aFile_, bFile_;

    Matrix w{}, delta{}, work{};
    Vector a{}, b{}, calc{};
    int aLen = 0, bLen = 0, runOption = 0, maxPresentations = 0, simulationMode = 0;
    int transferFunction = 0, unity = 0;
    double beta = 0, limit = 0, tol = 0;
    double r2Sum = 0, berTotal = 0;
    std::vector<double> aCache, bCache; // the pairs as the first presentation read them
};

int Trainer::readIntParameter()
{
    bool ok = true;
    const long long v = params_.readInt(ok);
    if (!ok)
        throw RunError(kInvalidNumeric);
    params_.skipLine();
    if (v < INT_MIN || v > INT_MAX)
        throw RunError(kInvalidNumeric);
    return static_cast<int>(v);
}

double Trainer::readRealParameter()
{
    bool ok = true;
    const double v = params_.readReal(ok);
    if (!ok)
        throw RunError(kInvalidNumeric);
    params_.skipLine();
    return v;
}

void Trainer::readParameters()
{
    if (!job_.parameters)
        fatal();
    params_.open(*job_.parameters);
    runOption = readIntParameter();
    maxPresentations = readIntParameter();
    aLen = readIntParameter();
    bLen = readIntParameter();
    if (aLen < 1 || aLen > kVectorSize || bLen < 1 || bLen > kVectorSize)
        fatal();
    if (aLen * bLen > kMatrixCells)
        fatal();
    simulationMode = readIntParameter();
    if (simulationMode == 1 && !job_.simulation)
        fatal();
    beta = readRealParameter();
    limit = readRealParameter();
    transferFunction = readIntParameter();
    unity = readIntParameter();
    tol = readRealParameter();
    if (transferFunction < 1 || transferFunction > 2)
        transferFunction = 1;
    if (unity < 0)
        unity = 10;
    if (runOption == 1) {
        const int perLine = std::min(bLen, 16);
        const int lines = (bLen - 1) / 16 + 1;
        for (int i = 1; i <= aLen; ++i) {
            for (int g = 0; g < lines; ++g) {
                for (int c = 1; c <= perLine; ++c) {
                    bool ok = true;
                    const double value = params_.readReal(ok);
                    if (16 * g + c <= bLen)
                        w[cell(i, 16 * g + c)] = value;
                }
                params_.skipLine();
            }
        }
    }
}

void Trainer::readPattern(Vector& v, TextCursor& f, int length)
{
    const int groups = (length - 1) / 16 + 1;
    const int perLine = std::min(length, 16);
    const long double u = unity;
    for (int g = 0; g < groups; ++g) {
        for (int c = 1; c <= perLine; ++c) {
            bool ok = true;
            const double value = f.readReal(ok);
            const int pos = 16 * g + c;
            if (pos > kVectorSize)
                continue;
            v[pos] = value == 9999.0 ? 9999.0 : static_cast<double>(roundEven(value * u));
        }
        f.skipLine();
    }
}

int Trainer::countPatterns()
{
    aFile_.rewind();
    a[1] = 0;
    int groups = 0;
    while (a[1] != 9999.0) {
        if (!aFile_.hasValue())
            fatal();
        readPattern(a, aFile_, aLen);
        ++groups;
    }
    return groups - 1;
}

void Trainer::quantise(Vector& v, int length) const
{
    const double low = static_cast<double>(unity) - 1;
    for (int i = 1; i <= length; ++i)
        v[i] = v[i] < low ? -static_cast<double>(unity) : static_cast<double>(unity);
}

void Trainer::buildStartingMatrix()
{
    std::fill(w.begin(), w.end(), 0.0);
    a.fill(0);
    b.fill(0);
    calc.fill(0);
    const int count = countPatterns();
    aFile_.rewind();
    bFile_.rewind();
    readPattern(a, aFile_, aLen);
    readPattern(b, bFile_, bLen);
    quantise(a, aLen);
    quantise(b, bLen);
    outerProduct(a, aLen, b, bLen, w);
    for (int k = 2; k <= count; ++k) {
        readPattern(a, aFile_, aLen);
        readPattern(b, bFile_, bLen);
        quantise(a, aLen);
        quantise(b, bLen);
        outerProduct(a, aLen, b, bLen, delta);
        matrixAdd(delta, aLen, bLen, w, work);
        w = work;
    }
}

bool Trainer::testPattern()
{
    const int n = bLen;
    vectorMatrixProduct(w, aLen, n, calc, a);
    if (transferFunction == 1)
        for (int i = 1; i <= n; ++i)
            calc[i] = trainingTransfer(calc[i]);

    const long double u = unity;
    int bec = 0;
    for (int i = 1; i <= n; ++i)
        if (fdiv(std::fabs(static_cast<long double>(b[i]) - calc[i]), u) > tol)
            ++bec;
    berTotal = storeDouble(berTotal + static_cast<long double>(bec) / 2);
    if (bec == 0) {
        r2Sum = storeDouble(static_cast<long double>(r2Sum) + 1.0L);
        return true;
    }
    for (int i = 1; i <= n; ++i)
        calc[i] = storeDouble(static_cast<long double>(b[i]) - calc[i]);
    r2Sum = storeDouble(r2Sum + fitTerm(calc, b, n));
    correctionProduct(a, aLen, calc, n, work, beta);
    // Rows of a zero input add zeros.
    for (int i = 1; i <= aLen; ++i)
        if (a[i] != 0)
            matrixAdd(work, i, n, w, w, i);
    return false;
}

void Trainer::simulationPass()
{
    TextCursor f;
    f.open(*job_.simulation);
    while (!f.eof()) {
        a.fill(0);
        b.fill(0);
        readPattern(a, f, aLen);
        vectorMatrixProduct(w, aLen, bLen, calc, a);
        if (transferFunction == 1)
            for (int j = 1; j <= bLen; ++j)
                calc[j] = logisticTransfer(calc[j]);
    }
}

TrainingResult Trainer::run()
{
    TrainingResult result;
    result.finalR2 = "0.000";
    aFile_.open(job_.aData);
    bFile_.open(job_.bData);
    int presentationNo = 0;
    try {
        // The job's opening: its parameters, and the count that a matrix read
        // from them is checked against. Its starting matrix is built again,
        // from the same files, by the training below.
        readParameters();
        if (runOption == 1)
            countPatterns();

        // The training run.
        if (runOption != 1)
            for (int i = 1; i <= 9; ++i)
                for (int j = 1; j <= 8; ++j)
                    w[cell(i, j)] = 0;
        if (runOption != 1 && maxPresentations != 0)
            buildStartingMatrix();
        const int count = countPatterns();
        presentationNo = 1;
        bool allCorrect = false;
        while (presentationNo <= maxPresentations && !allCorrect) {
            aFile_.rewind();
            bFile_.rewind();
            allCorrect = true;
            r2Sum = 0;
            int missed = 0;
            // Every presentation reads the same values from the same files:
            // the first one keeps them for the others.
            const bool first = presentationNo == 1;
            if (first) {
                aCache.resize(static_cast<size_t>(count) * static_cast<size_t>(aLen));
                bCache.resize(static_cast<size_t>(count) * static_cast<size_t>(bLen));
            }
            for (int m = 1; m <= count; ++m) {
                // The pane shows the input scaled by unity before anything else.
                if (unity == 0)
                    throw RunError(kDivByZero);
                double* const aKept = aCache.data() + static_cast<size_t>(m - 1) * static_cast<size_t>(aLen);
                double* const bKept = bCache.data() + static_cast<size_t>(m - 1) * static_cast<size_t>(bLen);
                if (first) {
                    readPattern(a, aFile_, aLen);
                    readPattern(b, bFile_, bLen);
                    std::copy_n(&a[1], aLen, aKept);
                    std::copy_n(&b[1], bLen, bKept);
                } else {
                    std::copy_n(aKept, aLen, &a[1]);
                    std::copy_n(bKept, bLen, &b[1]);
                }
                const bool ok = testPattern();
                allCorrect = allCorrect && ok;
                missed += !ok;
            }
            const long double r2 = count > 0 ? fdiv(r2Sum, count) : 0;
            result.finalR2 = realTextWD(r2, 9, 3);
            ++presentationNo;
            // The pane lists the matrix scaled by unity after each presentation.
            if (unity == 0)
                throw RunError(kDivByZero);
            result.missedLast = missed;
            if (stop_ && !allCorrect && presentationNo <= maxPresentations &&
                stop_->load(std::memory_order_relaxed)) {
                result.stopped = true;
                break;
            }
        }
        // The final matrix in the pane.
        if (unity == 0)
            throw RunError(kDivByZero);
        if (simulationMode == 1 && !result.stopped)
            simulationPass();
        result.outcome = allCorrect ? Outcome::Recalled : Outcome::Limit;
    } catch (const JobTerminated&) {
        result.outcome = Outcome::Terminated;
    } catch (const RunError&) {
        result.outcome = Outcome::Error;
    }
    result.presentations = std::max(presentationNo - 1, 0);
    const size_t first = result.finalR2.find_first_not_of(' ');
    result.finalR2.erase(0, first == std::string::npos ? result.finalR2.size() : first);
    result.aLen = aLen;
    result.bLen = bLen;
    result.unity = unity;
    result.tol = tol;
    result.w = w;
    return result;
}

// --- The engine's arithmetic, on this state's unity and lengths ---------------------------

void Trainer::outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest) const
{
    const long double u = unity;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) {
            const long double t = mulChecked(mulChecked(fdiv(second[j], u), first[i]), 1.0L);
            dest[cell(i, j)] = static_cast<double>(roundEven(storeDouble(t)));
        }
}

void Trainer::correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest,
                                long double x) const
{
    const long double u = unity;
    if (unity == 0 && n >= 1 && m >= 1)
        throw RunError(kDivByZero);
    // Rows for the same input value are the same row: 0/1 patterns have
    // only two.
    int previous = 0;
    for (int i = 1; i <= n; ++i) {
        // A zero input gives a row of zeros (every factor is finite).
        if (first[i] == 0) {
            for (int j = 1; j <= m; ++j)
                dest[cell(i, j)] = 0;
            continue;
        }
        if (previous != 0 && first[previous] == first[i]) {
            std::copy_n(&dest[cell(previous, 1)], m, &dest[cell(i, 1)]);
            continue;
        }
        for (int j = 1; j <= m; ++j) {
            const long double t =
                fdiv(mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x), u);
            dest[cell(i, j)] = static_cast<double>(roundEven(storeDouble(t)));
        }
        previous = i;
    }
}

void Trainer::matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest,
                        int fromRow) const
{
    for (int i = fromRow; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) {
            const int c = cell(i, j);
            // Whole numbers add exactly in a double too.
            if (smallWhole(first[c]) && smallWhole(second[c])) {
                dest[c] = second[c] + first[c];
                continue;
            }
            const long double s = static_cast<long double>(second[c]) + first[c];
            if (std::isnan(s))
                throw RunError(kInvalidOp);
            dest[c] = storeDouble(s);
        }
}

void Trainer::vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in) const
{
    for (int j = 1; j <= k; ++j)
        out[j] = 0;
    const long double u = unity;
    // A division by zero fails whatever is divided.
    if (unity == 0 && n >= 1 && k >= 1)
        throw RunError(kDivByZero);
    for (int j = 1; j <= k; ++j)
        for (int i = 1; i <= n; ++i) {
            const double x = in[i];
            const double w = m[cell(i, j)];
            // The shortcuts give exactly what the general step gives (the sums
            // are whole numbers): a zero input adds a zero, and an input of
            // unity adds a whole-number cell itself while cell * unity is
            // exact and the sum stays well inside the 53-bit integers.
            if (x == 0 && std::isfinite(w))
                continue;
            if (x == unity && std::fabs(w) < 0x1p31 && std::fabs(out[j]) < 0x1p50 && w == std::trunc(w)) {
                out[j] = out[j] + w;
                continue;
            }
            const long double t = fdiv(mulChecked(w, x), u) + out[j];
            if (std::isnan(t))
                throw RunError(kInvalidOp);
            out[j] = static_cast<double>(roundEven(storeDouble(t)));
        }
}

double Trainer::trainingTransfer(double v) const
{
    const double e = transferExponent(fdiv(v, unity));
    const long double d = 1 - static_cast<long double>(e);
    if (std::fabs(d) < 0.0001L)
        return storeDouble(static_cast<long double>(unity) * (d >= 0 ? 10000 : -10000));
    return static_cast<double>(roundEven(fdiv(1, d) * unity));
}

double Trainer::logisticTransfer(double v) const
{
    const double e = transferExponent(fdiv(v, unity));
    return static_cast<double>(roundEven(fdiv(1, 1 + static_cast<long double>(e)) * unity));
}

long double Trainer::fitTerm(const Vector& e, const Vector& bv, int n) const
{
    const long double u = unity;
    long double sum = 0;
    for (int i = 1; i <= n; ++i) {
        const long double t = bv[i] != 0 ? fdiv(e[i], bv[i]) + 1 : fdiv(e[i], u);
        sum += t * t;
    }
    const long double s = fdiv(sum, n);
    const long double term = s * s;
    if (std::isnan(term))
        throw RunError(kInvalidOp);
    return term;
}

} // namespace

TrainingResult trainInMemory(const JobTexts& job, const std::atomic<bool>* stop)
{
    auto trainer = std::make_unique<Trainer>(job, stop);
    return trainer->run();
}

} // namespace duolink::analysis
