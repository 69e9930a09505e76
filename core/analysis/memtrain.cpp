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

// What a presentation leaves behind, as far as the result needs it.
struct PresentationEnd {
    std::vector<double> w; // the matrix cells the presentations change
    std::vector<double> calc; // calc(1..B Len)
    std::optional<long double> r2;
    int missed = 0;
};

// Keeps what the result needs from each presentation, and passes an outside
// stop request on to the engine between presentations.
//
// A presentation is a function of the matrix it starts with: the pairs, the
// parameters and the order are fixed for the run. So when a presentation
// ends with a matrix that an earlier one ended with, the run has entered a
// cycle, and every later presentation repeats one already made. The recorder
// then knows how the run ends at its limit without making the rest: it stops
// the engine and keeps the state the last presentation would have left.
// The last presentations are kept for this, within a fixed memory budget.
class Recorder : public TrainingObserver {
public:
    Recorder(EngineState& engine, const std::atomic<bool>* stop) : engine_(engine), stop_(stop) {}
    void trainingStarted(const TrainingStart& start) override
    {
        cells_ = std::clamp(start.aLen * start.bLen, 0, kMatrixCells);
        outputs_ = std::clamp(start.bLen, 0, kVectorSize);
        // A simulation pass would feed its inputs through the matrix the
        // engine stops with, so a run that has one is trained to the end.
        if (engine_.simulationMode == 1 || start.maxPresentations < 2)
            return;
        const size_t stride = static_cast<size_t>(cells_ + outputs_);
        const size_t slots = std::min({kHistoryBytes / (sizeof(double) * (stride + 4)), kMaxHistory,
                                       static_cast<size_t>(start.maxPresentations)});
        presentations_.assign(slots, 0);
        hashes_.assign(slots, 0);
        missed_.assign(slots, 0);
        r2s_.assign(slots, {});
        states_.assign(slots * stride, 0);
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
        const double* w = &engine_.wMatrix[1];
        const std::uint64_t hash = hashCells(w);
        for (size_t k = 0; k < hashes_.size(); ++k) {
            if (hashes_[k] != hash || presentations_[k] == 0 ||
                std::memcmp(state(k), w, sizeof(double) * static_cast<size_t>(cells_)) != 0)
                continue;
            // Presentation q + k repeats presentation q + (k - 1) % period + 1
            // for every k >= 1: the limit repeats `last`.
            const int q = presentations_[k], period = record.presentation - q;
            const int last = q + (limit - q - 1) % period + 1;
            keep(record, hash);
            const size_t slot = static_cast<size_t>(last) % presentations_.size();
            const double* kept = state(slot);
            final = PresentationEnd{{kept, kept + cells_}, {kept + cells_, kept + cells_ + outputs_},
                                    r2s_[slot], missed_[slot]};
            engine_.requestStop();
            return;
        }
        keep(record, hash);
    }
    void solveEnded(RunEnd) override {}

    int missedLast = 0;
    // Set when a cycle was found: the state at the presentation limit.
    std::optional<PresentationEnd> final;

private:
    static constexpr size_t kHistoryBytes = 1 << 20;
    static constexpr size_t kMaxHistory = 512;

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
    double* state(size_t slot) { return states_.data() + slot * static_cast<size_t>(cells_ + outputs_); }
    void keep(const PresentationRecord& record, std::uint64_t hash)
    {
        const size_t slot = static_cast<size_t>(record.presentation) % presentations_.size();
        presentations_[slot] = record.presentation;
        hashes_[slot] = hash;
        missed_[slot] = record.missedPairs;
        r2s_[slot] = engine_.finalR2;
        double* kept = state(slot);
        std::copy_n(&engine_.wMatrix[1], cells_, kept);
        std::copy_n(&engine_.calcVector[1], outputs_, kept + cells_);
    }

    EngineState& engine_;
    const std::atomic<bool>* stop_;
    int cells_ = 0;
    int outputs_ = 0;
    // The last presentations, each in slot presentation % slots.
    std::vector<int> presentations_; // 0: an empty slot
    std::vector<std::uint64_t> hashes_;
    std::vector<int> missed_;
    std::vector<std::optional<long double>> r2s_;
    std::vector<double> states_; // per slot: the cells, then calc(1..B Len)
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
            result.stopped = !recorder.final;
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
    std::optional<long double> r2 = engine->finalR2;
    result.matrix.w = engine->wMatrix;
    result.matrix.calc = engine->calcVector;
    if (recorder.final) {
        // The run entered a cycle: it ends at its limit in the state the
        // cycle gives the last presentation.
        const PresentationEnd& last = *recorder.final;
        result.presentations = engine->maxPresentations;
        result.missedLast = last.missed;
        r2 = last.r2;
        std::copy(last.w.begin(), last.w.end(), &result.matrix.w[1]);
        std::copy(last.calc.begin(), last.calc.end(), &result.matrix.calc[1]);
    }
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
