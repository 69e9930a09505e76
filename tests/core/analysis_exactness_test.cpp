// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory training against the engine the runner uses: the same job
// files, trained both ways, must agree in presentations, every matrix cell,
// outcome, R2 text and the pairs missed last.
#include <gtest/gtest.h>

#include <array>

#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/memtrain.h"
#include "core/analysis/randomsets.h"
#include "core/analysis/shapedrecall.h"
#include "core/analysis/splitmix64.h"
#include "core/support/console.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/engine/observer.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns/shapedlist.h"
#include "testsupport.h"

namespace duolink {
namespace {

using analysis::Outcome;

struct R2Field : TextField {
    std::string text = "    0.000";
    void setText(std::string_view t) override { text.assign(t); }
};

struct MissedRecorder : TrainingObserver {
    int missed = 0;
    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& r) override { missed = r.missedPairs; }
    void solveEnded(RunEnd) override {}
};

struct Params {
    const char* option;
    const char* max;
    const char* alen;
    const char* blen;
    const char* simulation;
    const char* beta;
    const char* transfer;
    const char* unity;
    const char* tol;
};

std::string parametersText(const Params& p, const std::string& wSection = {})
{
    return std::string(p.option) + "\r\n" + p.max + "\r\n" + p.alen + "\r\n" + p.blen + "\r\n" + p.simulation +
           "\r\n" + p.beta + "\r\n0\r\n" + p.transfer + "\r\n" + p.unity + "\r\n" + p.tol + "\r\n" + wSection;
}

class AnalysisExactness : public testing::EngineTest {
protected:
    // Trains `job` both ways and compares; returns the in-memory outcome.
    Outcome compare(const analysis::JobTexts& job, const std::string& label)
    {
        SCOPED_TRACE(label);
        resetEngineState();
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            std::filesystem::remove_all(entry.path());
        if (job.parameters)
            testing::writeFile(dir_ / kParametersFileName, *job.parameters);
        testing::writeFile(dir_ / kADataFileName, job.aData);
        testing::writeFile(dir_ / kBDataFileName, job.bData);
        if (job.simulation)
            testing::writeFile(dir_ / "nutest.dat", *job.simulation);
        R2Field r2;
        MissedRecorder missed;
        r2Edit = &r2;
        trainingObserver = &missed;
        consolePane = nullptr;
        Outcome expected = Outcome::Recalled;
        try {
            expected = solveExistingJob_() ? Outcome::Recalled : Outcome::Limit;
        } catch (const JobTerminated&) {
            expected = Outcome::Terminated;
        } catch (const RunError&) {
            expected = Outcome::Error;
        }
        closeEngineFiles();
        r2Edit = nullptr;
        trainingObserver = nullptr;

        const analysis::TrainingResult got = analysis::trainInMemory(job);
        EXPECT_EQ(analysis::outcomeName(got.outcome), analysis::outcomeName(expected));
        EXPECT_FALSE(got.stopped);
        if (expected == Outcome::Terminated)
            return got.outcome;
        EXPECT_EQ(got.presentations, std::max(presentationNo - 1, 0));
        const size_t first = r2.text.find_first_not_of(' ');
        EXPECT_EQ(got.finalR2, r2.text.substr(first == std::string::npos ? 0 : first));
        EXPECT_EQ(got.missedLast, missed.missed);
        EXPECT_EQ(got.matrix.aLen, aLen);
        EXPECT_EQ(got.matrix.bLen, bLen);
        for (int c = 1; c <= aLen * bLen; ++c)
            if (got.matrix.w[c] != wMatrix[c]) {
                ADD_FAILURE() << "matrix cell " << c << ": " << got.matrix.w[c] << " in memory, " << wMatrix[c];
                break;
            }
        return got.outcome;
    }

private:
    bool solveExistingJob_()
    {
        struct EndRecorder : TrainingObserver {
            TrainingObserver* next;
            RunEnd end = RunEnd::Error;
            void trainingStarted(const TrainingStart& s) override { next->trainingStarted(s); }
            void presentationMade(const PresentationRecord& r) override { next->presentationMade(r); }
            void solveEnded(RunEnd e) override { end = e; }
        } recorder;
        recorder.next = trainingObserver;
        trainingObserver = &recorder;
        try {
            solveExistingJob();
        } catch (...) {
            trainingObserver = recorder.next;
            throw;
        }
        trainingObserver = recorder.next;
        return recorder.end == RunEnd::Recalled;
    }
};

analysis::JobTexts jobFor(const PatternPairs& list, std::string parameters)
{
    analysis::JobTexts job;
    job.parameters = std::move(parameters);
    analysis::putDataTexts(job, list);
    return job;
}

// Hand-picked jobs, one or more of every outcome and of the corners the
// engine treats on their own.
TEST_F(AnalysisExactness, CornerJobsAgreeWithTheEngine)
{
    const PatternPairs few = analysis::randomSet(7, 3, 1, 0.5);
    const PatternPairs many = analysis::randomSet(7, 40, 1, 0.5);
    const PatternPairs cycling = analysis::randomSet(7, 10, 1, 0.5);
    const std::string w9x8 = [] {
        std::string s;
        for (int i = 1; i <= 9; ++i)
            s += "0.5 -1 2 0 1 1 -0.25 3\r\n";
        return s;
    }();
    struct Case {
        const char* label;
        const PatternPairs* list;
        Params params;
        std::string wSection;
        std::optional<std::string> simulation;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"recalled", &few, {"2", "100", "9", "8", "0", "0.1", "2", "10000", "0.1"}, "", {}, Outcome::Recalled},
        {"limit", &many, {"2", "7", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Limit},
        // Runs that repeat a cycle of 24 presentations from the 114th on.
        {"a cycle long before the limit", &cycling, {"2", "1000", "9", "8", "0", "0.3", "2", "10000", "0.1"}, "", {},
         Outcome::Limit},
        {"a cycle, the limit at another phase", &cycling, {"3", "999", "9", "8", "0", "0.3", "2", "10000", "0.1"},
         "", {}, Outcome::Limit},
        {"corrections that overflow in a late presentation", &cycling,
         {"2", "1000", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Error},
        {"option 4, transfer 1", &many, {"4", "5", "9", "8", "0", "0.3", "1", "10000", "0.2"}, "", {}, Outcome::Limit},
        {"option 3", &few, {"3", "50", "9", "8", "0", "0.1", "2", "1000", "0.1"}, "", {}, Outcome::Recalled},
        {"matrix from the parameters", &many, {"1", "4", "9", "8", "0", "0.5", "2", "10000", "0.1"}, w9x8, {},
         Outcome::Limit},
        {"no presentations", &few, {"2", "0", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Limit},
        {"negative limit", &few, {"2", "-3", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Limit},
        {"empty list", nullptr, {"2", "10", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Recalled},
        {"overflowing beta", &many, {"2", "100", "9", "8", "0", "1e300", "2", "10000", "0.1"}, "", {}, Outcome::Error},
        {"unity 0", &few, {"2", "10", "9", "8", "0", "0.5", "2", "0", "0.1"}, "", {}, Outcome::Error},
        {"unity 0, option 1", &few, {"1", "10", "9", "8", "0", "0.5", "2", "0", "0.1"}, w9x8, {}, Outcome::Error},
        {"unity 0, no presentations", &few, {"2", "0", "9", "8", "0", "0.5", "2", "0", "0.1"}, "", {}, Outcome::Error},
        {"bad number", &few, {"2", "x", "9", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Error},
        {"A Len 0", &few, {"2", "10", "0", "8", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Terminated},
        {"matrix too big", &few, {"2", "10", "100", "100", "0", "0.5", "2", "10000", "0.1"}, "", {},
         Outcome::Terminated},
        {"no simulation file", &few, {"2", "10", "9", "8", "1", "0.5", "2", "10000", "0.1"}, "", {},
         Outcome::Terminated},
        {"simulation pass", &few, {"2", "30", "9", "8", "1", "0.1", "2", "10000", "0.1"}, "",
         std::string("1 0 1 0 1 0 1 0 0\r\n0 0 0 1 1 1 0 0 1\r\n"), Outcome::Recalled},
        {"lengths across lines", &many, {"2", "6", "20", "17", "0", "0.5", "2", "10000", "0.1"}, "", {},
         Outcome::Limit},
        {"wide B read across lines", &few, {"2", "6", "9", "30", "0", "0.5", "2", "10000", "0.1"}, "", {}, Outcome::Limit},
    };
    const PatternPairs empty;
    for (const Case& c : cases) {
        analysis::JobTexts job = jobFor(c.list ? *c.list : empty, parametersText(c.params, c.wSection));
        job.simulation = c.simulation;
        EXPECT_EQ(analysis::outcomeName(compare(job, c.label)), analysis::outcomeName(c.outcome)) << c.label;
    }
    analysis::JobTexts bad = jobFor(few, parametersText(cases[0].params));
    bad.bData.insert(0, "1e30 ");
    EXPECT_EQ(compare(bad, "a value out of range in the first B pattern"), Outcome::Error);
    analysis::JobTexts missing = jobFor(few, "");
    missing.parameters.reset();
    EXPECT_EQ(compare(missing, "no parameters file"), Outcome::Terminated);
}

// A seeded sample of random sets and settings; every outcome kind shows up.
TEST_F(AnalysisExactness, RandomJobsAgreeWithTheEngine)
{
    const std::array<const char*, 4> options = {"2", "3", "4", "2"};
    const std::array<const char*, 5> betas = {"0.05", "0.1", "0.5", "0.02", "1e200"};
    const std::array<const char*, 4> tols = {"0.1", "0.01", "0.5", "0.3"};
    const std::array<const char*, 4> unities = {"10000", "1000", "10000", "7"};
    const std::array<const char*, 4> bLengths = {"8", "4", "8", "9"};
    std::array<int, 4> seen{};
    SplitMix64 g(42);
    for (int k = 0; k < 80; ++k) {
        const int n = static_cast<int>(g.next() % 24) + 1;
        const PatternPairs list = analysis::randomSet(g.next(), n, 1, 0.2 + 0.6 * g.nextUnit());
        const std::string max = std::to_string(g.next() % 60);
        const Params p{options[g.next() % 4], max.c_str(), g.next() % 8 == 0 ? "200" : "9", bLengths[g.next() % 4], "0",
                       betas[g.next() % 5], g.next() % 3 == 0 ? "1" : "2", unities[g.next() % 4],
                       tols[g.next() % 4]};
        const Outcome o = compare(jobFor(list, parametersText(p)), "random job " + std::to_string(k));
        ++seen[static_cast<int>(o)];
    }
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_GT(seen[kind], 0) << analysis::outcomeName(static_cast<Outcome>(kind)) << " never came up";
}

// A random set of every shape, kept as a list file and read back, trains in
// memory as the runner trains the job files it writes for the list; its
// recall counts are those of the recall table on the runner's matrix.
TEST_F(AnalysisExactness, ListsOfEveryShapeTrainAsTheRunnersJobs)
{
    struct Case {
        ListShape shape;
        int pairs;
        const char* beta;
    };
    const std::vector<Case> cases = {
        {{1, 1}, 3, "0.5"},   {{8, 8}, 12, "0.1"},   {{16, 16}, 20, "0.05"},
        {{32, 20}, 24, "0.05"}, {{126, 21}, 6, "0.01"}, {{49, 54}, 6, "0.02"},
    };
    std::array<int, 4> seen{};
    for (const Case& c : cases) {
        const std::string label = std::to_string(c.shape.n) + " x " + std::to_string(c.shape.m);
        SCOPED_TRACE(label);
        const ShapedPairs kept = parseShapedList(
            shapedListText(analysis::randomShapedSet(5, c.pairs, 1, 0.4, c.shape)), "n-s1.csv");
        ASSERT_EQ(kept.shape, c.shape);
        analysis::JobTexts settings;
        settings.parameters = parametersText({"2", "60", "9", "8", "0", c.beta, "2", "10000", "0.1"});
        const analysis::JobTexts job = analysis::shapedJob(kept, settings);

        // The texts are the files the runner writes, its lengths those of the list.
        const std::filesystem::path written = dir_ / "written";
        std::filesystem::create_directories(written);
        writeShapedJobFiles(kept, written);
        EXPECT_EQ(job.aData, testing::readFile(written / kADataFileName));
        EXPECT_EQ(job.bData, testing::readFile(written / kBDataFileName));
        const ParameterValues values = readParameterValues(*job.parameters);
        EXPECT_EQ(values[Parameter::ALen], c.shape.aLen());
        EXPECT_EQ(values[Parameter::BLen], c.shape.bLen());

        const Outcome outcome = compare(job, label);
        ++seen[static_cast<size_t>(outcome)];
        const std::optional<analysis::RowResult> row = analysis::trainAndCount(kept, settings, nullptr);
        ASSERT_TRUE(row);
        EXPECT_EQ(analysis::outcomeName(row->outcome), analysis::outcomeName(outcome));
        int recalled = 0, nearestOwn = 0;
        for (const analysis::ShapedRecallRow& r :
             analysis::shapedRecallTable(RecallSnapshot::of(*this), kept, tol).rows) {
            recalled += r.recalledWithinTol();
            nearestOwn += r.nearestOwn();
        }
        EXPECT_EQ(row->recall.recalled, recalled);
        EXPECT_EQ(row->recall.nearestOwn, nearestOwn);
        EXPECT_GT(nearestOwn, 0);
    }
    EXPECT_GT(seen[static_cast<size_t>(Outcome::Recalled)], 0);
    EXPECT_GT(seen[static_cast<size_t>(Outcome::Limit)], 0);
}

} // namespace
} // namespace duolink
