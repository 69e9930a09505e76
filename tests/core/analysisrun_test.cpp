// SPDX-License-Identifier: GPL-3.0-or-later
// The analyses as typed rows in memory: the runner's rows on any thread
// count and shard, and a stop that keeps the rows finished.
#include <gtest/gtest.h>

#include "core/analysis/analysisrun.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/listtraining.h"
#include "core/analysis/provenance.h"
#include "core/analysis/randomsets.h"
#include "testsupport.h"

namespace duolink::analysis {
namespace {

const std::string kParameters = "2\n30\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n";

// The rows one at a time, as the runner's task makes each line.
std::string capacityReference(const CapacityOptions& o, Shard shard, const JobTexts& settings)
{
    std::string out = std::string(kCapacityHeader) + '\n';
    for (size_t j = 0; j < shardRowCount(capacityRowCount(o), shard); ++j) {
        const size_t row = shardRow(j, shard);
        const PatternPairs set = randomSet(o.seed, capacityPairs(o, row), capacitySet(o, row), o.density);
        out += capacityRowText(o, row, *trainAndCount(set, settings, nullptr));
    }
    return out;
}

TEST(AnalysisRun, RowsAreTheRunnersOnAnyThreadCountAndShard)
{
    JobTexts settings;
    settings.parameters = kParameters;
    const CapacityOptions o{12, 4, 0.4, 7};
    const std::vector<SweepAxis> axes = {parseSweepAxis("beta=0.25:2:0.25"), parseSweepAxis("max=3,30")};
    const PatternPairs list = randomSet(3, 10, 1, 0.5);
    for (const Shard shard : {Shard{1, 1}, Shard{2, 3}}) {
        const std::string capacity = capacityReference(o, shard, settings);
        std::string sweep = sweepHeader(axes) + '\n';
        for (size_t j = 0; j < shardRowCount(gridCellCount(axes), shard); ++j) {
            const size_t cell = shardRow(j, shard);
            JobTexts job = settings;
            job.parameters = cellParameters(axes, cell, kParameters);
            putDataTexts(job, list);
            sweep += cellColumns(axes, cell) + resultColumns(*trainAndCount(job, list, nullptr)) + '\n';
        }
        for (unsigned threads : {1u, 3u}) {
            SCOPED_TRACE("shard " + std::to_string(shard.index) + ", threads " + std::to_string(threads));
            const ThreadPool pool(threads);
            WorkProgress progress;
            const AnalysisRun c = runCapacity(o, settings, shard, pool, progress);
            EXPECT_FALSE(c.stopped);
            EXPECT_EQ(capacityCsv(o, c), capacity);
            const AnalysisRun s = runSweep(axes, list, settings, shard, pool, progress);
            EXPECT_EQ(sweepCsv(axes, s), sweep);
        }
    }
}

TEST(AnalysisRun, AStopKeepsTheFinishedRowsInOrder)
{
    JobTexts settings;
    settings.parameters = kParameters;
    const CapacityOptions o{40, 10, 0.5, 1};
    const std::string full = capacityReference(o, {}, settings);
    const ThreadPool pool(2);
    WorkProgress progress;
    // Stopped from another thread once a few rows are done.
    std::thread stopper([&] {
        while (progress.done.load() < 20)
            std::this_thread::yield();
        progress.stop = true;
    });
    const AnalysisRun run = runCapacity(o, settings, {}, pool, progress);
    stopper.join();
    ASSERT_TRUE(run.stopped);
    ASSERT_GE(run.rows.size(), 20u);
    ASSERT_LT(run.rows.size(), capacityRowCount(o));
    for (size_t k = 1; k < run.rows.size(); ++k)
        EXPECT_LT(run.rows[k - 1].row, run.rows[k].row);
    for (const AnalysisRow& row : run.rows)
        EXPECT_NE(full.find(capacityRowText(o, row.row, row.result)), std::string::npos) << row.row;
}

TEST(AnalysisRun, AListTrainingKeepsEveryPresentationAndStopsWhenAsked)
{
    JobTexts job;
    job.parameters = "2\n50\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n";
    putDataTexts(job, randomSet(5, 2, 1, 0.5)); // never recalled: runs to the limit
    const ListTraining full = trainList(job);
    ASSERT_EQ(full.stats.size(), 50u);
    EXPECT_EQ(full.presentations, 50);
    EXPECT_EQ(full.missedLast, full.stats.back().missedPairs);
    const std::atomic<bool> stop{true};
    const ListTraining stopped = trainList(job, &stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.stats.size(), 1u);
    // A report that cannot take the place of a folder costs no training.
    EXPECT_THROW(trainList(job, nullptr, "/"), RunError);
}

// The digest is SHA-256 (FIPS 180-2 vectors); the sidecar escapes what a
// command line may hold and counts the rows by outcome.
TEST(AnalysisRun, ProvenanceDigestAndText)
{
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Provenance p;
    p.command = {"duolink-batch", "--capacity", "a \"b\"\\\n.csv"};
    p.request.settings.parameters = kParameters;
    p.outcomes = {3, 2, 1, 0};
    const std::string json = provenanceJson(p);
    EXPECT_NE(json.find(R"("a \"b\"\\\u000a.csv")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("max": 30, "alen": 9, "blen": 8, "simulation": 0, "beta": 0.5,)"), std::string::npos);
    EXPECT_NE(json.find(R"("outcomes": {"recalled": 3, "limit": 2, "error": 1, "terminated": 0})"), std::string::npos);
}

} // namespace
} // namespace duolink::analysis
