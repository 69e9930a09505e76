// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/training.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

#include "core/support/numtext.h"
#include "core/engine/jobfiles.h"
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
    return reference::logisticTransfer(v, unity);
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
        if (transferFunction == kTrainingTransfer)
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
    const bool builds = runOption != kMatrixFromParameters && maxPresentations != 0;
    if (builds && !quiet) {
        buildStartingMatrix();
        writeWMatrixReport(wMatrix, aLen, bLen);
        dataPatternCount = countPatterns();
        consoleWriteLn("Count = " + realTextWD(dataPatternCount, 3, 0));
    }
    consoleWriteLn(kWorking);
    if (runOption == kMatrixFromParameters)
        dataPatternCount = countPatterns();
    if (!(builds && quiet))
        presentationNo = 1;
}

inline void KeptPairs::copyInto(Vector& a, Vector& b)
{
    if (!uncopied)
        return;
    std::copy_n(uncopied, aWidth, &a[1]);
    std::copy_n(uncopied + aWidth, bWidth, &b[1]);
    uncopied = nullptr;
}

// The steps below are used only here, and are inline so that splitting the
// training into them costs nothing per pair.

namespace {
// Runs `onUnwind` when the scope is left by an exception: a failing step
// leaves the engine's vectors holding the pair it was testing.
template <class F>
class OnUnwind {
public:
    explicit OnUnwind(F f) : f_(std::move(f)) {}
    OnUnwind(const OnUnwind&) = delete;
    OnUnwind& operator=(const OnUnwind&) = delete;
    ~OnUnwind()
    {
        if (std::uncaught_exceptions() > count_)
            f_();
    }

private:
    F f_;
    int count_ = std::uncaught_exceptions();
};
} // namespace

void EngineState::writeTrainingBanners()
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
}

void EngineState::prepareStartingMatrix()
{
    // A matrix read from the parameters file is the one to train: only the
    // other run options start from a cleared block.
    if (runOption != kMatrixFromParameters)
        for (int i = 1; i <= 9; ++i)
            for (int j = 1; j <= 8; ++j)
                wMatrix[cellIndex(i, j)] = 0;
    deltaMatrix = wMatrix;
    workMatrix = wMatrix;

    startingReads_.clear();
    if (runOption != kMatrixFromParameters && maxPresentations != 0) {
        buildStartingMatrix();
        writeWMatrixReport(wMatrix, aLen, bLen);
        consoleWriteLn("Starting Matrix");
        printWMatrix(wMatrix, aLen, bLen);
    } else {
        runOption = kTestAndPatternLines;
    }
}

void EngineState::announceTraining()
{
    consoleWriteLn(kWorking);
    dataPatternCount = countPatterns();
    consoleWriteLn("Count = " + realTextWD(dataPatternCount, 4, 0));
    presentationNo = 1;
    consoleWriteLn("Limit: " + realTextWD(maxPresentations, 4, 0) + " Beta = " + realTextWD(beta, 6, 3));
    if (trainingObserver)
        trainingObserver->trainingStarted({dataPatternCount, maxPresentations, beta, tol, aLen, bLen, unity});
}

inline bool EngineState::writesTestLines() const
{
    return (runOption == kTestLines || runOption == kTestAndPatternLines) && !quiet;
}

inline void EngineState::writePairHeading(int m)
{
    if (!writesTestLines())
        return;
    char text[64];
    char* p = text;
    std::memcpy(p, "PS #", 4);
    p = writeWholeText(p + 4, presentationNo, 6);
    std::memcpy(p, " TS# ", 5);
    p = writeWholeText(p + 5, m, 5);
    *p++ = ' ';
    reportFile.write(std::string_view(text, static_cast<size_t>(p - text)));
}

inline void EngineState::readPair(int m, KeptPairs& kept)
{
    // What the starting matrix read of the pair, when it kept it, is what
    // reading it again gives.
    const size_t width = kept.aWidth + kept.bWidth;
    const size_t at = static_cast<size_t>(m - 1) * width;
    if (startingReads_.size() >= at + width) {
        std::copy_n(&startingReads_[at], kept.aWidth, &aVector[1]);
        std::copy_n(&startingReads_[at + kept.aWidth], kept.bWidth, &bVector[1]);
    } else {
        readAVector(aVector, aDataFile);
        readBVector(bVector);
    }
    kept.keep(aVector, bVector);
}

// testWholePairs from pair m on; when it tested any, the tally gets their
// misses and the vectors are to get the last one tested.
inline int EngineState::testKeptWholePairs(int m, KeptPairs& kept, PresentationTally& tally)
{
    int missed = 0;
    int at = m;
    const OnUnwind restore([&] {
        kept.uncopied = kept.pair(at);
        kept.copyInto(aVector, bVector);
    });
    const int next = testWholePairs(m, dataPatternCount, missed, at);
    if (next > m) {
        tally.missedPairs += missed;
        tally.allCorrect = tally.allCorrect && missed == 0;
        kept.uncopied = kept.pair(next - 1);
    }
    return next;
}

inline bool EngineState::testPair(int m, KeptPairs& kept, PatternTexts* texts)
{
    bool ok = false;
    bool tested = false;
    if (quiet) {
        const OnUnwind restore([&] { kept.copyInto(aVector, bVector); });
        tested = testWholePair(m, aVector, bVector, aLen, bLen, ok);
    }
    if (!tested) {
        kept.copyInto(aVector, bVector);
        settleR2();
        ok = testPattern(aVector, bVector, aLen, wMatrix, bLen, texts, m);
    }
    return ok;
}

