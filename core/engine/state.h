// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One engine: its state as a value, and the operations on it.
//
// A real r is held as the whole number Round(r * unity) in a double.
// Intermediate results are computed in extended precision (long double,
// 64-bit significand), stored to a double where noted, then rounded to the
// nearest whole number with ties to even. Arithmetic faults raise RunError
// instead of producing infinities or NaN.
//
// Several states may live in one process, each used by one thread at a time:
// nothing here is shared between states.
#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/console.h"
#include "core/support/errors.h"
#include "core/support/textfile.h"
#include "core/engine/observer.h"
#include "core/patterns/patterns.h"
#include "core/engine/checked.h"
#include "core/engine/numbercache.h"
#include "core/engine/options.h"
#include "core/engine/reference.h"
#include "core/engine/stores.h"
#include "core/engine/wholepairs.h"

namespace duolink {

// The run option of the parameters file (" 1 = RWM 2=PFM 3=STL 4=IRN "): it
// chooses what the training writes into the report. Any other number reads
// as well, and writes the least.
enum RunOption : int {
    kMatrixFromParameters = 1, // a W matrix follows the parameters; trained as option 4
    kFinalMatrixOnly = 2,      // only the final matrix
    kTestLines = 3,            // each pair's test line, and the final matrix
    kTestAndPatternLines = 4,  // the test line with the patterns and the result
};
// The transfer function of the parameters file: 1 puts the training's
// transfer on every product, 2 leaves the products as they are; any other
// number reads as 1.
enum TransferFunction : int { kTrainingTransfer = 1, kNoTransfer = 2 };
// The simulation field: 1 feeds nutest.dat through the trained matrix.
enum SimulationMode : int { kSimulationPass = 1 };

struct KeptPairs;

// Second line of both banners.
std::string bannerLine();

// The engine state and what a run is given, under the names the engine's
// code uses. EngineState holds it out of callers' reach: they read it through
// EngineState::state() and change it only through the engine's operations.
struct EngineStateData {
    // --- The engine state ----------------------------------------------------
    Matrix wMatrix{};
    Matrix deltaMatrix{};
    Matrix workMatrix{};
    Vector aVector{};
    Vector bVector{};
    Vector calcVector{};

    int aLen = 0;
    int bLen = 0;
    int dataPatternCount = 0;
    int runOption = 0;
    int presentationNo = 0;
    int maxPresentations = 0;
    int simulationMode = 0;
    int transferFunction = 0;
    int unity = 0;
    double beta = 0;
    double limit = 0;
    double tol = 0;

    TextReader aDataFile;
    TextReader bDataFile;
    ReportFile reportFile;

    // Pair-test accumulators.
    double r2Sum = 0;
    double berTotal = 0;

    // --- Around a run --------------------------------------------------------
    // The job folder: every engine file is opened relative to it (empty: the
    // process's current folder).
    std::filesystem::path jobFolder;
    // The pane, the R2 field and the progress bar this engine writes to.
    Console console;
    // Told of every training; may be null.
    TrainingObserver* trainingObserver = nullptr;

    // Quiet mode, for in-memory analyses: no report file is written and
    // nothing reaches the pane, and the texts are not even formatted; the
    // arithmetic, the presentations, the final matrix and the outcome are
    // those of a normal run. finalR2 holds the value the R2 field would show
    // (as realTextWD(*finalR2, 9, 3)); none before the first presentation.
    bool quiet = false;
    std::optional<long double> finalR2;
};

class EngineState : protected EngineStateData {
public:
    EngineState() = default;
    EngineState(const EngineState&) = delete;
    EngineState& operator=(const EngineState&) = delete;

    // What callers may read of the engine state.
    const EngineStateData& state() const { return *this; }
    // The fuzz targets of the engine's readers drive them on the state itself.
    friend struct EngineProbe;

    // --- Around a run --------------------------------------------------------
    void setJobFolder(std::filesystem::path folder) { jobFolder = std::move(folder); }
    void setQuiet(bool on) { quiet = on; }
    void setTrainingObserver(TrainingObserver* observer) { trainingObserver = observer; }
    // The sinks this engine writes to, for the window, the runner and the
    // analyses to plug theirs in.
    Console& consoleChannel() { return console; }

