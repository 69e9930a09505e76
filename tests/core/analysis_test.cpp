// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses: recall of every pair exactly as Predict computes it, and the
// noise tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "core/analysis/noise.h"
#include "core/analysis/randomsets.h"
#include "core/analysis/recalltable.h"
#include "core/analysis/shapedrecall.h"
#include "core/analysis/splitmix64.h"
#include "core/engine/solve.h"
#include "core/patterns/patternlist.h"
#include "core/predict/recall.h"
#include "core/parameters/paramsfile.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::runBatch;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

using Analysis = duolink::testing::EngineTest;

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string field; std::getline(in, field, separator);)
        fields.push_back(field);
    return fields;
}

// A pattern list of `pairs` random pairs; values are 0/1 or, with `real`, of
// three decimals between -1 and 2.
std::string randomList(std::uint64_t seed, int pairs, bool real)
{
    SplitMix64 random(seed);
    std::string text;
    for (int p = 0; p < pairs; ++p) {
        for (int k = 0; k < 16; ++k) {
            const std::uint64_t r = random.next();
            text += k ? "," : "";
            text += real ? std::to_string(static_cast<int>(r % 3001) - 1000) + "e-3" : std::to_string(r & 1);
        }
        text += '\n';
    }
    return text;
}

// The example parameters with another run option, UNITY, TOL and BETA.
std::string parameters(int option, int unityValue, const std::string& tolText, const std::string& betaText = "0.5")
{
    std::vector<std::string> lines = split(readFile(kExamples / "veld200gSetup.dat"), '\n');
    lines[0] = std::to_string(option) + lines[0].substr(1);
    lines[5] = betaText;
    lines[8] = std::to_string(unityValue);
    lines[9] = tolText;
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

// Every recalled value of the table is the one --predict prints for the
// pair's A values, on the example jobs, the test jobs and random lists.
TEST_F(Analysis, RecallTableAgreesWithPredictOnEveryPair)
{
    struct Job {
        std::string name;
        fs::path copyFrom;       // a job folder, or
        std::string list;        // a pattern list with
        std::string parameters;  // these parameters
    };
    std::vector<Job> jobs = {
        {"demo", kExamples / "demo", "", ""},
        {"examples", "", readFile(kExamples / "patterns.csv"), readFile(kExamples / "veld200gSetup.dat")},
    };
    for (const char* name : {"rwm_opt1", "rounding_opt1", "abort_opt4", "converge_opt3", "opt5_tf1_sim", "maxp0"})
        jobs.push_back({name, fs::path(DUOLINK_TEST_DATA) / "jobs" / name, "", ""});
    jobs.push_back({"random_binary", "", randomList(11, 12, false), parameters(2, 10000, "0.2")});
    jobs.push_back({"random_real", "", randomList(12, 20, true), parameters(4, 1000, "0.3", "0.02")});
    jobs.push_back({"random_real_unity100", "", randomList(13, 7, true), parameters(1, 100, "0.05", "0.03")});

    for (const Job& job : jobs) {
        SCOPED_TRACE(job.name);
        const fs::path folder = dir_ / job.name;
        std::string patternsOption;
        if (!job.copyFrom.empty()) {
            fs::copy(job.copyFrom, folder);
            fs::remove_all(folder / "expected");
        } else {
            fs::create_directories(folder);
            writeFile(folder / "veld200gSetup.dat", job.parameters);
            writeFile(dir_ / (job.name + ".csv"), job.list);
            patternsOption = " --patterns '" + (dir_ / (job.name + ".csv")).string() + "'";
        }
        const fs::path table = dir_ / (job.name + "-table.csv");
        // The recall counts know A Len 9 only; other jobs are refused.
        if (readParameterValues(readFile(folder / "veld200gSetup.dat"))[Parameter::ALen] != 9) {
            EXPECT_EQ(runBatch("--quiet --recall-table '" + table.string() + "' '" + folder.string() + "'",
                               dir_ / "out", dir_ / "out.err"),
                      4);
            EXPECT_NE(readFile(dir_ / "out.err").find("the analyses take jobs of A Len 9"), std::string::npos);
            EXPECT_FALSE(fs::exists(table));
            continue;
        }
        ASSERT_EQ(runBatch("--quiet" + patternsOption + " --recall-table '" + table.string() + "' '" +
                               folder.string() + "'",
                           dir_ / "out", dir_ / "out.err"),
                  0)
            << readFile(dir_ / "out.err");
        std::vector<std::string> rows = split(readFile(table), '\n');
        ASSERT_GE(rows.size(), 2u);
        EXPECT_EQ(rows[0], kRecallTableHeader);

        // One --predict per pair, each with the pair's A values as written.
        std::string predicts;
        for (size_t r = 1; r < rows.size(); ++r) {
            const std::vector<std::string> fields = split(rows[r], ',');
            ASSERT_EQ(fields.size(), 30u) << rows[r];
            std::string a;
            for (int i = 1; i <= 8; ++i)
                a += (i > 1 ? " " : "") + fields[i];
            predicts += " --predict '" + a + "'";
        }
        // The same job again, the table written after the predictions.
        const fs::path again = dir_ / (job.name + "-again.csv");
        ASSERT_EQ(runBatch("--quiet" + patternsOption + predicts + " --recall-table '" + again.string() + "' '" +
                               folder.string() + "'",
                           dir_ / "predicted", dir_ / "predicted.err"),
                  0);
        EXPECT_EQ(readFile(again), readFile(table));
        const std::vector<std::string> predicted = split(readFile(dir_ / "predicted"), '\n');
        ASSERT_EQ(predicted.size(), rows.size() - 1);
        for (size_t r = 1; r < rows.size(); ++r) {
            const std::vector<std::string> fields = split(rows[r], ',');
            std::string expected = "B:";
            for (int j = 17; j <= 24; ++j)
                expected += " " + std::string(9 - std::min<size_t>(9, fields[j].size()), ' ') + fields[j];
            EXPECT_EQ(predicted[r - 1], expected) << "pair " << fields[0];
        }
    }
}

// Against the engine's own recall, on shapes other than the window's and
// with leftovers in the result store: the same values, and the engine state
// untouched by the analyses.
TEST_F(Analysis, ExactRecallIsPredictsRecallAndLeavesNoTrace)
{
    SplitMix64 random(7);
    // Matrices of whole cells, one with a cell that is not, and one whose
    // columns add up past 2^31; inputs of 0 and 1 and of other values.
    const struct {
        int aLen, bLen;
        double cell; // put in cell 5 unless 0
    } shapes[] = {{9, 8, 0}, {3, 2, 0}, {18, 17, 0}, {9, 1, 0}, {2, 30, 0}, {9, 8, 0.5}, {9, 8, 0x1p31 - 1}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.aLen) + " x " + std::to_string(shape.bLen));
        resetEngineState();
        aLen = shape.aLen;
        bLen = shape.bLen;
        unity = 10;
        for (int k = 1; k <= aLen * bLen; ++k)
            wMatrix[k] = static_cast<double>(static_cast<int>(random.next() % 40001) - 20000);
        if (shape.cell != 0)
            wMatrix[5] = shape.cell;
        for (int j = 1; j <= 8; ++j)
            calcVector[j] = static_cast<double>(random.next() % 1000);

        PatternPairs list(8);
        for (size_t p = 0; p < list.size(); ++p)
            for (int i = 1; i <= 9; ++i) {
                list[p].a[i] = p % 2 ? static_cast<double>(random.next() % 2)
                                     : static_cast<double>(static_cast<int>(random.next() % 2001) - 1000) / 777;
                list[p].b[i] = static_cast<double>(random.next() % 3);
            }
        const RecallSnapshot snapshot = RecallSnapshot::of(*this);
        const RecallTable table = recallTable(snapshot, list, 0.5);
        NoiseOptions options;
        options.trials = 3;
        ASSERT_TRUE(noiseTable(snapshot, list, options, ThreadPool(2)));
        EXPECT_EQ(unity, 10);
        EXPECT_EQ(wMatrix, snapshot.w);
        EXPECT_EQ(calcVector, snapshot.calc);

        for (const RecallRow& row : table.rows) {
            TPatternVector b{};
            recallB(row.a, b);
            for (int j = 1; j <= 8; ++j)
                EXPECT_EQ(row.recalled[j - 1], b[j]) << "pair " << row.pair << " B" << j;
        }
    }
}

