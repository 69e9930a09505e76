// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A training held entirely in memory: the runner's Solve on a folder's job
// files, made by the engine itself in quiet mode on the texts of those files
// (EngineState::setJobFileText). It writes no report and no pane lines; the
// presentations, the final matrix, the outcome and the R2 text are the
// runner's. Each call has an engine state of its own, so many trainings can
// run at once on different threads.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/analysis/exactrecall.h"
#include "core/engine/state.h"

namespace duolink::analysis {

// The job files of a folder, by their contents.
struct JobTexts {
    std::optional<std::string> parameters; // veld200gSetup.dat; none when missing
    std::string aData;                     // adata200.dat
    std::string bData;                     // bdata200.dat
    std::optional<std::string> simulation; // nutest.dat, when the folder has one
    // What reading the data texts gives, where known (jobDataText).
    std::shared_ptr<const KnownReads> aReads;
    std::shared_ptr<const KnownReads> bReads;
    // How the training's engine does its arithmetic.
    EngineOptions options;
};

// How a training ended, as the runner tells it: every pair recalled, the
// presentation limit reached, a file or arithmetic error, or a fatal input
// error that terminated the job.
enum class Outcome { Recalled, Limit, Error, Terminated };
std::string_view outcomeName(Outcome outcome);

struct TrainingResult {
    Outcome outcome = Outcome::Terminated;
    bool stopped = false;   // the stop flag cut the training short; no result
    int presentations = 0;  // presentations completed ("Number of Presenatations")
    std::string finalR2;    // the R2 field's text without its padding
    double finalR2Value = 0; // the value it shows; 0 before the first presentation
    int missedLast = 0;     // pairs missed in the last completed presentation
    // The state after the run: what a recall through the trained matrix needs.
    RecallSnapshot matrix;  // the matrix, its shape and the result store
    int unity = 0;
    double tol = 0;
};

// Trains on `job`. `stop`, when given, is looked at after every
// presentation; a set flag ends the training with `stopped` true.
TrainingResult trainInMemory(const JobTexts& job, const std::atomic<bool>* stop = nullptr);

} // namespace duolink::analysis
