#include "core/analysis/memtrain.h"

#include <algorithm>
#include <memory>

#include "core/support/errors.h"
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
class Recorder : public TrainingObserver {
public:
    Recorder(EngineState& engine, const std::atomic<bool>* stop) : engine_(engine), stop_(stop) {}
    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& record) override
    {
        missedLast = record.missedPairs;
        if (stop_ && stop_->load(std::memory_order_relaxed))
            engine_.requestStop();
    }
    void solveEnded(RunEnd) override {}

    int missedLast = 0;

private:
    EngineState& engine_;
    const std::atomic<bool>* stop_;
};

} // namespace

TrainingResult trainInMemory(const JobTexts& job, const std::atomic<bool>* stop)
{
    // The engine itself, quiet, on the texts. A file the job does not have
    // is looked for under /dev/null, where no file can be: it is missing.
    auto engine = std::make_unique<EngineState>();
    engine->quiet = true;
    engine->jobFolder = "/dev/null";
    if (job.parameters)
        engine->setJobFileText(kParametersFileName, *job.parameters);
    engine->setJobFileText(kADataFileName, job.aData);
    engine->setJobFileText(kBDataFileName, job.bData);
    if (job.simulation)
        engine->setJobFileText(kSimulationFileName, *job.simulation);
    Recorder recorder(*engine, stop);
    engine->trainingObserver = &recorder;

    TrainingResult result;
    try {
        switch (engine->solveExistingJob()) {
        case RunEnd::Recalled: result.outcome = Outcome::Recalled; break;
        case RunEnd::Limit: result.outcome = Outcome::Limit; break;
        case RunEnd::Stopped:
            result.outcome = Outcome::Limit;
            result.stopped = true;
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
    result.presentations = std::max(engine->presentationNo - 1, 0);
    result.missedLast = recorder.missedLast;
    result.finalR2 = engine->finalR2Text.empty() ? std::string("0.000") : engine->finalR2Text;
    const size_t first = result.finalR2.find_first_not_of(' ');
    result.finalR2.erase(0, first == std::string::npos ? result.finalR2.size() : first);
    result.matrix.w = engine->wMatrix;
    result.matrix.calc = engine->calcVector;
    result.matrix.aLen = engine->aLen;
    result.matrix.bLen = engine->bLen;
    result.unity = engine->unity;
    result.tol = engine->tol;
    return result;
}

} // namespace duolink::analysis