// Two pairs through a matrix whose recall can be followed by hand:
// r1 = a1 + a2 and r2 = the parity element, the rest 0.
// Pair 1: A = 1 1 0 0 0 0 0 0 (parity 0), B = 2 0 0 ...
// Pair 2: A = 0 0 1 0 0 0 0 0 (parity 1), B = 0 1 0 ...
// With TOL 0.5 a recall is right when neither A1 nor A2 is flipped and k is
// even (the parity is recomputed, so it changes with every flip): 2 C(6, k)
// for even k. The nearest B is the own one when neither A1 nor A2 is
// flipped, or just one of them with k even (r1 = 1 lies as near to both Bs;
// r2 decides, or the tie goes to pair 1).
TEST_F(Analysis, FlipNoiseCountsWorkedByHand)
{
    RecallSnapshot snapshot;
    snapshot.aLen = 9;
    snapshot.bLen = 8;
    snapshot.w[1 + 0 * 8] = 10000;
    snapshot.w[1 + 1 * 8] = 10000;
    snapshot.w[2 + 8 * 8] = 10000;
    PatternPairs list(2);
    list[0].a = {0, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    list[0].b = {0, 2, 0, 0, 0, 0, 0, 0, 0, 0};
    list[1].a = {0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    list[1].b = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    NoiseOptions options;
    options.tol = 0.5;

    const std::optional<NoiseTable> table = noiseTable(snapshot, list, options, ThreadPool(3));
    ASSERT_TRUE(table);
    EXPECT_EQ(noiseTableCsv(*table), "mode,level,recalls,within_tol,nearest_own,outside_tol_elements\n"
                                     "flip,0,2,2,2,0\n"
                                     "flip,1,16,0,12,20\n"
                                     "flip,2,56,30,54,26\n"
                                     "flip,3,112,0,40,184\n"
                                     "flip,4,140,30,110,110\n"
                                     "flip,5,112,0,12,212\n"
                                     "flip,6,56,2,26,54\n"
                                     "flip,7,16,0,0,32\n"
                                     "flip,8,2,0,0,2\n");

    const RecallTable recall = recallTable(snapshot, list, 0.5);
    EXPECT_EQ(recallSummary(recall), "2 of 2 pairs recalled within TOL 0.5; 2 of 2 nearest to their own B");
}

// The generator is SplitMix64 as published (the reference outputs for seed
// 1234567), and the Gaussian table depends on the seed alone: the same with
// one thread and with four, and at sigma 0 it is the recall table's.
TEST_F(Analysis, GaussianNoiseIsReproducibleOnAnyThreadCount)
{
    SplitMix64 reference(1234567);
    for (std::uint64_t expected : {6457827717110365317ULL, 3203168211198807973ULL, 9817491932198370423ULL})
        EXPECT_EQ(reference.next(), expected);

    SplitMix64 random(3);
    RecallSnapshot snapshot;
    snapshot.aLen = 9;
    snapshot.bLen = 8;
    for (int k = 1; k <= 72; ++k)
        snapshot.w[k] = static_cast<double>(static_cast<int>(random.next() % 20001) - 10000);
    const PatternPairs list = parsePatternList(randomList(5, 9, true), "list");

    NoiseOptions options;
    options.tol = 0.4;
    options.trials = 260; // two blocks of trials per pair and sigma
    options.seed = 99;
    const std::string one = noiseTableCsv(*noiseTable(snapshot, list, options, ThreadPool(1)));
    WorkProgress progress;
    const std::string four = noiseTableCsv(*noiseTable(snapshot, list, options, ThreadPool(4), &progress));
    EXPECT_EQ(one, four);
    EXPECT_EQ(progress.done, options.sigmas.size() * list.size() * 2);
    EXPECT_TRUE(one.starts_with("mode,level,recalls,within_tol,nearest_own,outside_tol_elements\ngauss,0,2340,"))
        << one;

    const RecallTable recall = recallTable(snapshot, list, options.tol);
    const NoiseRow zero = noiseTable(snapshot, list, options, ThreadPool(2))->rows[0];
    EXPECT_EQ(zero.withinTol, recall.recalledCount() * options.trials);
    EXPECT_EQ(zero.nearestOwn, recall.nearestOwnCount() * options.trials);

    options.seed = 100;
    EXPECT_NE(noiseTableCsv(*noiseTable(snapshot, list, options, ThreadPool(2))), one);

    // A stop before the start gives no table.
    WorkProgress stopped;
    stopped.stop = true;
    EXPECT_FALSE(noiseTable(snapshot, list, options, ThreadPool(2), &stopped));
}

// Recall tables and noise of lists of other shapes: the 8 + 8 table's bytes
// from the general code, whole flip levels and drawn ones, Gaussian noise on
// an odd count, all alike on any thread count.
TEST_F(Analysis, RecallAndNoiseOfAnyShapeAreTheSameOnAnyThreadCount)
{
    const auto snapshotOf = [](int aLen, int bLen, std::uint64_t seed) {
        SplitMix64 random(seed);
        RecallSnapshot snapshot;
        snapshot.aLen = aLen;
        snapshot.bLen = bLen;
        for (int k = 1; k <= aLen * bLen; ++k)
            snapshot.w[k] = static_cast<double>(static_cast<int>(random.next() % 20001) - 10000);
        return snapshot;
    };
    const RecallSnapshot fixed = snapshotOf(9, 8, 3);
    const PatternPairs eight = parsePatternList(randomList(5, 9, true), "list");
    EXPECT_EQ(analysis::shapedRecallTableCsv(analysis::shapedRecallTable(fixed, shapedFromFixed(eight), 0.4)),
              recallTableCsv(recallTable(fixed, eight, 0.4)));

    struct Case {
        ListShape shape;
        bool binary;
        std::vector<int> sampledLevels; // flip levels with more than 100 flip sets
    };
    const std::vector<Case> cases = {
        {{12, 5}, true, {3, 4, 5, 6, 7, 8, 9}},
        {{11, 3}, false, {}},
        {{1, 1}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.shape.n) + " x " + std::to_string(c.shape.m));
        const RecallSnapshot snapshot = snapshotOf(c.shape.aLen(), c.shape.bLen(), 7);
        ShapedPairs list = analysis::randomShapedSet(9, 4, 1, 0.5, c.shape);
        if (!c.binary)
            for (std::vector<double>& a : list.a)
                for (double& v : a)
                    v = v * 0.8 + 0.1;
        NoiseOptions options;
        options.tol = 0.4;
        options.trials = 30;
        options.mostFlipSets = 100;
        const NoiseTable one = *noiseTable(snapshot, list, options, ThreadPool(1));
        const std::string csv = noiseTableCsv(one);
        EXPECT_EQ(noiseTableCsv(*noiseTable(snapshot, list, options, ThreadPool(3))), csv);
        ASSERT_EQ(one.rows.size(), c.binary ? static_cast<size_t>(c.shape.n) + 1 : options.sigmas.size());
        for (const NoiseRow& row : one.rows) {
            const int k = static_cast<int>(row.level);
            const bool sampled = std::count(c.sampledLevels.begin(), c.sampledLevels.end(), k) > 0;
            EXPECT_EQ(row.sampled, c.binary && sampled) << k;
            const long long perPair = !c.binary || sampled ? options.trials
                                                           : static_cast<long long>(flipSetCount(c.shape.n, k));
            EXPECT_EQ(row.recalls, perPair * 4) << k;
            if (row.sampled)
                EXPECT_NE(csv.find("flip-sampled," + std::to_string(k) + ","), std::string::npos);
        }
        const analysis::ShapedRecallTable table = analysis::shapedRecallTable(snapshot, list, options.tol);
        long long recalled = 0;
        for (const analysis::ShapedRecallRow& row : table.rows)
            recalled += row.recalledWithinTol();
        EXPECT_EQ(one.rows[0].withinTol, recalled * (c.binary ? 1 : options.trials));
        EXPECT_THROW(noiseTable(fixed, list, options, ThreadPool(1)), RunError);
        EXPECT_THROW(analysis::shapedRecallTable(fixed, list, 0.1), RunError);
    }
    EXPECT_EQ(analysis::recallTableHeader({2, 1}), "pair,a1,a2,b1,r1,max_error,outside_tol,recalled,nearest,nearest_own");
    for (const auto& [n, k, count] : std::vector<std::tuple<int, int, std::uint64_t>>{
             {8, 4, 70}, {20, 10, 184756}, {127, 3, 333375}, {127, 124, 333375}, {127, 4, kMostExhaustiveFlipSets + 1},
             {40, 20, kMostExhaustiveFlipSets + 1}, {5, 6, 0}})
        EXPECT_EQ(flipSetCount(n, k), count) << n << " choose " << k;
}

// A failing piece stops the work; the failure of the lowest index is the one
// reported, whatever the thread count.
TEST_F(Analysis, ThreadPoolReportsTheFirstFailure)
{
    for (unsigned threads : {1u, 2u, 5u}) {
        std::vector<int> done(100);
        try {
            ThreadPool(threads).forEach(done.size(), [&](std::size_t i) {
                if (i == 37 || i == 38 || i == 90)
                    throw std::runtime_error(std::to_string(i));
                done[i] = 1;
            });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "37");
        }
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ(done[i], 1) << i;
    }
}