    // --- The W matrix from outside a run -------------------------------------
    // Load Matrix, Import Matrix and the recalls of a trained matrix put
    // their values in through these; a job's Solve sets them anew.
    void setPatternLengths(int aLength, int bLength)
    {
        aLen = aLength;
        bLen = bLength;
    }
    // Cell `cell` (1 to kMatrixCells) of the W matrix.
    void setWeight(int cell, double value) { wMatrix[static_cast<size_t>(cell)] = value; }
    void setCalcVector(const Vector& values) { calcVector = values; }

    // --- The parameters from elsewhere than the parameters file ---------------
    // For a caller that runs the engine's steps on numbers of its own (the
    // differential test of the arithmetic); a Solve reads them from the file.
    void setUnity(int value) { unity = value; }
    void setBeta(double value) { beta = value; }
    void setTol(double value) { tol = value; }
    void setTransferFunction(int value) { transferFunction = value; }

    // In-memory job files: the text given for an input file name (the
    // parameters file, the two data files, "nutest.dat") is read instead of
    // the file of that name in the job folder; `known`, when given and of
    // this text, tells what some of its reads give (TextReader::openText).
    void setJobFileText(const std::string& name, std::string text, std::shared_ptr<const KnownReads> known = {})
    {
        if (known && !known->areOf(text))
            known.reset();
        jobFileTexts_[name] = {std::move(text), std::move(known)};
    }
    void clearJobFileTexts() { jobFileTexts_.clear(); }

    // How this engine does its arithmetic (options.h); for a run that has not
    // begun.
    void setOptions(const EngineOptions& options) { options_ = options; }
    const EngineOptions& options() const { return options_; }

    // Puts every number of the engine state back to zero and closes its files.
    void resetEngineState();

    // --- Stop request ----------------------------------------------------------
    void requestStop() noexcept { stopFlag.store(true, std::memory_order_relaxed); }
    bool stopRequested() const noexcept { return stopFlag.load(std::memory_order_relaxed); }
    // Forgets a request; for the start of a new run, before it begins.
    void clearStopRequest() noexcept { stopFlag.store(false, std::memory_order_relaxed); }
    // For a signal handler or another thread; lives as long as the state.
    std::atomic<bool>* stopFlagPointer() noexcept { return &stopFlag; }

    // --- Console channel -------------------------------------------------------
    void consoleWrite(std::string_view text) { console.write(text); }
    void consoleWriteLn(std::string_view text = {}) { console.writeLn(text); }
    void consoleEndPendingLine() { console.endPendingLine(); }

    // --- Files ---------------------------------------------------------------------
    // `name` in the job folder.
    std::string pathOf(const std::string& name) const;
    // Opens (or reopens) `reader` on the in-memory text or the file `name`.
    void openReader(TextReader& reader, const std::string& name);

    // --- Matrix primitives -------------------------------------------------------
    int cellIndex(int i, int j) const { return reference::cellIndex(i, j, bLen); }
    // How many values from position 1 on reading a pattern of `length`
    // values writes: whole lines of up to 16, within the vector.
    static size_t readWidth(int length)
    {
        if (length < 1)
            return 0;
        return static_cast<size_t>(std::min(((length - 1) / 16 + 1) * std::min(length, 16), kVectorSize));
    }

    // dest(i,j) = Round(store(((second(j) / unity) * first(i)) * x))
    void outerProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x);
    // dest(i,j) = Round(store(((first(i) * second(j)) * x) / unity))
    void correctionProduct(const Vector& first, int n, const Vector& second, int m, Matrix& dest, long double x);
    // dest(i,j) = store(second(i,j) + first(i,j)); dest may be first or second.
    void matrixAdd(const Matrix& first, int rows, int cols, const Matrix& second, Matrix& dest);
    // out(j) = running sum over rows, rounded after every row.
    void vectorMatrixProduct(const Matrix& m, int n, int k, Vector& out, const Vector& in);

