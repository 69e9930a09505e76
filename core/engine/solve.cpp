#include "core/engine/solve.h"

#include "core/engine/jobfiles.h"
#include "core/engine/state.h"
#include "core/engine/training.h"

namespace duolink {

namespace {

void runJob()
{
    // The previous run's stride decides which cells the 9 x 9 clear reaches.
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 9; ++j)
            wMatrix[cellIndex(i, j)] = 0;
    deltaMatrix = wMatrix;
    workMatrix = wMatrix;
    try {
        jobOpening(kADataFileName, kBDataFileName, kParametersFileName);
        trainingRun(kParametersFileName);
    } catch (...) {
        closeEngineFiles();
        throw;
    }
}

} // namespace

void solveJob()
{
    writeJobFiles();
    runJob();
}

void solveExistingJob()
{
    runJob();
}

void closeEngineFiles() noexcept
{
    aDataFile.close();
    bDataFile.close();
    reportFile.closeQuietly();
}

} // namespace duolink
