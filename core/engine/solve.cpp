// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/solve.h"

#include "core/support/errors.h"
#include "core/engine/jobfiles.h"
#include "core/engine/state.h"
#include "core/engine/training.h"
#include "core/engine/observer.h"

namespace duolink {

// On the way out of a failed run: the run's own failure is the one to report.
void EngineState::endQuietly(RunEnd end) noexcept
{
    if (!trainingObserver)
        return;
    try {
        trainingObserver->solveEnded(end);
    } catch (...) {
    }
}

RunEnd EngineState::runJob()
{
    // The previous run's stride decides which cells the 9 x 9 clear reaches.
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 9; ++j)
            wMatrix[cellIndex(i, j)] = 0;
    deltaMatrix = wMatrix;
    workMatrix = wMatrix;
    if (trainingObserver)
        trainingObserver->solveStarted();
    RunEnd end = RunEnd::Error;
    try {
        jobOpening(kADataFileName, kBDataFileName, kParametersFileName);
        end = trainingRun(kParametersFileName);
    } catch (const JobTerminated&) {
        closeEngineFiles();
        endQuietly(RunEnd::Terminated);
        throw;
    } catch (...) {
        closeEngineFiles();
        endQuietly(RunEnd::Error);
        throw;
    }
    if (trainingObserver)
        trainingObserver->solveEnded(end);
    return end;
}

RunEnd EngineState::solveJob(PatternList& list)
{
    writeJobFiles(list, jobFolder);
    return runJob();
}

RunEnd EngineState::solveExistingJob()
{
    return runJob();
}

void EngineState::closeEngineFiles() noexcept
{
    aDataFile.close();
    bDataFile.close();
    reportFile.closeQuietly();
}

} // namespace duolink