    // --- Printing ------------------------------------------------------------------
    // The texts of one pair's patterns, as a training shows them at every
    // presentation: kept from the first one for the others.
    struct PatternTexts {
        std::string paneA, paneB, reportA, reportB;
    };
    // One pane line: each value / unity in 9 characters with 5 decimals and a
    // blank, behind whatever is pending. With `kept`, the text kept there is
    // shown when there is one, else the text is kept there.
    void printScaledVector(const Vector& v, int n, std::string* kept = nullptr);
    // " ===== W Matrix ====== " and the matrix in blocks of 16 columns.
    void printWMatrix(const Matrix& m, int rows, int cols);
    // Writes the vector into the current report line in the short exponent
    // form; `kept` as for printScaledVector (vectors of one report line).
    void writeVectorReport(const Vector& v, int n, std::string* kept = nullptr);

    // Ends the job after a fatal input error: writes "PROGRAM DONE", closes
    // the report file and throws JobTerminated with `reason`.
    [[noreturn]] void programDone(const std::string& reason);

    // --- Pair test (pairtest.cpp) ------------------------------------------------
    // `kept`: the texts of this pair's patterns (see PatternTexts), or null;
    // `pair`: its number in the run from 1 on, or 0.
    bool testPattern(const Vector& a, const Vector& b, int aLength, Matrix& w, int n, PatternTexts* kept = nullptr,
                     int pair = 0);
    // testPattern's pane lines: the pair's number and patterns, and a label
    // and calcVector.
    void showPairPatterns(const Vector& a, const Vector& b, int aLength, int n, PatternTexts* kept);
    void showCalcVector(const char* label, int n);
    bool scorePattern(const Vector& b, const Vector& c, int n) { return scoreBitErrors(bitErrors(b, c, n)); }
    // scorePattern's parts: the count of differences beyond TOL, and what
    // the count is reported as and added to.
    int bitErrors(const Vector& b, const Vector& c, int n) const;
    bool scoreBitErrors(int bec);
    // Fit term of a missed pair: mean of the squared t_i, squared.
    long double fitTerm(const Vector& e, const Vector& b, int n);
    void correctWeights(Matrix& w, const Vector& a, const Vector& e, int aLength, int n);
    double trainingTransfer(double v);
    // testPattern for quiet runs, on wMatrix, for the pair numbered `pair`
    // of the run, when every A value is 0 or unity and the weights are whole
    // numbers below 2^31 (wholepairs.cpp). False, with nothing changed, when
    // the pair or the matrix does not qualify; else `ok` is the test's result.
    bool testWholePair(int pair, const Vector& a, const Vector& b, int aLength, int n, bool& ok);
    // Finds whether a pair is whole, and keeps what the test needs of it.
    WholePairMemo::Pair wholePair(const Vector& a, const Vector& b, int aLength, int n);
    // testWholePair of the pairs first, first + 1, ... up to last, one after
    // another, in runs whose pairs were all found whole and whose R2 waits
    // (wholeruns.cpp). Returns the first pair it left untested: one that
    // testWholePair would not take whole, or last + 1. `missed` counts the
    // pairs missed; `at` is the pair being tested when a failure is raised.
    int testWholePairs(int first, int last, int& missed, int& at);
    bool allPairsInOnePass(int count);
    // testWholePair for weights past 2^31 (largepairs.cpp), where the
    // processor and the parameters allow it; false, with nothing changed,
    // where not.
    bool testLargeWholePair(int pair, const Vector& b, int n, bool& ok);
    // testWholePairs for weights past 2^31, pair by pair; its results as
    // testWholePairs gives them.
    int testLargeWholePairs(int first, int last, int& missed, int& at);
    bool largeWholePairQualifies(int pair, int n);
    // One pair's steps; b is needed only when R2 is made at once.
    bool largeWholePairStep(int pair, const Vector* b, int n, bool& ok);
    // The rows of unity corrected by the errors in calcVector (largepairs.cpp).
    void correctLargeRows(std::span<const int> rows, int n);
    // The pair numbered `pair` when it and wMatrix qualify for the whole-pair
    // steps (testWholePair's, and those of a shown pair test); else null. The
    // steps below then give exactly what the general ones give, and cannot fail.
    const WholePairMemo::Pair* qualifiedWholePair(int pair, const Vector& a, const Vector& b, int aLength, int n);
    // calcVector(1..n): the sums of the pair's rows of unity.
    void sumWholeRows(const WholePairMemo::Pair& pair, int n);
    // bitErrors of the pair's B values and calcVector.
    int wholeBitErrors(const WholePairMemo::Pair& pair, int n) const;
    // errorVector of the pair's B values into calcVector.
    void wholeErrors(const WholePairMemo::Pair& pair, int n);
    // Parts of testWholePair: the misses' share of the bit errors, and the
    // correction of the rows of unity by the errors in calcVector.
    void addBitErrors(int bec);
    // The bit errors of the sums in calcVector, and the pair's R2 step (b is
    // needed only when R2 is made at once); for a miss calcVector gets the
    // errors. Whether the pair was recalled.
    bool scoreWholeSums(const WholePairMemo::Pair& kept, int pair, const Vector* b, int n);
    void correctUnityRows(std::span<const int> rows, int n, bool wide);
    // The R2 sum of quiet runs that show only the last R2, made when needed
    // (wholepairs.cpp): folds waiting steps into r2Sum; keeps a completed
    // presentation's steps; and at the run's end, or when it fails, makes
    // finalR2 and r2Sum what the eager sums would have made them.
    double sumOfFitSteps(const WholePairMemo::FitSteps& steps, double sum) noexcept;
    void settleR2();
    void presentationR2Waits();
    void settleWaitingR2() noexcept;

