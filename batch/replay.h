// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --replay FILE.json [OUT]: the analysis a provenance file describes, run
// again from its folder and list, its rows to OUT (standard output when
// not given), so that they can be compared with the file it describes.
#include <atomic>
#include <string>

namespace duolink::batch {

// Returns the exit status.
int replayAnalysis(const std::string& sidecar, const std::string& out, bool quiet, const std::atomic<bool>& stop);

} // namespace duolink::batch
