// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One training held in memory with everything a caller may look at
// afterwards: the statistics of every presentation (as --stats writes them),
// the final matrix for recalls, and on request the report file. The engine
// runs quiet unless a report is asked for; the arithmetic, the presentations
// and the outcome are the runner's either way.
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/analysis/memtrain.h"
#include "core/engine/observer.h"

namespace duolink::analysis {

struct ListTraining {
    Outcome outcome = Outcome::Terminated;
    bool stopped = false;             // the stop flag ended it; the rest is as far as it came
    int presentations = 0;            // as the report's count of presentations
    std::optional<double> finalR2;    // the R2 field's value; none before the first presentation
    std::string finalR2Text = "0.000"; // the R2 field's text without its padding
    int missedLast = 0;               // pairs missed in the last presentation made
    std::vector<PresentationRecord> stats;
    std::string failure;              // why an Error or Terminated run ended
    // The state after the run: what a recall through the trained matrix needs.
    RecallSnapshot matrix;
    int unity = 0;
    double tol = 0;
};

// Trains on `job`. `stop`, when given, is looked at after every
// presentation, and so is `stopRequested` (on the training's thread: for a
// caller that must look at its signals there). With `reportPath` the report
// is written as the runner writes it and then replaces that file whole;
// raises RunError when it cannot.
ListTraining trainList(const JobTexts& job, const std::atomic<bool>* stop = nullptr,
                       const std::string& reportPath = {}, const std::function<bool()>& stopRequested = {});

} // namespace duolink::analysis
