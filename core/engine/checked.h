// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checked extended arithmetic: the engine's divisions, stores to a double and
// roundings, each raising RunError where the arithmetic would fault instead
// of producing infinities or NaN.
#include <cmath>

#include "core/support/errors.h"

namespace duolink {

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

// roundEven of a value already stored to a double, worked out in double
// arithmetic: the same whole number and the same errors, without the
// extended unit.
inline double roundStoredEven(double x)
{
    // The doubles in [-2^63 - 0.5, 2^63 - 0.5) are those in [-2^63, 2^63).
    constexpr double kLimit = 0x1p63;
    if (!(x >= -kLimit && x < kLimit)) [[unlikely]]
        raiseArithmeticError(kInvalidOp);
    // Below 2^52, adding 2^52 rounds to a whole number, ties to even; from
    // 2^52 on every double is whole. Never negative zero.
    const double m = std::fabs(x);
    if (m < 0x1p52)
        return std::copysign((m + 0x1p52) - 0x1p52, x) + 0.0;
    return x + 0.0;
}

// a * b, raising "Invalid floating point operation" for NaN (0 * infinity).
inline long double mulChecked(long double a, long double b)
{
    const long double r = a * b;
    if (std::isnan(r)) [[unlikely]]
        raiseArithmeticError(kInvalidOp);
    return r;
}

} // namespace duolink
