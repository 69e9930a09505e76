// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/listtraining.h"
#include "core/support/scratchfolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/engine/solve.h"
#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/numtext.h"

namespace duolink::analysis {

namespace {

namespace fs = std::filesystem;

// Every presentation's record, the R2 field's last text, and the caller's
// stop request passed on to the engine.
class StatsKeeper final : public TrainingObserver, public TextField {
public:
    StatsKeeper(EngineState& engine, const std::atomic<bool>* stop, const std::function<bool()>& stopRequested,
                std::vector<PresentationRecord>& records)
        : engine_(engine), stop_(stop), stopRequested_(stopRequested), records_(records)
    {
    }
    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& record) override
    {
        records_.push_back(record);
        if ((stop_ && stop_->load(std::memory_order_relaxed)) || (stopRequested_ && stopRequested_()))
            engine_.requestStop();
    }
    void solveEnded(RunEnd) override {}
    void setText(std::string_view text) override { r2Text.assign(text); }

    std::string r2Text;

private:
    EngineState& engine_;
    const std::atomic<bool>* stop_;
    const std::function<bool()>& stopRequested_;
    std::vector<PresentationRecord>& records_;
};

std::string trimmed(std::string text)
{
    const size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
    return text;
}

void runEngine(EngineState& engine, ListTraining& result)
{
    try {
        switch (engine.solveExistingJob()) {
        case RunEnd::Recalled: result.outcome = Outcome::Recalled; break;
        case RunEnd::Limit: result.outcome = Outcome::Limit; break;
        case RunEnd::Stopped:
            result.outcome = Outcome::Limit;
            result.stopped = true;
            break;
        case RunEnd::Terminated: result.outcome = Outcome::Terminated; break;
        case RunEnd::Error: result.outcome = Outcome::Error; break;
        }
    } catch (const JobTerminated& e) {
        result.outcome = Outcome::Terminated;
        result.failure = e.reason();
    } catch (const RunError& e) {
        result.outcome = Outcome::Error;
        result.failure = e.what();
    }
}

void copyReport(const fs::path& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        throwIoError(ENOENT, to);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (in.bad())
        throwIoError(EIO, to);
    if (const int error = replaceFile(to, text))
        throwIoError(error, to);
}

} // namespace

ListTraining trainList(const JobTexts& job, const std::atomic<bool>* stop, const std::string& reportPath,
                       const std::function<bool()>& stopRequested)
{
    std::optional<ScratchFolder> folder;
    if (!reportPath.empty()) {
        // Checked before the run, so that a bad name does not cost a training.
        if (const int error = checkReplaceable(reportPath))
            throwIoError(error, reportPath);
        folder.emplace();
    }
    ListTraining result;
    EngineState engine;
    engine.setQuiet(!folder);
    // Inputs the job does not have are looked for where no file can be.
    engine.setJobFolder(folder ? folder->path() : fs::path("/dev/null"));
    if (job.parameters)
        engine.setJobFileText(kParametersFileName, *job.parameters);
    engine.setJobFileText(kADataFileName, job.aData, job.aReads);
    engine.setJobFileText(kBDataFileName, job.bData, job.bReads);
    if (job.simulation)
        engine.setJobFileText(kSimulationFileName, *job.simulation);
    StatsKeeper keeper(engine, stop, stopRequested, result.stats);
    engine.setTrainingObserver(&keeper);
    engine.consoleChannel().r2Edit = &keeper;

    runEngine(engine, result);
    result.presentations = std::max(engine.state().presentationNo - 1, 0);
    result.missedLast = result.stats.empty() ? 0 : result.stats.back().missedPairs;
    if (engine.state().quiet) {
        if (engine.state().finalR2) {
            result.finalR2 = static_cast<double>(*engine.state().finalR2);
            result.finalR2Text = trimmed(realTextWD(*engine.state().finalR2, 9, 3));
        }
    } else if (!result.stats.empty()) {
        result.finalR2 = result.stats.back().r2;
        result.finalR2Text = trimmed(keeper.r2Text);
    }
    result.matrix.w = engine.state().wMatrix;
    result.matrix.calc = engine.state().calcVector;
    result.matrix.aLen = engine.state().aLen;
    result.matrix.bLen = engine.state().bLen;
    result.unity = engine.state().unity;
    result.tol = engine.state().tol;
    if (folder)
        copyReport(folder->path() / kReportFileName, reportPath);
    return result;
}

} // namespace duolink::analysis
