// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's shortcuts against its reference arithmetic: random jobs and
// random capacity sets, each run with the shortcuts on, with the portable
// steps only and with the reference loops only. Reports, panes, R2 fields,
// matrices and analysis rows must be the same bytes. And the reference pair
// test, which nothing in the program calls, against the engine's.
//
// DUOLINK_DIFFERENTIAL_SETS sets how many jobs and sets (default 120), and
// DUOLINK_DIFFERENTIAL_SEED where the random stream starts (default 1).
// scripts/test also runs this program under an emulated processor without
// AVX2 (see docs/development.md).
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "core/analysis/splitmix64.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/support/errors.h"

namespace duolink {
namespace {

constexpr std::array<EngineOptions, 3> kWays = {EngineOptions{}, EngineOptions{false, true}, EngineOptions{true, false}};
constexpr std::array<const char*, 3> kWayNames = {"shortcuts", "portable", "reference"};

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

int setCount()
{
    return static_cast<int>(environmentNumber("DUOLINK_DIFFERENTIAL_SETS", 120));
}

// A job: its parameters, data and simulation texts, and the list it holds.
struct Job {
    analysis::JobTexts texts;
    PatternPairs list;
    std::string label;
};

template <size_t N>
const char* pick(SplitMix64& g, const std::array<const char*, N>& from)
{
    return from[g.next() % N];
}

// A value of a pattern: mostly 0 and 1 (what the whole-pair steps take),
// now and then another.
double patternValue(SplitMix64& g, double density)
{
    static constexpr std::array<double, 6> kOthers = {-1, 0.5, 2, 0.25, -0.75, 1.5};
    if (g.next() % 16 == 0)
        return kOthers[g.next() % kOthers.size()];
    return g.nextUnit() < density ? 1 : 0;
}

std::string matrixSection(SplitMix64& g, int rows, int cols)
{
    std::string s;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j)
            s += std::to_string(static_cast<int>(g.next() % 7) - 3) + (j + 1 < cols ? " " : "\r\n");
    }
    return s;
}

Job randomJob(SplitMix64& g, int k)
{
    static constexpr std::array<const char*, 5> kOptions = {"1", "2", "3", "4", "2"};
    static constexpr std::array<const char*, 8> kALengths = {"9", "9", "8", "4", "12", "16", "3", "20"};
    static constexpr std::array<const char*, 8> kBLengths = {"8", "8", "4", "12", "16", "9", "1", "5"};
    static constexpr std::array<const char*, 8> kBetas = {"0.05", "0.1", "0.3", "0.5", "1", "2.5", "1e200", "0.02"};
    static constexpr std::array<const char*, 6> kTols = {"0.1", "0.01", "0.3", "0.5", "0", "0.2"};
    Job job;
    const int pairs = static_cast<int>(g.next() % 16) + 1;
    const double density = 0.2 + 0.6 * g.nextUnit();
    job.list.resize(static_cast<size_t>(pairs));
    for (PatternPair& p : job.list) {
        for (int i = 1; i <= 9; ++i)
            p.a[static_cast<size_t>(i)] = patternValue(g, density);
        for (int j = 1; j <= 8; ++j)
            p.b[static_cast<size_t>(j)] = patternValue(g, density);
    }
    const std::string option = pick(g, kOptions);
    const int unity = g.next() % 3 == 0 ? 10000 : static_cast<int>(g.next() % 33333) + 1;
    const std::string aLen = pick(g, kALengths), bLen = pick(g, kBLengths);
    const bool simulation = g.next() % 5 == 0;
    std::string params = option + "\r\n" + std::to_string(g.next() % 40) + "\r\n" + aLen + "\r\n" + bLen + "\r\n" +
                         (simulation ? "1" : "0") + "\r\n" + pick(g, kBetas) + "\r\n0\r\n" +
                         (g.next() % 3 == 0 ? "1" : "2") + "\r\n" + std::to_string(unity) + "\r\n" +
                         pick(g, kTols) + "\r\n";
    if (option == "1")
        params += matrixSection(g, std::stoi(aLen), std::stoi(bLen));
    job.texts.parameters = params;
    analysis::putDataTexts(job.texts, job.list);
    if (simulation)
        job.texts.simulation = std::string("1 0 1 0 1 0 1 0 0\r\n0 0 0 1 1 1 0 0 1\r\n0.5 1 0 0 1 0 1 1 0\r\n");
    job.label = "job " + std::to_string(k) + " (" + aLen + " x " + bLen + ", option " + option + ", unity " +
                std::to_string(unity) + ")";
    return job;
}

