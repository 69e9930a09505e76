#include "core/engine/training.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/support/numtext.h"
#include "core/engine/jobfiles.h"
#include "core/engine/pairtest.h"
#include "core/engine/solve.h"
#include "core/engine/stop.h"

namespace duolink {

namespace {
constexpr const char* kWorking = "************WORKING************";

} // namespace

void EngineState::stepProgress(int delta)
{
    if (console.runProgressBar)
        console.runProgressBar->stepBy(delta);
}

std::string bannerLine()
{
    return std::string("Duolink ") + DUOLINK_VERSION;
}

double EngineState::logisticTransfer(double v)
{
    const double e = transferExponent(fdiv(v, unity));
    return static_cast<double>(roundEven(fdiv(1, 1 + static_cast<long double>(e)) * unity));
}

// A stop asked for during the pass ends it before the next input, with the
// stop line in the report and the pane. One asked for earlier has had its
// effect on the training (or none, when the run ended anyway), and the pass
// runs whole as it always did.
void EngineState::simulationPass()
{
    const bool askedBefore = stopRequested();
    aDataFile.close();
    std::string name = simulationFileName();
    openReader(aDataFile, name.empty() ? std::string("nutest.dat") : name);
    reportFile.writeLn("=== INPUT ===");
    while (!aDataFile.eof()) {
        if (!askedBefore && stopRequested()) {
            reportFile.writeLn(kStoppedLine);
            consoleWriteLn(kStoppedLine);
            break;
        }
        aVector.fill(0);
        bVector.fill(0);
        readAVector(aVector, aDataFile);
        reportFile.write(" INPUT ");
        writeVectorReport(aVector, aLen);
        vectorMatrixProduct(wMatrix, aLen, bLen, calcVector, aVector);
        if (transferFunction == 1)
            for (int j = 1; j <= bLen; ++j)
                calcVector[j] = logisticTransfer(calcVector[j]);
        reportFile.write(" RESULT ");
        writeVectorReport(calcVector, bLen);
        reportFile.writeLn();
    }
}

void EngineState::jobOpening(const std::string& aName, const std::string& bName, const std::string& parametersName)
{
    consoleWriteLn("VLD33- Matrona 2.2");
    consoleWriteLn(bannerLine());
    consoleWriteLn("                    Mar  16,1989-1600h");
    consoleWriteLn(" ");

    // Files an abandoned earlier command may have left open.
    closeEngineFiles();

    createReport(kReportFileName);
    reportFile.writeLn("Matrona 2.2");
    reportFile.writeLn(bannerLine());
    reportFile.writeLn("                    Mar 16,1989-1600h");
    reportFile.writeLn();

    if (fileExists(aName) && fileExists(bName)) {
        openReader(aDataFile, aName);
        openReader(bDataFile, bName);
    } else {
        const std::string reason = "Files " + aName + " and " + bName + " are not available";
        reportFile.writeLn(reason);
        reportFile.writeLn("Terminating Program");
        programDone(reason);
    }

    berTotal = 0;
    readParametersRD(parametersName);
    // The training builds the starting matrix again from the same texts and
    // parameters, with every value it reads here read again and every
    // failure met again, first, in the same place. A quiet engine shows
    // nothing of this first one, so it leaves it out: the cells of the
    // scratch matrices it would leave behind are written before they are
    // read, and the presentation count stays as a failure here leaves it.
    const bool builds = runOption != 1 && maxPresentations != 0;
    if (builds && !quiet) {
        buildStartingMatrix();
        writeWMatrixReport(wMatrix, aLen, bLen);
        dataPatternCount = countPatterns();
        consoleWriteLn("Count = " + realTextWD(dataPatternCount, 3, 0));
    }
    consoleWriteLn(kWorking);
    if (runOption == 1)
        dataPatternCount = countPatterns();
    if (!(builds && quiet))
        presentationNo = 1;
}

RunEnd EngineState::runTraining(const std::string& parametersName)
{
    stepProgress(-1000);
    if (console.runProgressBar) {
        console.runProgressBar->setMaximum(1000);
        console.runProgressBar->setMinimum(0);
    }

    consoleWriteLn("Matrona 3.1");
    consoleWriteLn(bannerLine());
    consoleWriteLn("                    Mar  16,1989-1600h");
    consoleWriteLn("                    Oct  21,1995");
    consoleWriteLn(" ");
    reportFile.writeLn("Matrona 2.2");
    reportFile.writeLn(bannerLine());
    reportFile.writeLn("                    Mar 16,1989-1600h");
    reportFile.writeLn("                    Oct 21,1995");
    reportFile.writeLn();

    berTotal = 0;
    readParameters(parametersName);

    // A matrix read from the parameters file is the one to train: only the
    // other run options start from a cleared block.
    if (runOption != 1)
        for (int i = 1; i <= 9; ++i)
            for (int j = 1; j <= 8; ++j)
                wMatrix[cellIndex(i, j)] = 0;
    deltaMatrix = wMatrix;
    workMatrix = wMatrix;

    startingReads_.clear();
    if (runOption != 1 && maxPresentations != 0) {
        buildStartingMatrix();
        writeWMatrixReport(wMatrix, aLen, bLen);
        consoleWriteLn("Starting Matrix");
        printWMatrix(wMatrix, aLen, bLen);
    } else {
        runOption = 4;
    }

    consoleWriteLn(kWorking);
    dataPatternCount = countPatterns();
    consoleWriteLn("Count = " + realTextWD(dataPatternCount, 4, 0));
    presentationNo = 1;
    bool allCorrect = false;
    bool stopped = false;
    consoleWriteLn("Limit: " + realTextWD(maxPresentations, 4, 0) + " Beta = " + realTextWD(beta, 6, 3));
    if (trainingObserver)
        trainingObserver->trainingStarted({dataPatternCount, maxPresentations, beta, tol, aLen, bLen, unity});

    // Quiet runs neither format nor write their pane and report lines. Every
    // presentation reads the same values from the same texts (the data files
    // were read whole when they were opened), so the first one keeps what it
    // read for the others, and the texts it showed of each pair's patterns.
    const bool reports = !quiet;
    const size_t aKept = readWidth(aLen), bKept = readWidth(bLen);
    std::vector<double> keptPairs;
    std::vector<PatternTexts> keptTexts(reports ? static_cast<size_t>(std::max(dataPatternCount, 0)) : 0);
    const double* uncopied = nullptr; // the pair the vectors do not hold yet
    const auto copyKept = [&] {
        if (!uncopied)
            return;
        std::copy_n(uncopied, aKept, &aVector[1]);
        std::copy_n(uncopied + aKept, bKept, &bVector[1]);
        uncopied = nullptr;
    };
    presenting = true;
    wholePairs_ = {};
    wholePairs_.deferR2 =
        quiet && !console.r2Edit && (!trainingObserver || !trainingObserver->readsR2());
    while (presentationNo <= maxPresentations && !allCorrect) {
        const bool reread = presentationNo == 1;
        if (reread) {
            openADataFile();
            openBDataFile();
        }
        allCorrect = true;
        r2Sum = 0;
        int missedPairs = 0;
        const double berBefore = berTotal;
        for (int m = 1; m <= dataPatternCount; ++m) {
            if ((runOption == 3 || runOption == 4) && reports) {
                char text[64];
                char* p = text;
                std::memcpy(p, "PS #", 4);
                p = writeWholeText(p + 4, presentationNo, 6);
                std::memcpy(p, " TS# ", 5);
                p = writeWholeText(p + 5, m, 5);
                *p++ = ' ';
                reportFile.write(std::string_view(text, static_cast<size_t>(p - text)));
            }
            if (reread) {
                // What the starting matrix read of the pair, when it kept
                // it, is what reading it again gives.
                const size_t at = static_cast<size_t>(m - 1) * (aKept + bKept);
                if (startingReads_.size() >= at + aKept + bKept) {
                    std::copy_n(&startingReads_[at], aKept, &aVector[1]);
                    std::copy_n(&startingReads_[at + aKept], bKept, &bVector[1]);
                } else {
                    readAVector(aVector, aDataFile);
                    readBVector(bVector);
                }
                keptPairs.insert(keptPairs.end(), &aVector[1], &aVector[1] + aKept);
                keptPairs.insert(keptPairs.end(), &bVector[1], &bVector[1] + bKept);
            } else {
                if (wholePairs_.deferR2) {
                    // The pairs the quiet test takes whole, in one pass.
                    int missed = 0;
                    int at = m;
                    int next = m;
                    try {
                        next = testWholePairs(m, dataPatternCount, missed, at);
                    } catch (...) {
                        uncopied = keptPairs.data() + (at - 1) * (aKept + bKept);
                        copyKept();
                        throw;
                    }
                    if (next > m) {
                        missedPairs += missed;
                        allCorrect = allCorrect && missed == 0;
                        uncopied = keptPairs.data() + (next - 2) * (aKept + bKept);
                        m = next - 1;
                        continue;
                    }
                }
                uncopied = keptPairs.data() + (m - 1) * (aKept + bKept);
                // A pair that the quiet test has kept whole is tested from
                // what it kept; the vectors get it when anything else needs it.
                if (!(wholePairs_.deferR2 && wholePairs_.isWhole(m)))
                    copyKept();
            }
            PatternTexts* const texts = reports ? &keptTexts[static_cast<size_t>(m - 1)] : nullptr;
            bool ok = false;
            bool tested = false;
            if (quiet) {
                try {
                    tested = testWholePair(m, aVector, bVector, aLen, bLen, ok);
                } catch (...) {
                    copyKept();
                    throw;
                }
            }
            if (!tested) {
                copyKept();
                settleR2();
                ok = testPattern(aVector, bVector, aLen, wMatrix, bLen, texts, m);
            }
            allCorrect = allCorrect && ok;
            missedPairs += !ok;
            if (reports) {
                if (runOption == 4) {
                    reportFile.write("A= ");
                    writeVectorReport(aVector, aLen, &texts->reportA);
                    reportFile.write("B= ");
                    writeVectorReport(bVector, bLen, &texts->reportB);
                }
                if (runOption == 3)
                    reportFile.write(" ");
            }
            // A quiet engine shows nothing, and has nothing to raise unless
            // UNITY is 0.
            if (!ok && !(quiet && unity != 0))
                printWMatrix(wMatrix, aLen, bLen);
            if (runOption != 2 && reports)
                reportFile.writeLn();
        }
        copyKept();
        // With no pairs there is no mean to show.
        long double r2 = 0;
        TextField* const r2Edit = console.r2Edit;
        const bool r2Waits = wholePairs_.deferR2;
        if ((r2Edit || trainingObserver || quiet) && dataPatternCount > 0 && !r2Waits)
            r2 = fdiv(r2Sum, dataPatternCount);
        if (r2Edit)
            r2Edit->setText(realTextWD(r2, 9, 3));
        if (r2Waits)
            presentationR2Waits();
        else if (quiet)
            finalR2 = r2;
        ++presentationNo;
        if (reports)
            consoleWriteLn("*** Flag2 - " + boolText(allCorrect));
        printWMatrix(wMatrix, aLen, bLen);
        if (reports)
            consoleWriteLn(" ");
        stepProgress(static_cast<int>(roundEven((1.0L / maxPresentations) * 1000.0L)));
        if (trainingObserver) {
            // Each BEC adds half a bit error to the total, exactly.
            const int bitErrors = static_cast<int>((berTotal - berBefore) * 2);
            const double shownR2 = r2Waits ? std::numeric_limits<double>::quiet_NaN() : static_cast<double>(r2);
            trainingObserver->presentationMade({presentationNo - 1, shownR2, missedPairs, bitErrors, berTotal,
                                                allCorrect});
        }
        // A stop request ends the run here as the limit would have; it
        // changes nothing when this presentation ended the run anyway.
        if (!allCorrect && presentationNo <= maxPresentations && stopRequested()) {
            stopped = true;
            break;
        }
    }

    presenting = false;
    settleWaitingR2();

    // With no presentation limit there is nothing left to show.
    if (maxPresentations != 0) {
        long long remaining = (static_cast<long long>(maxPresentations) - presentationNo) * 1000;
        stepProgress(static_cast<int>(std::trunc(static_cast<long double>(remaining) / maxPresentations)));
    }

    if (!allCorrect) {
        const char* const endLine = stopped ? kStoppedLine : "*** JOB ABORTED DUE TO PRESET LIMIT ***";
        reportFile.writeLn(endLine);
        consoleWriteLn(endLine);
    }
    reportFile.writeLn("Number of Presenatations: " + std::to_string(presentationNo - 1));
    consoleWriteLn("Number of Presenatations: " + realTextWD(presentationNo - 1, 4, 0));
    if (runOption == 2 || runOption == 3 || runOption == 4) {
        reportFile.writeLn("======= FINAL MATRIX =========");
        writeWMatrixReport(wMatrix, aLen, bLen);
    }
    consoleWriteLn("======== FINAL MATRIX ==========");
    printWMatrix(wMatrix, aLen, bLen);
    if (simulationMode == 1)
        simulationPass();

    aDataFile.close();
    bDataFile.close();
    reportFile.close();
    consoleWriteLn("PROGRAM DONE");
    return allCorrect ? RunEnd::Recalled : stopped ? RunEnd::Stopped : RunEnd::Limit;
}

RunEnd EngineState::trainingRun(const std::string& parametersName)
{
    presenting = false;
    try {
        return runTraining(parametersName);
    } catch (RunError& e) {
        settleWaitingR2();
        if (presenting && e.file().empty())
            e.markInPresentations();
        presenting = false;
        throw;
    } catch (...) {
        settleWaitingR2();
        throw;
    }
}

} // namespace duolink
