// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/memtrain.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/support/errors.h"
#include "core/support/numtext.h"
#include "core/engine/solve.h"
#include "core/engine/observer.h"

namespace duolink::analysis {

std::string_view outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Recalled: return "recalled";
    case Outcome::Limit: return "limit";
    case Outcome::Error: return "error";
    case Outcome::Terminated: return "terminated";
    }
    return "error";
}

namespace {

// Keeps what the result needs from each presentation, and passes an outside
// stop request on to the engine between presentations.
//
// A presentation is a function of the matrix it starts with: the pairs, the
// parameters and the order are fixed for the run. So when a presentation
// ends with a matrix that an earlier one ended with, the run has entered a
// cycle of `period` presentations, and every later presentation repeats the
// one `period` before it. The recorder then lets the run go on only to the
// next presentation in step with the limit, which leaves everything as the
// limit would, and stops it there. It finds cycles as Brent's method does:
// it keeps the matrix of one presentation and compares the later ones with
// it, keeping a new one each time the distance reaches the next power of two.
class Recorder : public TrainingObserver {
public:
    Recorder(EngineState& engine, const std::atomic<bool>* stop) : engine_(engine), stop_(stop) {}
    void trainingStarted(const TrainingStart& start) override
    {
        cells_ = std::clamp(start.aLen * start.bLen, 0, kMatrixCells);
        // A simulation pass would feed its inputs through the matrix the
        // engine stops with, so a run that has one is trained to the end.
        watches_ = engine_.state().simulationMode != kSimulationPass && start.maxPresentations >= 2 && cells_ > 0;
    }
    void presentationMade(const PresentationRecord& record) override
    {
        missedLast = record.missedPairs;
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            engine_.requestStop();
            return;
        }
        const int limit = engine_.state().maxPresentations;
        if (!watches_ || record.allRecalled || record.presentation >= limit)
            return;
        if (stopAt_ != 0) {
            if (record.presentation == stopAt_)
                stopInStep();
            return;
        }
        const double* w = &engine_.state().wMatrix[1];
        if (keptAt_ != 0 && std::memcmp(kept_.data(), w, sizeof(double) * static_cast<size_t>(cells_)) == 0) {
            const int period = record.presentation - keptAt_;
            stopAt_ = record.presentation + (limit - record.presentation) % period;
            if (stopAt_ == record.presentation)
                stopInStep();
            return;
        }
        if (keptAt_ == 0 || record.presentation - keptAt_ == distance_) {
            kept_.assign(w, w + cells_);
            keptAt_ = record.presentation;
            distance_ *= 2;
        }
    }
    void solveEnded(RunEnd) override {}
    bool readsR2() const override { return false; }

    int missedLast = 0;
    // The run stopped in a cycle, in step with its limit: it ends as the
    // limit would have ended it.
    bool endsAtLimit = false;

private:
    void stopInStep()
    {
        endsAtLimit = true;
        engine_.requestStop();
    }

    EngineState& engine_;
    const std::atomic<bool>* stop_;
    bool watches_ = false;
    int cells_ = 0;
    std::vector<double> kept_; // the matrix a presentation ended with
    int keptAt_ = 0;           // that presentation; 0 before the first
    int distance_ = 1;         // when the next one is kept
    int stopAt_ = 0;           // the presentation in step with the limit, once found
};

} // namespace

TrainingResult trainInMemory(const JobTexts& job, const std::atomic<bool>* stop)
{
    // The engine itself, quiet, on the texts. A file the job does not have
    // is looked for under /dev/null, where no file can be: it is missing.
    // On the stack: a training is short, and many follow one another.
    EngineState engine;
    engine.setQuiet(true);
    engine.setOptions(job.options);
    engine.setJobFolder("/dev/null");
    if (job.parameters)
        engine.setJobFileText(kParametersFileName, *job.parameters);
    engine.setJobFileText(kADataFileName, job.aData, job.aReads);
    engine.setJobFileText(kBDataFileName, job.bData, job.bReads);
    if (job.simulation)
        engine.setJobFileText(kSimulationFileName, *job.simulation);
    Recorder recorder(engine, stop);
    engine.setTrainingObserver(&recorder);

    TrainingResult result;
    try {
        switch (engine.solveExistingJob()) {
        case RunEnd::Recalled: result.outcome = Outcome::Recalled; break;
        case RunEnd::Limit: result.outcome = Outcome::Limit; break;
        case RunEnd::Stopped:
            result.outcome = Outcome::Limit;
            result.stopped = !recorder.endsAtLimit;
            break;
        case RunEnd::Terminated: result.outcome = Outcome::Terminated; break;
        case RunEnd::Error: result.outcome = Outcome::Error; break;
        }
    } catch (const JobTerminated&) {
        result.outcome = Outcome::Terminated;
    } catch (const RunError&) {
        result.outcome = Outcome::Error;
    }
    // What the report's count of presentations shows: a run that fails
    // while it shows a presentation's matrix counts that presentation.
    result.presentations = std::max(engine.state().presentationNo - 1, 0);
    result.missedLast = recorder.missedLast;
    const std::optional<long double> r2 = engine.state().finalR2;
    result.matrix.w = engine.state().wMatrix;
    result.matrix.calc = engine.state().calcVector;
    if (recorder.endsAtLimit)
        result.presentations = engine.state().maxPresentations;
    result.finalR2 = r2 ? realTextWD(*r2, 9, 3) : std::string("0.000");
    result.finalR2Value = r2 ? static_cast<double>(*r2) : 0;
    const size_t first = result.finalR2.find_first_not_of(' ');
    result.finalR2.erase(0, first == std::string::npos ? result.finalR2.size() : first);
    result.matrix.aLen = engine.state().aLen;
    result.matrix.bLen = engine.state().bLen;
    result.matrix.options = job.options;
    result.unity = engine.state().unity;
    result.tol = engine.state().tol;
    return result;
}

} // namespace duolink::analysis
