// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recall of a B pattern from an A pattern through the W matrix:
// EngineState::recallB and useWindowShapeBeforeAnyJob (state.h).
#include "core/engine/state.h"

namespace duolink {

// Prediction always works on the scale of four decimals.
inline constexpr int kRecallUnity = 10000;

// A recalled B value from its cell of the result store, which holds it on
// the recall's scale: divided in extended precision.
inline double recalledValue(double cell)
{
    return static_cast<double>(static_cast<long double>(cell) / kRecallUnity);
}

// A recall of patterns of any length, scaled and multiplied as recallB does
// it: `a` holds the engine's A Len inputs (a[0] the first), `out` gets its
// B Len results. Writes nothing to the pane. Raises RunError on an
// arithmetic fault, as Predict does.
void recallAnyLength(EngineState& engine, const double* a, double* out);

} // namespace duolink
