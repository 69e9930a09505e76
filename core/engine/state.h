#pragma once
// The engine's single state and its fixed-point arithmetic.
//
// A real r is held as the whole number Round(r * unity) in a double.
// Intermediate results are computed in extended precision (long double,
// 64-bit significand), stored to a double where noted, then rounded to the
// nearest whole number with ties to even. Arithmetic faults raise RunError
// instead of producing infinities or NaN.
#include <array>
#include <cmath>
#include <string>

#include "core/engine/errors.h"
#include "core/engine/textfile.h"

namespace duolink {

constexpr int kMatrixCells = 2700;
constexpr int kVectorSize = 128;

// 1-based stores: element 0 is unused.
using Matrix = std::array<double, kMatrixCells + 1>;
using Vector = std::array<double, kVectorSize + 1>;

extern Matrix wMatrix;
extern Matrix deltaMatrix;
extern Matrix workMatrix;
extern Vector aVector;
extern Vector bVector;
extern Vector calcVector;

extern int aLen;
extern int bLen;
extern int dataPatternCount;
extern int runOption;
extern int presentationNo;
extern int maxPresentations;
extern int simulationMode;
extern int transferFunction;
extern int unity;
extern double beta;
extern double limit;
extern double tol;

extern TextReader aDataFile;
extern TextReader bDataFile;
extern ReportFile reportFile;

// Pair-test accumulators.
extern double r2Sum;
extern double berTotal;

// Puts every number of the engine state back to zero and closes its files.
void resetEngineState();

// --- Checked extended arithmetic -------------------------------------------

// Raises RunError with `message`; kept out of line so that the checks
// below stay small enough to inline.
[[noreturn]] void raiseArithmeticError(const char* message);

// a / b, raising "Floating point division by zero" or, for 0/0,
// "Invalid floating point operation".
inline long double fdiv(long double a, long double b)
{
    if (b == 0) [[unlikely]]
        raiseArithmeticError(a == 0 || std::isnan(a) ? kInvalidOp : kDivByZero);
    const long double q = a / b;
    if (std::isnan(q)) [[unlikely]]
        raiseArithmeticError(kInvalidOp);
    return q;
}

// Stores an extended value to a double; a finite value beyond the double
// range raises "Floating point overflow", NaN "Invalid floating point operation".
inline double storeDouble(long double x)
{
    const double d = static_cast<double>(x);
    if (std::isnan(x)) [[unlikely]]
        raiseArithmeticError(kInvalidOp);
    // Values that round down to DBL_MAX still fit.
    if (std::isinf(d) && std::isfinite(x)) [[unlikely]]
        raiseArithmeticError(kOverflow);
    return d;
}

// Nearest whole number, ties to even; NaN, infinities and values outside the
// 64-bit integer range raise "Invalid floating point operation".
inline long double roundEven(long double x)
{
    // The 64-bit integer range: [-2^63, 2^63).
    constexpr long double kLimit = 9223372036854775808.0L;
    if (!(x >= -kLimit - 0.5L && x < kLimit - 0.5L)) [[unlikely]]
        raiseArithmeticError(kInvalidOp);
    // A whole number, never negative zero.
    return std::rint(x) + 0.0L;
}

// --- Matrix primitives -------------------------------------------------------

inline int cellIndex(int i, int j) { return j + (i - 1) * bLen; }

// dest(i,j) = Round(store(((second(j) / unity) * first(i)) * x))
void outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x);
// dest(i,j) = Round(store(((first(i) * second(j)) * x) / unity))
void correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x);
// dest(i,j) = store(second(i,j) + first(i,j)); dest may be first or second.
void matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest);
// out(j) = running sum over rows, rounded after every row.
void vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in);

// --- Printing ------------------------------------------------------------------

// One pane line: each value / unity in 9 characters with 5 decimals and a blank,
// behind whatever is pending.
void printScaledVector(const Vector& v, int n);
// " ===== W Matrix ====== " and the matrix in blocks of 16 columns.
void printWMatrix(const Matrix& m, int rows, int cols);
// Writes the vector into the current report line in the short exponent form.
void writeVectorReport(const Vector& v, int n);

// Ends the job after a fatal input error: writes "PROGRAM DONE", closes the
// report file and throws JobTerminated.
[[noreturn]] void programDone();

} // namespace duolink
