#include "core/analysis/memtrain.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
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
// limit would, and stops it there. The matrices of the last presentations
// are kept for this, within a fixed memory budget.
class Recorder : public TrainingObserver {
public:
    Recorder(EngineState& engine, const std::atomic<bool>* stop) : engine_(engine), stop_(stop) {}
    void trainingStarted(const TrainingStart& start) override
    {
        cells_ = std::clamp(start.aLen * start.bLen, 0, kMatrixCells);
        // A simulation pass would feed its inputs through the matrix the
        // engine stops with, so a run that has one is trained to the end.
        if (engine_.simulationMode == 1 || start.maxPresentations < 2 || cells_ == 0)
            return;
        const size_t slots = std::min({kHistoryBytes / (sizeof(double) * static_cast<size_t>(cells_ + 2)),
                                       kMaxHistory, static_cast<size_t>(start.maxPresentations)});
        presentations_.assign(slots, 0);
        hashes_.assign(slots, 0);
        matrices_.assign(slots * static_cast<size_t>(cells_), 0);
    }
    void presentationMade(const PresentationRecord& record) override
    {
        missedLast = record.missedPairs;
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            engine_.requestStop();
            return;
        }
        const int limit = engine_.maxPresentations;
        if (presentations_.empty() || record.allRecalled || record.presentation >= limit)
            return;
        if (stopAt_ != 0) {
            if (record.presentation == stopAt_)
                stopInStep();
            return;
        }
        const double* w = &engine_.wMatrix[1];
        const std::uint64_t hash = hashCells(w);
        for (size_t k = 0; k < hashes_.size(); ++k) {
            if (hashes_[k] != hash || presentations_[k] == 0 ||
                std::memcmp(matrix(k), w, sizeof(double) * static_cast<size_t>(cells_)) != 0)
                continue;
            const int period = record.presentation - presentations_[k];
            stopAt_ = record.presentation + (limit - record.presentation) % period;
            if (stopAt_ == record.presentation)
                stopInStep();
            return;
        }
        const size_t slot = static_cast<size_t>(record.presentation) % presentations_.size();
        presentations_[slot] = record.presentation;
        hashes_[slot] = hash;
        std::copy_n(w, cells_, matrix(slot));
    }
    void solveEnded(RunEnd) override {}
    bool readsR2() const override { return false; }

    int missedLast = 0;
    // The run stopped in a cycle, in step with its limit: it ends as the
    // limit would have ended it.
    bool endsAtLimit = false;

private:
    static constexpr size_t kHistoryBytes = 1 << 20;
    static constexpr size_t kMaxHistory = 512;

    void stopInStep()
    {
        endsAtLimit = true;
        engine_.requestStop();
    }
    std::uint64_t hashCells(const double* w) const
    {
        std::uint64_t h = 0x9e3779b97f4a7c15u;
        for (int i = 0; i < cells_; ++i) {
            std::uint64_t bits;
            std::memcpy(&bits, &w[i], sizeof bits);
            h = (h ^ bits) * 0xff51afd7ed558ccdu;
            h ^= h >> 32;
        }
        return h;
    }
    double* matrix(size_t slot) { return matrices_.data() + slot * static_cast<size_t>(cells_); }

    EngineState& engine_;
    const std::atomic<bool>* stop_;
    int cells_ = 0;
    int stopAt_ = 0; // the presentation in step with the limit, once found
    // The matrices the last presentations ended with, each in slot
    // presentation % slots.
    std::vector<int> presentations_; // 0: an empty slot
    std::vector<std::uint64_t> hashes_;
    std::vector<double> matrices_;
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
    result.presentations = std::max(engine->presentationNo - 1, 0);
    result.missedLast = recorder.missedLast;
    const std::optional<long double> r2 = engine->finalR2;
    result.matrix.w = engine->wMatrix;
    result.matrix.calc = engine->calcVector;
    if (recorder.endsAtLimit)
        result.presentations = engine->maxPresentations;
    result.finalR2 = r2 ? realTextWD(*r2, 9, 3) : std::string("0.000");
    const size_t first = result.finalR2.find_first_not_of(' ');
    result.finalR2.erase(0, first == std::string::npos ? result.finalR2.size() : first);
    result.matrix.aLen = engine->aLen;
    result.matrix.bLen = engine->bLen;
    result.unity = engine->unity;
    result.tol = engine->tol;
    return result;
}

} // namespace duolink::analysis
