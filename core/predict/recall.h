#pragma once
// Recall of a B pattern from an A pattern through the W matrix:
// EngineState::recallB and useWindowShapeBeforeAnyJob (state.h).
#include "core/engine/state.h"
