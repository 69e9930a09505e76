#pragma once
// The test of one pattern pair against the W matrix, and its correction:
// EngineState::testPattern, scorePattern, fitTerm, correctWeights and
// trainingTransfer, with errorVector and transferExponent (state.h).
#include "core/engine/state.h"