struct Pane : ConsolePane {
    std::string text;
    void appendLine(std::string_view line) override
    {
        text.append(line);
        text += '\n';
    }
};

struct R2Field : TextField {
    std::string text;
    void setText(std::string_view t) override
    {
        text.assign(t);
        text += '\n';
    }
};

// Everything a shown run leaves: the report's bytes, the pane, the R2
// field's texts, how it ended and the final matrix.
std::string shownRun(const Job& job, const EngineOptions& options, const std::filesystem::path& folder)
{
    std::filesystem::remove(folder / kReportFileName);
    EngineState engine;
    engine.setOptions(options);
    engine.setJobFolder(folder);
    Pane pane;
    R2Field r2;
    engine.consoleChannel().consolePane = &pane;
    engine.consoleChannel().r2Edit = &r2;
    engine.setJobFileText(kParametersFileName, *job.texts.parameters);
    engine.setJobFileText(kADataFileName, job.texts.aData);
    engine.setJobFileText(kBDataFileName, job.texts.bData);
    if (job.texts.simulation)
        engine.setJobFileText(kSimulationFileName, *job.texts.simulation);
    std::string end;
    try {
        end = std::to_string(static_cast<int>(engine.solveExistingJob()));
    } catch (const JobTerminated& e) {
        end = std::string("terminated: ") + e.what();
    } catch (const RunError& e) {
        end = std::string("error: ") + e.what();
    }
    engine.closeEngineFiles();
    std::ifstream in(folder / kReportFileName, std::ios::binary);
    std::ostringstream report;
    report << in.rdbuf();
    std::ostringstream cells;
    cells.precision(17);
    for (double w : engine.state().wMatrix)
        cells << w << ' ';
    return "end " + end + "\n--- report\n" + report.str() + "--- pane\n" + pane.text + "--- r2\n" +
           r2.text + "--- matrix\n" + cells.str();
}

// What an analysis keeps of a training: its row and its final matrix.
std::string quietRun(const Job& job, const EngineOptions& options)
{
    analysis::JobTexts texts = job.texts;
    texts.options = options;
    const analysis::TrainingResult trained = analysis::trainInMemory(texts);
    const std::optional<analysis::RowResult> row = analysis::trainAndCount(texts, job.list, nullptr);
    std::ostringstream out;
    out.precision(17);
    out << analysis::resultColumns(*row) << " presentations " << trained.presentations << " r2 " << trained.finalR2
        << "\n";
    for (double w : trained.matrix.w)
        out << w << ' ';
    return out.str();
}

// A quiet run whose observer reads R2 at every presentation, so that the
// R2 sum is made at each pair: the presentations' R2 values and bit errors,
// how it ended and the final matrix.
std::string quietRunWithR2(const Job& job, const EngineOptions& options)
{
    struct Observer : TrainingObserver {
        std::ostringstream seen;
        void trainingStarted(const TrainingStart&) override {}
        void presentationMade(const PresentationRecord& r) override { seen << r.r2 << ' ' << r.bitErrors << '\n'; }
        void solveEnded(RunEnd) override {}
    } observer;
    observer.seen.precision(17);
    EngineState engine;
    engine.setQuiet(true);
    engine.setOptions(options);
    engine.setJobFolder("/dev/null");
    engine.setTrainingObserver(&observer);
    engine.setJobFileText(kParametersFileName, *job.texts.parameters);
    engine.setJobFileText(kADataFileName, job.texts.aData);
    engine.setJobFileText(kBDataFileName, job.texts.bData);
    std::string end;
    try {
        end = std::to_string(static_cast<int>(engine.solveExistingJob()));
    } catch (const std::exception& e) {
        end = e.what();
    }
    for (double w : engine.state().wMatrix)
        observer.seen << w << ' ';
    return end + "\n" + observer.seen.str();
}