    // --- Job files (jobfiles.cpp) ------------------------------------------------
    // True when the in-memory text or a regular file of that name (cut to
    // its first 20 characters) can be read; a folder of that name is not a file.
    bool fileExists(std::string_view name);
    // The simulation file: "nutest.dat" in memory, else the entry of the job
    // folder whose name is "nutest.dat" in any letter case ("nutest.dat"
    // itself when it exists). Empty when there is none.
    std::string simulationFileName();
    // Read the parameters file into the engine state, echo it to the report
    // file and put "Unity= " / "Unity RD= " into the pane.
    void readParameters(const std::string& name);
    void readParametersRD(const std::string& name);
    // Reads the W matrix section that follows the parameters.
    void readWMatrix(Matrix& m, int rows, int cols, TextReader& f);
    void openADataFile();
    void openBDataFile();
    // One pattern group of aLen (bLen) values.
    void readAVector(Vector& v, TextReader& f);
    void readBVector(Vector& v);
    // Number of pattern groups in the A data file before the sentinel group.
    int countPatterns();

    // --- The two runs of a Solve (training.cpp) ----------------------------------
    void jobOpening(const std::string& aName, const std::string& bName, const std::string& parametersName);
    // Returns how the training ended: every pair recalled, the limit reached
    // or stopped.
    RunEnd trainingRun(const std::string& parametersName);
    void buildStartingMatrix();
    bool addsExactly(int count) const;
    void addQuantisedProducts(int count);
    void writeWMatrixReport(const Matrix& m, int rows, int cols);
    void simulationPass();
    double logisticTransfer(double v);

    // --- Solve (solve.cpp) -------------------------------------------------------
    // Solve after the guard: writes the job files from `list` (a snapshot of
    // the window's list, which notes them as written), clears the 9 x 9
    // block, copies the matrix stores, then runs jobOpening and trainingRun.
    // Raises RunError (I/O or arithmetic) or JobTerminated (fatal input
    // error); every engine file is closed when it returns or raises.
    RunEnd solveJob(PatternList& list);
    // The same run on the job files already in the job folder (the headless
    // runner): no job files are written.
    RunEnd solveExistingJob();
    // Closes the engine's three files without raising.
    void closeEngineFiles() noexcept;

