#pragma once
// Recall of a B pattern from an A pattern through the W matrix:
// EngineState::recallB and useWindowShapeBeforeAnyJob (state.h).
#include "core/engine/state.h"

namespace duolink {

// A recalled B value from its cell of the result store, which holds it on
// the recall's scale of four decimals: divided in extended precision.
inline double recalledValue(double cell)
{
    return static_cast<double>(static_cast<long double>(cell) / 10000);
}

} // namespace duolink
