// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the analyses: sweep grids, parameter edits, shards, the
// seeded sets and the ordered thread runner.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <mutex>
#include <thread>
#include <set>

#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/parameters/paramsfile.h"
#include "core/analysis/orderedrecords.h"
#include "core/analysis/orderedrun.h"
#include "core/analysis/randomsets.h"
#include "core/analysis/splitmix64.h"
#include "core/analysis/sweepgrid.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/patterns/patternlist.h"
#include "testsupport.h"

namespace duolink::analysis {
namespace {

TEST(SweepGrid, ListsAndExactDecimalRanges)
{
    struct Case {
        const char* text;
        std::vector<std::string> values; // empty: an error
    };
    const std::vector<Case> cases = {
        {"beta=0.1:0.5:0.1", {"0.1", "0.2", "0.3", "0.4", "0.5"}},
        {"tol=0:1:0.25", {"0", "0.25", "0.5", "0.75", "1"}},
        {"beta=-0.2:0.2:0.1", {"-0.2", "-0.1", "0", "0.1", "0.2"}},
        {"max=10:35:10", {"10", "20", "30"}},
        {"beta=0.3:0.3:1", {"0.3"}},
        {"tol=0.3,0.1,0.2,0.10", {"0.1", "0.2", "0.3"}},
        {"unity=100,10000", {"100", "10000"}},
        {"beta=1e-3,2E-3", {"1e-3", "2E-3"}},
        {"beta", {}},
        {"speed=1,2", {}},
        {"max=1.5", {}},
        {"max=1:3:0.5", {}},
        {"beta=1:0:0.5", {}},
        {"beta=0:1:0", {}},
        {"beta=0:1", {}},
        {"beta=a,b", {}},
        {"beta=0.1,,0.2", {}},
        {"beta=1e400", {}},
        {"beta=0:1000000:0.0001", {}},
        // Values past the exact range are refused, not wrapped round.
        {"beta=170141183460469231731687303715:170141183460469231731687303715:0.884105728", {}},
        {"beta=999999999999999999999999999999:999999999999999999999999999999:0.000000001", {}},
        {"beta=-170141183460469231731687303715:0:0.000000001", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.values.empty()) {
            EXPECT_THROW(parseSweepAxis(c.text), SweepAxisError);
            continue;
        }
        EXPECT_EQ(parseSweepAxis(c.text).values, c.values);
    }
}

TEST(SweepGrid, CellsRunFirstAxisOutermostAndColumnsAreShortest)
{
    const std::vector<SweepAxis> axes = {parseSweepAxis("max=5,10"), parseSweepAxis("beta=0.1:0.3:0.1")};
    ASSERT_EQ(gridCellCount(axes), 6u);
    std::vector<std::string> cells;
    for (size_t c = 0; c < 6; ++c)
        cells.push_back(cellColumns(axes, c));
    EXPECT_EQ(cells, (std::vector<std::string>{"5,0.1,", "5,0.2,", "5,0.3,", "10,0.1,", "10,0.2,", "10,0.3,"}));
    EXPECT_EQ(cellColumns({parseSweepAxis("beta=1e-3,0.50")}, 1), "0.5,");
    EXPECT_EQ(sweepHeader(axes), "max,beta,outcome,presentations,final_r2,missed_last,recalled,nearest_own");
}

TEST(ParameterEdit, ReplacesOnlyTheValueTheEngineReads)
{
    struct Case {
        const char* name;
        const char* value;
        std::string before;
        std::string after;
    };
    const std::string lf = "2 option\n100 max\n9\n8\n0\n0.5 beta\n0\n2\n10000\n0.1 tol\n";
    const std::vector<Case> cases = {
        {"beta", "0.25", lf, "2 option\n100 max\n9\n8\n0\n0.25 beta\n0\n2\n10000\n0.1 tol\n"},
        {"option", "4", lf, "4 option\n100 max\n9\n8\n0\n0.5 beta\n0\n2\n10000\n0.1 tol\n"},
        {"tol", "0.3", lf, "2 option\n100 max\n9\n8\n0\n0.5 beta\n0\n2\n10000\n0.3 tol\n"},
        {"max", "7", "2\r\n  100   MAX\r\n", "2\r\n  7   MAX\r\n"},
        // Blank lines are no parameters to the engine: the value after them is.
        {"max", "7", "2\n\n\n100\n9\n", "2\n\n\n7\n9\n"},
        // A line's rest is skipped, numbers in it too.
        {"alen", "12", "2 3 4\n100 5\n9 9\n", "2 3 4\n100 5\n12 9\n"},
        // Missing at the end: the lines before read as 0.
        {"blen", "8", "2\r\n100", "2\r\n100\r\n0\r\n8\r\n"},
        {"option", "1", "", "1\n"},
        // The W section after the tenth line stays as it is.
        {"unity", "100", lf + "1 2 3\n", "2 option\n100 max\n9\n8\n0\n0.5 beta\n0\n2\n100\n0.1 tol\n1 2 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + c.before);
        ParametersEdit edit;
        edit.set(*parameterByName(c.name), c.value);
        EXPECT_EQ(editParameters(c.before, edit), c.after);
    }
}

TEST(Shards, AreDisjointAndCoverEveryRow)
{
    EXPECT_FALSE(parseShard("0/3"));
    EXPECT_FALSE(parseShard("4/3"));
    EXPECT_FALSE(parseShard("1/0"));
    EXPECT_FALSE(parseShard("+1/2"));
    EXPECT_FALSE(parseShard("1-2"));
    for (size_t rows : {0u, 1u, 7u, 20u})
        for (int n = 1; n <= 5; ++n) {
            std::multiset<size_t> seen;
            for (int k = 1; k <= n; ++k) {
                const Shard s = *parseShard(std::to_string(k) + "/" + std::to_string(n));
                for (size_t j = 0; j < shardRowCount(rows, s); ++j)
                    seen.insert(shardRow(j, s));
            }
            std::multiset<size_t> all;
            for (size_t r = 0; r < rows; ++r)
                all.insert(r);
            EXPECT_EQ(seen, all) << rows << " rows in " << n << " shards";
        }
}

TEST(RandomSets, FollowTheDocumentedGenerator)
{
    const std::uint64_t start = setStartState(5, 3, 2);
    EXPECT_EQ(start, 5 ^ SplitMix64::mix((std::uint64_t{3} << 32) + 2 + 0x9E3779B97F4A7C15ULL));
    SplitMix64 g(start);
    const PatternPairs set = randomSet(5, 3, 2, 0.3);
    ASSERT_EQ(set.size(), 3u);
    for (const PatternPair& pair : set) {
        for (int e = 1; e <= 8; ++e)
            EXPECT_EQ(pair.a[e], g.nextUnit() < 0.3 ? 1.0 : 0.0);
        for (int e = 1; e <= 8; ++e)
            EXPECT_EQ(pair.b[e], g.nextUnit() < 0.3 ? 1.0 : 0.0);
        EXPECT_EQ(pair.a[9], parityOf(pair.a));
    }
    EXPECT_NE(patternListCsv(randomSet(5, 3, 1, 0.5)), patternListCsv(randomSet(5, 3, 2, 0.5)));
    EXPECT_NE(patternListCsv(randomSet(5, 3, 1, 0.5)), patternListCsv(randomSet(6, 3, 1, 0.5)));
    // A kept set reads back as the same list.
    const PatternPairs back = parsePatternList(patternListCsv(set), "set.csv");
    ASSERT_EQ(back.size(), set.size());
    for (size_t k = 0; k < set.size(); ++k)
        EXPECT_TRUE(back[k].a == set[k].a && back[k].b == set[k].b);
}

class JobTextsTest : public testing::EngineTest {};

// The texts are the files --patterns writes, byte for byte.
TEST_F(JobTextsTest, AreTheFilesASolveWrites)
{
    PatternPairs list = randomSet(9, 6, 1, 0.5);
    list[2].a[3] = -12345.678;
    list[4].b[8] = 0.0005;
    list[5].a[1] = 123456789;
    list[1].b[4] = 1e30; // texts longer than the short ones kept for copying
    list[3].a[1] = -1e40;
    loadPatternList(list);
    writeJobFiles();
    EXPECT_EQ(jobDataText(list, false), testing::readFile(dir_ / kADataFileName));
    EXPECT_EQ(jobDataText(list, true), testing::readFile(dir_ / kBDataFileName));
}

// What the texts tell of their reads is what parsing them gives, however
// many values a reader takes from each line, at every pass.
TEST(KnownReads, GiveWhatParsingGives)
{
    PatternPairs list = randomSet(9, 5, 3, 0.5);
    list[0].a[9] = -12345.678;
    list[1].b[1] = 1e300; // one token longer than a read takes
    list[2].a[5] = std::nan("");
    list[3].b[9] = 123456789; // fills its field
    for (const bool bSide : {false, true}) {
        KnownReads known;
        const std::string text = jobDataText(list, bSide, &known);
        for (const int perLine : {3, 8, 9, 16}) {
            SCOPED_TRACE(::testing::Message() << "B side " << bSide << ", " << perLine << " a line");
            TextReader plain, told;
            plain.openText("d", text);
            told.openText("d", text, std::make_shared<KnownReads>(known));
            for (int pass = 0; pass < 2; ++pass) {
                plain.rewind();
                told.rewind();
                while (!plain.eof()) {
                    for (int k = 0; k < perLine; ++k) {
                        bool okPlain = false, okTold = false;
                        const double a = plain.readReal(okPlain), b = told.readReal(okTold);
                        ASSERT_EQ(std::bit_cast<uint64_t>(a), std::bit_cast<uint64_t>(b));
                        ASSERT_EQ(okPlain, okTold);
                        ASSERT_EQ(plain.lineNumber(), told.lineNumber());
                    }
                    plain.skipLine();
                    told.skipLine();
                }
                EXPECT_TRUE(told.eof());
            }
        }
    }
}

TEST(OrderedRun, DeliversInOrderForEveryThreadCount)
{
    const auto task = [](size_t i, unsigned, const std::atomic<bool>&) -> std::optional<std::string> {
        // Uneven work, so that threads finish out of order.
        volatile unsigned x = 0;
        for (unsigned k = 0; k < (i % 7) * 20000; ++k)
            x = x + k;
        return std::to_string(i * i);
    };
    std::string expected;
    for (size_t i = 0; i < 500; ++i)
        expected += std::to_string(i * i) + ";";
    for (unsigned jobs : {1, 2, 3, 8}) {
        std::string got;
        size_t next = 0;
        WorkProgress progress;
        const OrderedRunStats stats = runOrdered(
            500, ThreadPool(jobs), task,
            [&](size_t i, const std::string& text) {
                EXPECT_EQ(i, next++);
                got += text + ";";
            },
            progress);
        EXPECT_EQ(got, expected) << jobs << " jobs";
        EXPECT_EQ(stats.delivered, 500u);
        EXPECT_FALSE(stats.stopped);
    }
}

// Records wait in slots of their own and come out whole, in order, with
// or without a stop part way.
TEST(OrderedRun, RecordsComeInOrderWhole)
{
    for (unsigned jobs : {1, 3, 8}) {
        for (const size_t stopAt : {size_t{0}, size_t{150}}) {
            WorkProgress progress;
            std::vector<size_t> delivered;
            const RecordTask<std::vector<size_t>> task = [&](size_t i, unsigned, const std::atomic<bool>&)
                -> std::optional<std::vector<size_t>> {
                if (stopAt && i == stopAt)
                    progress.stop = true;
                return std::vector<size_t>(i % 5 + 1, i);
            };
            const OrderedRunStats stats = runOrderedRecords<std::vector<size_t>>(
                400, ThreadPool(jobs), task,
                [&](size_t i, std::vector<size_t>&& r) {
                    EXPECT_EQ(r, std::vector<size_t>(i % 5 + 1, i));
                    delivered.push_back(i);
                },
                progress);
            EXPECT_TRUE(std::is_sorted(delivered.begin(), delivered.end())) << jobs;
            EXPECT_EQ(stats.delivered, delivered.size());
            EXPECT_EQ(delivered.size() == 400, stopAt == 0) << jobs << " jobs, stop at " << stopAt;
        }
    }
}

TEST(OrderedRun, AStopDeliversWhatFinishedInOrder)
{
    std::atomic<size_t> started{0};
    std::vector<size_t> delivered;
    WorkProgress progress;
    const OrderedRunStats stats = runOrdered(
        100000, ThreadPool(2),
        [&](size_t i, unsigned, const std::atomic<bool>& stop) -> std::optional<std::string> {
            ++started;
            // Task 3 is cut short by the stop; the others finish.
            while (i == 3 && !stop.load())
                std::this_thread::yield();
            if (i == 3)
                return std::nullopt;
            return std::to_string(i);
        },
        [&](size_t i, const std::string& text) {
            EXPECT_EQ(text, std::to_string(i));
            delivered.push_back(i);
        },
        progress, [&] { return started.load() > 50; });
    EXPECT_TRUE(stats.stopped);
    EXPECT_LT(started.load(), 100000u);
    EXPECT_EQ(stats.delivered, delivered.size());
    EXPECT_TRUE(std::is_sorted(delivered.begin(), delivered.end()));
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), 3u), 0);
    EXPECT_EQ(delivered.size(), started.load() - 1);
}

} // namespace
} // namespace duolink::analysis