TEST(SigmaList, ReadsCommaSeparatedLevelsOfZeroOrMore)
{
    const struct {
        const char* text;
        std::optional<std::vector<double>> levels;
    } cases[] = {
        {"0,0.05,0.1", std::vector<double>{0, 0.05, 0.1}},
        {" 0.2 ,\t1e-1, 3 ", std::vector<double>{0.2, 0.1, 3}},
        {"0.5", std::vector<double>{0.5}},
        {"", std::nullopt},
        {"0,,1", std::nullopt},
        {"0.1,", std::nullopt},
        {"-0.1", std::nullopt},
        {"0 1", std::nullopt},
        {"1e999", std::nullopt},
        {"nan", std::nullopt},
        {"0.1x", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseSigmaList(c.text), c.levels) << c.text;
    EXPECT_EQ(sigmaListText({0, 0.05, 0.5}), "0, 0.05, 0.5");
}

// The nearest stored B: the least distance, the first of equal ones, and the
// first pattern when no distance is a number.
TEST(NearestB, LeastDistanceFirstOfEqualOnes)
{
    const auto list = [](std::initializer_list<double> firsts) {
        PatternPairs pairs;
        for (const double b1 : firsts) {
            PatternPair pair;
            pair.b[1] = b1;
            pairs.push_back(pair);
        }
        return pairs;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double r1;
        PatternPairs pairs;
        size_t own;
        int nearest;
    } cases[] = {
        {1, list({1, 1, 1}), 2, 1},      // equal to all: the first
        {1, list({5, 1, 1}), 2, 2},      // equal to an earlier one than its own
        {1, list({1, 0, 1}), 0, 1},      // its own first
        {2, list({0, 5, 3}), 2, 3},      // its own, nearer than the others
        {2, list({0, 5, 2.5, 1.5}), 1, 3},  // an earlier one nearer: the first of the ties
        {2, list({0, 5, 3, 1}), 1, 3},
        {1e200, list({0, 1}), 1, 1},     // distances beyond the range
        {inf, list({0, 1}), 1, 1},
        {std::nan(""), list({0, 1}), 1, 1},
        {1, list({3, std::nan(""), 0.5, 3, 1, 0.75, 2, 1.5, 0.5}), 4, 5}, // a B that is not a number
        {1, list({std::nan(""), 1, 0.5}), 2, 1},
        {1, list({3, 2, 1.5, 1.25, 4, 0.5, 1.5, 2, 1}), 8, 9},   // across blocks of four
        {1, list({3, 2, 1.5, 1.25, 4, 1.5, 1.5, 2, 1.25}), 3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.r1);
        const RecallValues r{c.r1};
        EXPECT_EQ(scoreRecall(r, c.pairs, c.own, 0.5).nearest, c.nearest);
        const StoredBs stored(c.pairs);
        EXPECT_EQ(scoreRecall(r, c.pairs, c.own, 0.5, &stored).nearest, c.nearest);
        for (size_t own = 0; own < c.pairs.size(); ++own)
            EXPECT_EQ(stored.isNearest(r, own), static_cast<int>(own) + 1 == c.nearest) << own;
    }
}
