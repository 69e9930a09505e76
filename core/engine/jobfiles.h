#pragma once
// Job data files, the parameters file and the readers behind them: the
// readers are EngineState::readParameters, readAVector, countPatterns, ...
// (state.h).
#include <filesystem>

#include "core/engine/state.h"
#include "core/patterns.h"

namespace duolink {

// Writes "adata200.dat" and "bdata200.dat" from the pattern list, each closed
// by a "9999" line, into `folder` (the current folder when empty), and notes
// the list as written. The two are replaced together: on failure both old
// files stay as they were.
void writeJobFiles(PatternList& list, const std::filesystem::path& folder);

} // namespace duolink