inline void EngineState::writePairLines(PatternTexts* texts, bool ok)
{
    const bool reports = !quiet;
    if (reports) {
        if (runOption == kTestAndPatternLines) {
            reportFile.write("A= ");
            writeVectorReport(aVector, aLen, &texts->reportA);
            reportFile.write("B= ");
            writeVectorReport(bVector, bLen, &texts->reportB);
        }
        if (runOption == kTestLines)
            reportFile.write(" ");
    }
    // A quiet engine shows nothing, and has nothing to raise unless
    // UNITY is 0.
    if (!ok && !(quiet && unity != 0))
        printWMatrix(wMatrix, aLen, bLen);
    if (runOption != kFinalMatrixOnly && reports)
        reportFile.writeLn();
}

inline EngineState::PresentationTally EngineState::presentPairs(KeptPairs& kept, std::vector<PatternTexts>& texts)
{
    const bool reread = presentationNo == 1;
    if (reread) {
        openADataFile();
        openBDataFile();
    }
    PresentationTally tally;
    r2Sum = 0;
    int m = 1;
    while (m <= dataPatternCount) {
        writePairHeading(m);
        if (reread) {
            readPair(m, kept);
        } else {
            if (wholePairs_.deferR2) {
                // The pairs the quiet test takes whole, in one pass.
                const int next = testKeptWholePairs(m, kept, tally);
                if (next > m) {
                    m = next;
                    continue;
                }
            }
            kept.uncopied = kept.pair(m);
            // A pair that the quiet test has kept whole is tested from
            // what it kept; the vectors get it when anything else needs it.
            if (!(wholePairs_.deferR2 && wholePairs_.isWhole(m)))
                kept.copyInto(aVector, bVector);
        }
        PatternTexts* const pairTexts = quiet ? nullptr : &texts[static_cast<size_t>(m - 1)];
        const bool ok = testPair(m, kept, pairTexts);
        tally.allCorrect = tally.allCorrect && ok;
        tally.missedPairs += !ok;
        writePairLines(pairTexts, ok);
        ++m;
    }
    kept.copyInto(aVector, bVector);
    return tally;
}

inline void EngineState::endPresentation(const PresentationTally& tally, double berBefore)
{
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
    if (!quiet)
        consoleWriteLn("*** Flag2 - " + boolText(tally.allCorrect));
    printWMatrix(wMatrix, aLen, bLen);
    if (!quiet)
        consoleWriteLn(" ");
    stepProgress(static_cast<int>(roundEven((1.0L / maxPresentations) * 1000.0L)));
    if (trainingObserver) {
        // Each BEC adds half a bit error to the total, exactly.
        const int bitErrors = static_cast<int>((berTotal - berBefore) * 2);
        const double shownR2 = r2Waits ? std::numeric_limits<double>::quiet_NaN() : static_cast<double>(r2);
        trainingObserver->presentationMade({presentationNo - 1, shownR2, tally.missedPairs, bitErrors, berTotal,
                                            tally.allCorrect});
    }
}

RunEnd EngineState::presentUntilDone()
{
    // Quiet runs neither format nor write their pane and report lines. The
    // first presentation keeps what it read for the others, and the texts
    // it showed of each pair's patterns.
    KeptPairs kept;
    kept.aWidth = readWidth(aLen);
    kept.bWidth = readWidth(bLen);
    std::vector<PatternTexts> texts(quiet ? 0 : static_cast<size_t>(std::max(dataPatternCount, 0)));
    presenting = true;
    wholePairs_ = {};
    wholePairs_.deferR2 = quiet && !options_.referenceArithmetic && !console.r2Edit &&
                          (!trainingObserver || !trainingObserver->readsR2());
    while (presentationNo <= maxPresentations) {
        const double berBefore = berTotal;
        const PresentationTally tally = presentPairs(kept, texts);
        endPresentation(tally, berBefore);
        if (tally.allCorrect)
            return RunEnd::Recalled;
        // A stop request ends the run here as the limit would have; it
        // changes nothing when this presentation ended the run anyway.
        if (presentationNo <= maxPresentations && stopRequested())
            return RunEnd::Stopped;
    }
    return RunEnd::Limit;
}

RunEnd EngineState::finishTraining(RunEnd end)
{
    presenting = false;
    settleWaitingR2();

    // With no presentation limit there is nothing left to show.
    if (maxPresentations != 0) {
        long long remaining = (static_cast<long long>(maxPresentations) - presentationNo) * 1000;
        stepProgress(static_cast<int>(std::trunc(static_cast<long double>(remaining) / maxPresentations)));
    }

    if (end != RunEnd::Recalled) {
        const char* const endLine = end == RunEnd::Stopped ? kStoppedLine : "*** JOB ABORTED DUE TO PRESET LIMIT ***";
        reportFile.writeLn(endLine);
        consoleWriteLn(endLine);
    }
    reportFile.writeLn("Number of Presenatations: " + std::to_string(presentationNo - 1));
    consoleWriteLn("Number of Presenatations: " + realTextWD(presentationNo - 1, 4, 0));
    if (runOption == kFinalMatrixOnly || runOption == kTestLines || runOption == kTestAndPatternLines) {
        reportFile.writeLn("======= FINAL MATRIX =========");
        writeWMatrixReport(wMatrix, aLen, bLen);
    }
    consoleWriteLn("======== FINAL MATRIX ==========");
    printWMatrix(wMatrix, aLen, bLen);
    if (simulationMode == kSimulationPass)
        simulationPass();

    aDataFile.close();
    bDataFile.close();
    reportFile.close();
    consoleWriteLn("PROGRAM DONE");
    return end;
}

RunEnd EngineState::runTraining(const std::string& parametersName)
{
    writeTrainingBanners();
    berTotal = 0;
    readParameters(parametersName);
    prepareStartingMatrix();
    announceTraining();
    return finishTraining(presentUntilDone());
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
