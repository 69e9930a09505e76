// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The training run's statistics, as the engine hands them out: one record per
// presentation, plus the run's start and end. Beside the console sinks; with
// no observer plugged in, the engine only tests one pointer per presentation.
#include <string_view>

namespace duolink {

// What the training works on, known once the parameters are read.
struct TrainingStart {
    int patternCount = 0;
    int maxPresentations = 0;
    double beta = 0;
    double tol = 0;
    int aLen = 0;
    int bLen = 0;
    int unity = 0;
};

// One presentation (a pass over every pair).
struct PresentationRecord {
    int presentation = 0;
    double r2 = 0;          // the value the R2 field shows
    int missedPairs = 0;
    int bitErrors = 0;      // the presentation's BEC sum
    double berTotal = 0;    // the running BER after it
    bool allRecalled = false;
};

enum class RunEnd { Recalled, Limit, Stopped, Terminated, Error };

// "recalled", "limit", ...: for summaries and machine-read files.
std::string_view runEndName(RunEnd end);

// Every call comes from the thread that runs the engine. The matrix and the
// other engine state may be read during a call; cells as cellIndex says.
class TrainingObserver {
public:
    virtual ~TrainingObserver() = default;
    // A Solve begins: the previous run is over.
    virtual void solveStarted() {}
    virtual void trainingStarted(const TrainingStart& start) = 0;
    virtual void presentationMade(const PresentationRecord& record) = 0;
    // Whether presentationMade reads the record's r2. A quiet engine makes
    // R2 only for the last presentation when no one reads it, and passes
    // NaN then.
    virtual bool readsR2() const { return true; }
    // The Solve has ended; Terminated and Error also when it never trained.
    virtual void solveEnded(RunEnd end) = 0;
    // Load Matrix has replaced the 9 x 8 block of the matrix.
    virtual void matrixLoaded() {}
};

} // namespace duolink