class Differential : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() / ("duolink-differential-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(Differential, RandomJobsGiveTheSameBytesEveryWay)
{
    SplitMix64 g(environmentNumber("DUOLINK_DIFFERENTIAL_SEED", 1));
    for (int k = 0; k < setCount(); ++k) {
        const Job job = randomJob(g, k);
        SCOPED_TRACE(job.label);
        const std::string shown = shownRun(job, kWays[0], folder_);
        const std::string quiet = quietRun(job, kWays[0]);
        for (size_t way = 1; way < kWays.size(); ++way) {
            ASSERT_EQ(shownRun(job, kWays[way], folder_), shown) << kWayNames[way] << ", shown run";
            ASSERT_EQ(quietRun(job, kWays[way]), quiet) << kWayNames[way] << ", in memory";
        }
    }
}

// The capacity analysis's own sets (0/1 patterns with their parity
// elements) under random settings: rows as the CSV holds them. A third of
// them train for up to 400 presentations, long enough for the larger BETA
// values to drive the weights through 2^31 on to the failure near 2^63.
TEST_F(Differential, RandomCapacitySetsGiveTheSameRowsEveryWay)
{
    static constexpr std::array<const char*, 7> kBetas = {"0.05", "0.1", "0.3", "0.5", "1", "0.7", "0.35"};
    static constexpr std::array<const char*, 4> kTols = {"0.1", "0.01", "0.3", "0.5"};
    SplitMix64 g(environmentNumber("DUOLINK_DIFFERENTIAL_SEED", 1) ^ 0x5eedULL);
    analysis::CapacityOptions capacity;
    for (int k = 0; k < setCount(); ++k) {
        const int n = static_cast<int>(g.next() % 40) + 1;
        capacity.density = 0.1 + 0.8 * g.nextUnit();
        const PatternPairs list = analysis::randomSet(g.next(), n, 1, capacity.density);
        const int unity = g.next() % 2 ? 10000 : static_cast<int>(g.next() % 33333) + 1;
        analysis::JobTexts settings;
        settings.parameters = std::string(g.next() % 4 == 0 ? "3" : "2") + "\r\n" + std::to_string(g.next() % 3 == 0 ? g.next() % 400 + 1 : g.next() % 60 + 1) +
                              "\r\n9\r\n8\r\n0\r\n" + pick(g, kBetas) + "\r\n0\r\n" +
                              (g.next() % 4 == 0 ? "1" : "2") + "\r\n" + std::to_string(unity) + "\r\n" +
                              pick(g, kTols) + "\r\n";
        SCOPED_TRACE("set " + std::to_string(k) + ": " + *settings.parameters);
        std::string first;
        for (size_t way = 0; way < kWays.size(); ++way) {
            settings.options = kWays[way];
            const std::optional<analysis::RowResult> row = analysis::trainAndCount(list, settings, nullptr);
            ASSERT_TRUE(row);
            const std::string text = analysis::capacityRowText(capacity, static_cast<size_t>(n - 1), *row);
            if (way == 0)
                first = text;
            else
                ASSERT_EQ(text, first) << kWayNames[way];
        }
    }
}

// Weights far past 2^31, read as the starting matrix: rows 1 and 2 hold
// big + first and -big + second + offset(j), so that the first pair's sums,
// of those two rows, are first + second + offset(j), against B values of
// unity. They land where the steps for large weights decide something: a
// difference from B of just a miss or just not, running sums at and past
// 2^63, -2^63 itself, and corrections of large errors under BETA values
// whose products round.
TEST_F(Differential, LargeWeightsAtTheirBoundariesGiveTheSameBytesEveryWay)
{
    using Offsets = std::array<double, 8>;
    struct Case {
        const char* label;
        double big, first, second;
        Offsets offsets;
        const char* beta;
        int unity;
    };
    // UNITY 10000 and TOL 0.1: a difference of 1001 misses, 1000 does not.
    constexpr Offsets kJustAMiss = {-1000, 1000, 0, -1001, 1, -1, 999, 0};
    constexpr Offsets kJustNot = {-1000, 1000, 0, 7, 1, -1, 999, -999};
    constexpr Offsets kSpread = {-1001, 1001, 5e6, -5e6, 3, 1e9, -7e8, 0};
    static const Case kCases[] = {
        {"just a miss", 0x1p40, 0, 10000, kJustAMiss, "0.5", 10000},
        {"just not a miss", 0x1p40, 0, 10000, kJustNot, "0.5", 10000},
        {"sums reach 2^63", 0x1p62, 0x1p62, 0x1p62, kJustNot, "0.5", 10000},
        {"sums just below 2^63", 0x1p62, 0x1p62, 0x1p62 - 0x1p13, kSpread, "0.5", 10000},
        {"sums at -2^63", -0x1p62, -0x1p62, -0x1p62, kJustNot, "0.3", 10000},
        {"corrections that round", 0x1p50, 0x1p45 + 3, 7, kSpread, "0.1", 10000},
        {"large errors, BETA 0.35", 0x1p33, 0x1p52 + 2, -0x1p50, kSpread, "0.35", 10000},
        {"a unity the large steps do not take", 0x1p40, 0x1p35, 1, kSpread, "0.5", 33333},
        {"a small unity", 0x1p40, 0x1p36 + 1, 5, kSpread, "0.7", 48},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.label);
        Job job;
        job.list.resize(3);
        for (size_t p = 0; p < job.list.size(); ++p) {
            job.list[p].a[1] = job.list[p].a[2] = 1;
            job.list[p].a[2 + p] = 1; // the first pair has rows 1 and 2 only
            for (int j = 1; j <= 8; ++j)
                job.list[p].b[static_cast<size_t>(j)] = p == 0 ? 1 : (j + static_cast<int>(p)) % 2;
        }
        std::ostringstream matrix;
        matrix.precision(17);
        for (int i = 1; i <= 9; ++i) {
            for (int j = 1; j <= 8; ++j) {
                const double offset = c.offsets[static_cast<size_t>(j) - 1];
                const double cell = i == 1 ? c.big + c.first : i == 2 ? -c.big + c.second + offset : 3 * i - j;
                matrix << cell << (j < 8 ? " " : "\r\n");
            }
        }
        job.texts.parameters = "1\r\n40\r\n9\r\n8\r\n0\r\n" + std::string(c.beta) + "\r\n0\r\n2\r\n" +
                               std::to_string(c.unity) + "\r\n0.1\r\n" + matrix.str();
        analysis::putDataTexts(job.texts, job.list);
        const std::string shown = shownRun(job, kWays[0], folder_);
        const std::string quiet = quietRun(job, kWays[0]);
        const std::string withR2 = quietRunWithR2(job, kWays[0]);
        for (size_t way = 1; way < kWays.size(); ++way) {
            EXPECT_EQ(shownRun(job, kWays[way], folder_), shown) << kWayNames[way] << ", shown run";
            EXPECT_EQ(quietRun(job, kWays[way]), quiet) << kWayNames[way] << ", in memory";
            EXPECT_EQ(quietRunWithR2(job, kWays[way]), withR2) << kWayNames[way] << ", R2 at every presentation";
        }
    }
}

