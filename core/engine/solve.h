// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Solve command's engine side (EngineState::solveJob and
// solveExistingJob, state.h), and the job's fixed file names.
#include "core/engine/state.h"
#include "core/patterns/patternlist.h"

namespace duolink {

inline constexpr const char* kParametersFileName = "veld200gSetup.dat";
inline constexpr const char* kReportFileName = "vld33res.txt";
inline constexpr const char* kSimulationFileName = "nutest.dat";

} // namespace duolink
