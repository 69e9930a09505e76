// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/reference.h"

#include <cmath>

namespace duolink {

double transferExponent(long double x)
{
    if (x >= 32)
        return 3e-06;
    if (x > -32)
        return static_cast<double>(std::exp(-x));
    return 3000000.0;
}

void errorVector(const Vector& b, Vector& c, int n)
{
    for (int i = 1; i <= n; ++i)
        c[i] = storeDouble(static_cast<long double>(b[i]) - c[i]);
}

namespace reference {

namespace {
// Round(store(x)): roundStoredEven gives roundEven's whole number and errors
// for a value already stored to a double.
double roundStored(long double x)
{
    return roundStoredEven(storeDouble(x));
}
} // namespace

void outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x, int stride,
                  int unity)
{
    const long double u = unity;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j)
            dest[cellIndex(i, j, stride)] = roundStored(mulChecked(mulChecked(fdiv(second[j], u), first[i]), x));
}

void correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x,
                       int stride, int unity)
{
    const long double u = unity;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) {
            const long double product = mulChecked(mulChecked(static_cast<long double>(first[i]), second[j]), x);
            dest[cellIndex(i, j, stride)] = roundStored(fdiv(product, u));
        }
}

void matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest, int stride)
{
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) {
            const int c = cellIndex(i, j, stride);
            const long double s = static_cast<long double>(second[c]) + first[c];
            if (std::isnan(s))
                raiseArithmeticError(kInvalidOp);
            dest[c] = storeDouble(s);
        }
}

void vectorMatrixProduct(const Matrix& w, int n, int k, Vector& out, const Vector& in, int stride, int unity)
{
    const long double u = unity;
    for (int j = 1; j <= k; ++j)
        out[j] = 0;
    for (int j = 1; j <= k; ++j) {
        for (int i = 1; i <= n; ++i) {
            const long double t = fdiv(mulChecked(w[cellIndex(i, j, stride)], in[i]), u) + out[j];
            if (std::isnan(t))
                raiseArithmeticError(kInvalidOp);
            out[j] = roundStored(t);
        }
    }
}

double trainingTransfer(double v, int unity)
{
    const double e = transferExponent(fdiv(v, unity));
    const long double d = 1 - static_cast<long double>(e);
    if (std::fabs(d) < 0.0001L)
        return storeDouble(static_cast<long double>(unity) * (d >= 0 ? 10000 : -10000));
    return static_cast<double>(roundEven(fdiv(1, d) * unity));
}

double logisticTransfer(double v, int unity)
{
    const double e = transferExponent(fdiv(v, unity));
    return static_cast<double>(roundEven(fdiv(1, 1 + static_cast<long double>(e)) * unity));
}

int bitErrors(const Vector& b, const Vector& c, int n, int unity, double tol)
{
    int count = 0;
    for (int i = 1; i <= n; ++i)
        if (fdiv(std::fabs(static_cast<long double>(b[i]) - c[i]), unity) > tol)
            ++count;
    return count;
}

long double fitTerm(const Vector& e, const Vector& b, int n, int unity)
{
    long double sum = 0;
    for (int i = 1; i <= n; ++i) {
        const long double t = b[i] != 0 ? fdiv(e[i], b[i]) + 1 : fdiv(e[i], unity);
        sum += t * t;
    }
    const long double s = fdiv(sum, n);
    const long double term = s * s;
    if (std::isnan(term))
        raiseArithmeticError(kInvalidOp);
    return term;
}

PairStep pairTest(const Vector& a, int aLength, const Vector& b, int n, Matrix& w, Vector& calc, Matrix& work,
                  const PairArithmetic& p)
{
    vectorMatrixProduct(w, aLength, n, calc, a, p.stride, p.unity);
    if (p.transfer)
        for (int i = 1; i <= n; ++i)
            calc[i] = trainingTransfer(calc[i], p.unity);
    PairStep step;
    step.bitErrors = bitErrors(b, calc, n, p.unity, p.tol);
    if (step.bitErrors == 0) {
        step.r2Term = 1;
        return step;
    }
    errorVector(b, calc, n);
    step.r2Term = fitTerm(calc, b, n, p.unity);
    correctionProduct(a, aLength, calc, n, work, p.beta, p.stride, p.unity);
    matrixAdd(work, aLength, n, w, w, p.stride);
    return step;
}

} // namespace reference
} // namespace duolink
