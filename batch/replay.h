// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --replay FILE.json [OUT]: the analysis a provenance file describes, run
// again from its folder and list, its rows to OUT (standard output when
// not given), so that they can be compared with the file it describes.
#include <atomic>
#include <functional>
#include <string>

#include "batch/arguments.h"
#include "batch/jobrecord.h"

namespace duolink::batch {

// Runs the Solve and the steps of a job (a recall table's or noise table's
// command, trimmed to what makes that table); returns the exit status.
using JobRunner = std::function<int(Arguments&, const JobRecord&)>;

// Returns the exit status.
int replayAnalysis(const std::string& sidecar, const std::string& out, bool quiet, const std::atomic<bool>& stop,
                   const JobRunner& runJob);

} // namespace duolink::batch
