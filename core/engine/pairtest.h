// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The test of one pattern pair against the W matrix, and its correction:
// EngineState::testPattern, scorePattern, fitTerm, correctWeights and
// trainingTransfer (state.h), on the arithmetic of reference.h.
#include "core/engine/state.h"
