#pragma once
// The two engine runs a Solve starts, the job opening and the training run:
// EngineState::jobOpening, trainingRun and their steps (state.h).
#include "core/engine/state.h"
