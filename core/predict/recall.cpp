// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/predict/recall.h"

#include <algorithm>

#include "core/engine/checked.h"
#include "core/engine/state.h"
#include "core/support/errors.h"

#include <string>
#include <vector>

namespace duolink {

namespace {
constexpr int kInputCount = 9;
constexpr int kResultCount = 8;
} // namespace

void EngineState::useWindowShapeBeforeAnyJob()
{
    if (aLen == 0 && bLen == 0) {
        aLen = kInputCount;
        bLen = kResultCount;
    }
}

void EngineState::recallB(const TPatternVector& a, TPatternVector& b)
{
    useWindowShapeBeforeAnyJob();
    unity = kRecallUnity;

    // The scaled input: the product is taken in extended precision and
    // rounded from there, without passing through a double first.
    Vector x{};
    for (int i = 1; i <= kInputCount; ++i)
        x[i] = static_cast<double>(roundEven(static_cast<long double>(kRecallUnity) * a[i]));

    consoleWrite(" INPUT ");
    printScaledVector(x, kInputCount);

    vectorMatrixProduct(wMatrix, aLen, bLen, calcVector, x);

    consoleWrite(" RESULT ");
    printScaledVector(calcVector, kResultCount);
    consoleWriteLn("");

    for (int j = 1; j <= kResultCount; ++j)
        b[j] = recalledValue(calcVector[j]);
}

void recallAnyLength(EngineState& engine, const double* a, double* out)
{
    engine.recallValuesInto(a, out);
}

void EngineState::recallValuesInto(const double* a, double* out)
{
    unity = kRecallUnity;
    const int inputs = std::clamp(aLen, 0, kVectorSize);
    const int results = std::clamp(bLen, 0, kVectorSize);
    Vector x{};
    for (int i = 1; i <= inputs; ++i)
        x[i] = static_cast<double>(roundEven(static_cast<long double>(kRecallUnity) * a[i - 1]));
    vectorMatrixProduct(wMatrix, inputs, results, calcVector, x);
    for (int j = 1; j <= results; ++j)
        out[j - 1] = recalledValue(calcVector[j]);
}

std::vector<double> EngineState::recallShapedB(const std::vector<double>& a)
{
    if (static_cast<int>(a.size()) != aLen)
        throw RunError("the matrix takes A patterns of " + std::to_string(aLen) + " values, not " +
                       std::to_string(a.size()) + "; Solve the list first");
    unity = kRecallUnity;
    Vector x{};
    for (int i = 1; i <= aLen; ++i)
        x[i] = static_cast<double>(roundEven(static_cast<long double>(kRecallUnity) * a[i - 1]));

    consoleWrite(" INPUT ");
    printScaledVector(x, aLen);

    vectorMatrixProduct(wMatrix, aLen, bLen, calcVector, x);

    consoleWrite(" RESULT ");
    printScaledVector(calcVector, bLen);
    consoleWriteLn("");

    std::vector<double> b(static_cast<size_t>(bLen));
    for (int j = 1; j <= bLen; ++j)
        b[j - 1] = recalledValue(calcVector[j]);
    return b;
}

} // namespace duolink