    // --- Predict (predict/recall.cpp) --------------------------------------------
    // Before any job has set the pattern lengths (both still 0), takes the
    // window's shape, A Len 9 and B Len 8, so that Load Matrix, Save Matrix
    // and Predict address the same cells. A job's lengths replace it at its
    // Solve.
    void useWindowShapeBeforeAnyJob();
    // Sets unity to 10000, scales the nine A values (ties to even), prints the
    // " INPUT " and " RESULT " pane lines and an empty line, and writes the
    // eight results into b(1..8). Raises RunError on an arithmetic fault.
    void recallB(const TPatternVector& a, TPatternVector& b);
    // recallB for a matrix trained on patterns of other lengths: `a` holds
    // A Len values, the parity element last; gives the B Len results. Raises
    // RunError when `a` is not of A Len values.
    std::vector<double> recallShapedB(const std::vector<double>& a);
    // The B values recalled from the A values `a` (A Len of them), into
    // `out` (B Len of them), without a line in the pane.
    void recallValuesInto(const double* a, double* out);

private:
    RunEnd runJob();
    // runTraining's steps, in order (training.cpp).
    RunEnd runTraining(const std::string& parametersName);
    void writeTrainingBanners();
    void prepareStartingMatrix();
    void announceTraining();
    RunEnd presentUntilDone();
    RunEnd finishTraining(RunEnd end);
    // One presentation: every pair tested, and what it found.
    struct PresentationTally {
        bool allCorrect = true;
        int missedPairs = 0;
    };
    PresentationTally presentPairs(KeptPairs& kept, std::vector<PatternTexts>& texts);
    void endPresentation(const PresentationTally& tally, double berBefore);
    // A pair's steps: its report heading, its first read, the whole pairs
    // from it on in one pass (returns the first one left untested), its
    // test, and its report lines.
    bool writesTestLines() const;
    void writePairHeading(int m);
    void readPair(int m, KeptPairs& kept);
    int testKeptWholePairs(int m, KeptPairs& kept, PresentationTally& tally);
    bool testPair(int m, KeptPairs& kept, PatternTexts* texts);
    void writePairLines(PatternTexts* texts, bool ok);
    void endQuietly(RunEnd end) noexcept;
    void quantise(Vector& v, int length);
    void writePairReport();
    void stepProgress(int delta);
    [[noreturn]] void fatal(std::string_view message);
    void readPattern(Vector& v, TextReader& f, int length);
    void readParametersInto(const std::string& name, const char* paneLabel);
    // The report file, or in quiet mode a report that is dropped.
    void createReport(const std::string& name);
    // What a quiet run's printing would raise, as it would raise it.
    void checkScale(const Vector& v, int n) const;

    // Set from any thread or a signal handler to stop the training after the
    // presentation it is in (see stop.h).
    std::atomic<bool> stopFlag{false};
    EngineOptions options_;
    // True while the training presents the pairs; an arithmetic error raised
    // then means the corrections grew out of range.
    bool presenting = false;
    // What quiet pair tests on 0/unity patterns keep from pair to pair.
    WholePairMemo wholePairs_;
    // The values a quiet starting matrix read of each pair, readWidth(aLen)
    // of A then readWidth(bLen) of B; empty when it kept none.
    std::vector<double> startingReads_;
    struct JobFileText {
        std::string text;
        std::shared_ptr<const KnownReads> known;
    };
    std::map<std::string, JobFileText, std::less<>> jobFileTexts_;
    NumberTextCache numberTexts_;
    // The W matrix as last shown: its pane lines, each with its line feed
    // and a line " " after each row's lines, all in one text; and each line
    // with its weights and the place of its text there.
    struct MatrixLine {
        std::array<double, 16> values{};
        size_t offset = 0;
        size_t length = 0; // without the line feed
    };
    // Brings matrixText_ to the matrix; the text of a line whose weights did
    // not change is kept as it is.
    void updateMatrixText(const Matrix& m, int rows, int cols);
    // Rewrites the lines whose weights changed in place; false, with the
    // text half written, when one of them changed its length.
    bool rewriteChangedLines(const Matrix& m, int rows, int cols);
    std::vector<MatrixLine> matrixLines_;
    std::string matrixText_;
    std::string lineText_;
    int matrixRows_ = 0, matrixCols_ = 0, matrixUnity_ = 0; // the shape of matrixText_
    bool matrixShown_ = false; // false: matrixText_ is to be made anew
    std::string reportText_; // the report text being built, for one write
};

} // namespace duolink
