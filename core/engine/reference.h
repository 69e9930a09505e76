// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's arithmetic as plain loops: what every training, recall and
// analysis computes, written so that it can be checked against the formulas
// by reading. Each function takes all it needs as arguments and keeps no
// state. The engine's faster steps (EngineState's primitives, the whole-pair
// steps, the vector steps of widerows.h) are alternatives to these that give
// the same bits; EngineOptions::referenceArithmetic makes the engine use
// only these.
//
// Notation: a real r is held as the whole number Round(r * unity); store(x)
// is x stored to a double (storeDouble), Round(x) the nearest whole number
// with ties to even (roundEven); the extended unit computes every
// intermediate value. Stores are 1-based, a matrix's rows `stride` cells apart.
#include "core/engine/checked.h"
#include "core/engine/stores.h"

namespace duolink {

// e^-x of the transfer functions, held as a double, with fixed values beyond
// |x| >= 32.
double transferExponent(long double x);
// c(i) = store(b(i) - c(i)) for i = 1..n.
void errorVector(const Vector& b, Vector& c, int n);

namespace reference {

// Cell (i, j) of a matrix whose rows are `stride` cells apart.
inline int cellIndex(int i, int j, int stride)
{
    return j + (i - 1) * stride;
}

// dest(i,j) = Round(store(((second(j) / unity) * first(i)) * x))
void outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x, int stride,
                  int unity);
// dest(i,j) = Round(store(((first(i) * second(j)) * x) / unity))
void correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x,
                       int stride, int unity);
// dest(i,j) = store(second(i,j) + first(i,j)); dest may be first or second.
void matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest, int stride);
// out(j) = Round(store(w(i,j) * in(i) / unity + out(j))) for i = 1..n in turn,
// from out(j) = 0.
void vectorMatrixProduct(const Matrix& w, int n, int k, Vector& out, const Vector& in, int stride, int unity);

// The training's transfer: with d = 1 - e^-(v / unity),
// Round(unity / d), or store(+-10000 * unity) when |d| < 0.0001.
double trainingTransfer(double v, int unity);
// The simulation's logistic transfer: Round(unity / (1 + e^-(v / unity))).
double logisticTransfer(double v, int unity);

// The count of i = 1..n with |b(i) - c(i)| / unity > tol.
int bitErrors(const Vector& b, const Vector& c, int n, int unity, double tol);
// The fit term of a missed pair with errors e: with t(i) = e(i) / b(i) + 1,
// or e(i) / unity where b(i) is 0, and s the mean of the t(i)^2, s^2.
long double fitTerm(const Vector& e, const Vector& b, int n, int unity);

// One pair's test and correction, for an engine whose parameters are these.
struct PairArithmetic {
    int unity = 0;
    double beta = 0;
    double tol = 0;
    bool transfer = false; // the training's transfer on the products
    int stride = 0;        // the matrix's B length
};
struct PairStep {
    int bitErrors = 0;
    // What the pair adds to the R2 sum: 1 when recalled, else its fit term.
    long double r2Term = 0;
};
// calc = a * w (through the transfer when it is on); the bit errors against
// b; for a miss calc becomes the errors b - calc and
// w = w + Round(store(a(i) * calc(j) * beta / unity)), with `work` holding
// the correction.
PairStep pairTest(const Vector& a, int aLength, const Vector& b, int n, Matrix& w, Vector& calc, Matrix& work,
                  const PairArithmetic& p);

} // namespace reference
} // namespace duolink