// The reference pair test against the engine's, shortcuts on: random
// weights and patterns (mostly 0 and unity), one pair at a time.
TEST_F(Differential, ReferencePairTestIsTheEngines)
{
    SplitMix64 g(environmentNumber("DUOLINK_DIFFERENTIAL_SEED", 1) ^ 0x9a1dULL);
    for (int k = 0; k < setCount(); ++k) {
        EngineState engine;
        engine.setQuiet(true);
        const int aLength = static_cast<int>(g.next() % 16) + 1;
        engine.setPatternLengths(aLength, static_cast<int>(g.next() % 16) + 1);
        engine.setUnity(g.next() % 2 ? 10000 : static_cast<int>(g.next() % 33333) + 1);
        engine.setBeta(0.02 + g.nextUnit());
        engine.setTol(g.nextUnit() / 2);
        engine.setTransferFunction(g.next() % 3 == 0 ? kTrainingTransfer : kNoTransfer);
        const EngineStateData& state = engine.state();
        const reference::PairArithmetic p{state.unity, state.beta, state.tol,
                                          state.transferFunction == kTrainingTransfer, state.bLen};
        const bool whole = g.next() % 2;
        for (int c = 1; c <= state.aLen * state.bLen; ++c)
            engine.setWeight(c, whole ? static_cast<double>(static_cast<int>(g.next() % 4001) - 2000)
                                      : (g.nextUnit() - 0.5) * 1e5);
        Vector a{}, b{};
        for (int i = 1; i <= state.aLen; ++i)
            a[static_cast<size_t>(i)] = patternValue(g, 0.5) * state.unity;
        for (int j = 1; j <= state.bLen; ++j)
            b[static_cast<size_t>(j)] = patternValue(g, 0.5) * state.unity;
        Matrix w = state.wMatrix, work{}, tested = state.wMatrix;
        Vector calc{};
        SCOPED_TRACE("pair " + std::to_string(k));
        std::string expected, got;
        try {
            const reference::PairStep step = reference::pairTest(a, state.aLen, b, state.bLen, w, calc, work, p);
            expected = std::to_string(step.bitErrors) + " " + std::to_string(static_cast<double>(step.r2Term));
        } catch (const RunError& e) {
            expected = e.what();
        }
        try {
            engine.testPattern(a, b, state.aLen, tested, state.bLen);
            got = std::to_string(static_cast<int>(state.berTotal * 2)) + " " + std::to_string(state.r2Sum);
        } catch (const RunError& e) {
            got = e.what();
        }
        ASSERT_EQ(got, expected);
        for (int c = 1; c <= state.aLen * state.bLen; ++c)
            ASSERT_EQ(tested[static_cast<size_t>(c)], w[static_cast<size_t>(c)]) << "cell " << c;
    }
}

} // namespace
} // namespace duolink
