#pragma once
// Job data files, the parameters file and the readers behind them: the
// readers are EngineState::readParameters, readAVector, countPatterns, ...
// (state.h); the writer of the data files is the pattern list's
// (patternlist.h).
#include "core/engine/state.h"
#include "core/patterns/patternlist.h"
