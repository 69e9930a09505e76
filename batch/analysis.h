// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runner's analyses: --capacity and --sweep-out, trained in memory.
#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "batch/usage.h"
#include "core/analysis/analyses.h"
#include "core/parameters/paramsfile.h"

namespace duolink::batch {

struct AnalysisArguments {
    EngineOptions engineOptions; // from the environment, as the Solve's
    std::string capacityFile;
    std::string sweepFile;
    analysis::CapacityOptions capacity;
    std::string keepSets;
    std::vector<analysis::SweepAxis> axes;
    ParametersEdit settings;                        // --set, as for the Solve
    int jobs = 0;                                   // 0: every core
    analysis::Shard shard;
    std::vector<std::string> command;               // the runner's arguments, for the provenance
    bool progress = false;                          // a progress line on standard error

    bool wanted() const { return !capacityFile.empty() || !sweepFile.empty(); }
};

// Takes the value of an analysis option. Returns the usage error, if any;
// false in `taken` when `id` is no analysis option.
std::optional<std::string> takeAnalysisOption(OptionId id, const std::string& name, const std::string& value,
                                              AnalysisArguments& args, bool& taken);
// The error in a set of analysis options that only makes sense together.
std::optional<std::string> checkAnalysisArguments(const AnalysisArguments& args);

// "STEP: stopped after N of M rows", on standard error.
void reportStopped(const std::string& step, size_t rows, size_t total);

// Runs the analysis on the job folder `dir`; `patternsFile` (absolute, or
// empty) replaces its data files for a sweep. `stop` set (by a signal)
// ends it after the rows finished so far. Returns the exit status.
int runAnalysis(const AnalysisArguments& args, const std::string& dir, const std::string& patternsFile,
                const std::string& patternsShown, const std::atomic<bool>& stop);

} // namespace duolink::batch
