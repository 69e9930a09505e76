#pragma once
// The test of one pattern pair against the W matrix, and its correction.
#include "core/engine/state.h"

namespace duolink {

bool testPattern(const Vector& a, const Vector& b, int aLength, Matrix& w, int n);
bool scorePattern(const Vector& b, const Vector& c, int n);
void errorVector(const Vector& b, Vector& c, int n);
// Fit term of a missed pair: mean of the squared t_i, squared.
long double fitTerm(const Vector& e, const Vector& b, int n);
void correctWeights(Matrix& w, const Vector& a, const Vector& e, int aLength, int n);
// e^-x of the transfer functions, held as a double, with fixed values beyond
// |x| >= 32.
double transferExponent(long double x);
double trainingTransfer(double v);

} // namespace duolink
