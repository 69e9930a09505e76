// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Job data files, the parameters file and the readers behind them: the
// readers are EngineState::readParameters, readAVector, countPatterns, ...
// (state.h); the writer of the data files is the pattern list's
// (patternlist.h).
#include "core/engine/state.h"
#include "core/patterns/patternlist.h"

#include <string>
#include <vector>

#include "core/support/fileclash.h"

namespace duolink {

// The simulation file in `folder` as a Solve finds it: "nutest.dat", else the
// first regular file of that name in another letter case; "" for none.
std::string findSimulationFile(const std::string& folder);

// The job files a run reads in `folder` ("" for the current one): the
// parameters file, both data files and the simulation file, if any. Every
// step that reads the job's files checks its outputs against this one list.
std::vector<FileUse> jobInputUses(const std::string& folder);

} // namespace duolink
