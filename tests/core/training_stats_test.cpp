// SPDX-License-Identifier: GPL-3.0-or-later
// The training statistics the engine hands out: checked against the report
// lines and R2 texts of the hand-worked jobs, their CSV form, the thinning
// that keeps long series drawable, and the runner's --stats file.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/support/console.h"
#include "core/support/numtext.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/training.h"
#include "core/stats/recorder.h"
#include "core/stats/statscsv.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::copyJobInputs;
using duolink::testing::expectedFile;
using duolink::testing::kJobs;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {


class TrainingRecords : public duolink::testing::EngineTest {};

// The window's case once its Solve runs on a thread of its own: the display
// reads while the engine appends. (Run under ThreadSanitizer too.)
TEST_F(TrainingRecords, RecorderCanBeReadWhileAnotherThreadTrains)
{
    copyJobInputs(kJobs / "abort_opt4", dir_);
    std::string parameters = readFile(dir_ / kParametersFileName);
    parameters.replace(parameters.find("\n2") + 1, 1, "3000");
    writeFile(dir_ / kParametersFileName, parameters);

    TrainingRecorder recorder(*this);
    trainingObserver = &recorder;
    consolePane = nullptr;
    std::thread engine([this] { solveExistingJob(); });
    std::size_t seen = 0;
    bool ended = false;
    while (!ended) {
        recorder.read([&](const TrainingData& data) {
            EXPECT_GE(data.size(), seen);
            seen = data.size();
            ended = data.end.has_value();
        });
    }
    engine.join();
    trainingObserver = nullptr;
    EXPECT_EQ(seen, static_cast<std::size_t>(presentationNo - 1));
    EXPECT_GT(seen, 100u);
    recorder.read([this](const TrainingData& data) {
        ASSERT_TRUE(data.start);
        EXPECT_EQ(data.start->patternCount, 2);
        EXPECT_EQ(data.start->maxPresentations, 3000);
        ASSERT_EQ(data.weights.rows * data.weights.cols, aLen * bLen);
        EXPECT_EQ(data.weights.at(aLen - 1, bLen - 1), wMatrix[cellIndex(aLen, bLen)] / unity);
    });
}

TEST(StatsCsv, RealsAreShortestAndReadBackExactly)
{
    const PresentationRecord records[] = {
        {1, 8.03125, 2, 2, 1.0, false},
        {2, 0.1, 0, 0, 2.5, true},
        {12345678, 1e70, 256, 2048, 4194304.5, false},
        {3, 5e-324, 1, 1, 0.5, false},
        {4, 1.0 / 3, 0, 0, 0, true},
    };
    const char* const lines[] = {
        "1,8.03125,2,2,1,0\n",
        "2,0.1,0,0,2.5,1\n",
        "12345678,1e+70,256,2048,4194304.5,0\n",
        "3,5e-324,1,1,0.5,0\n",
        "4,0.3333333333333333,0,0,0,1\n",
    };
    for (size_t k = 0; k < std::size(records); ++k) {
        std::string line;
        appendStatsLine(line, records[k]);
        EXPECT_EQ(line, lines[k]);
        const size_t first = line.find(',') + 1;
        double r2 = 0;
        std::from_chars(line.data() + first, line.data() + line.find(',', first), r2);
        EXPECT_EQ(r2, records[k].r2);
    }
}

// A long series with one spike: every run's extremes stay, the spike among them.
TEST(MinMaxThinning, KeepsEveryExtremeInAFewPointsPerColumn)
{
    MinMaxThinning thinning(100);
    const size_t n = 1'000'003;
    for (size_t i = 1; i <= n; ++i)
        thinning.add(i == 777'777 ? 1e70 : (i % 2 ? 1.0 : 3.0));
    EXPECT_EQ(thinning.size(), n);
    EXPECT_EQ(thinning.maximum(), 1e70);
    EXPECT_EQ(thinning.minimum(), 1.0);
    EXPECT_EQ(thinning.smallestPositive(), 1.0);
    const auto points = thinning.points();
    EXPECT_LE(points.size(), 4 * 100u + 2);
    EXPECT_GE(points.size(), 2 * 100u);
    bool spike = false;
    double lastX = 0;
    for (const auto& p : points) {
        EXPECT_GT(p.x, lastX);
        lastX = p.x;
        spike = spike || (p.x == 777'777 && p.y == 1e70);
    }
    EXPECT_TRUE(spike);
    EXPECT_LE(lastX, static_cast<double>(n));

    thinning.clear();
    thinning.add(-2);
    EXPECT_EQ(thinning.points().size(), 1u);
    EXPECT_EQ(thinning.smallestPositive(), 0.0);
}

// The runner's --stats file.
class StatsOption : public duolink::testing::EngineTest {
protected:
    fs::path job(const std::string& name)
    {
        const fs::path to = dir_ / name;
        fs::create_directory(to);
        copyJobInputs(kJobs / name, to);
        return to;
    }
    // Runs from the scratch folder, so that a relative FILE lands there.
    std::string command(const std::string& args)
    {
        return duolink::testing::batchCommand(args, "/dev/null", dir_ / "err", dir_);
    }
    int run(const std::string& args) { return duolink::testing::runBatch(args, "/dev/null", dir_ / "err", dir_); }
};

TEST_F(StatsOption, WritesOneLinePerPresentationHoweverTheJobEnds)
{
    const std::string header = std::string(kStatsHeader) + "\n";
    struct Case {
        const char* job;
        int exitCode;
        std::string lines;
    };
    const Case cases[] = {
        {"converge_opt3", 0, "1,1,0,0,0,1\n"},
        {"abort_opt4", 0, "1,8.03125,2,2,1,0\n2,4.2961,2,2,2,0\n"},
        {"fatal_alen0", 3, ""},
        {"unity0_error", 4, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job);
        job(c.job);
        const std::string file = std::string(c.job) + ".csv";
        EXPECT_EQ(run(std::string(c.job) + " --stats " + file), c.exitCode) << readFile(dir_ / "err");
        const std::string stats = readFile(dir_ / file);
        EXPECT_EQ(stats, header + c.lines);
    }
}

TEST_F(StatsOption, AnUnwritableFileEndsTheRunBeforeItStarts)
{
    job("abort_opt4");
    fs::create_directory(dir_ / "folder.csv");
    EXPECT_EQ(run("abort_opt4 --stats folder.csv"), 4);
    EXPECT_NE(readFile(dir_ / "err").find("folder.csv"), std::string::npos) << readFile(dir_ / "err");
    EXPECT_FALSE(fs::exists(dir_ / "abort_opt4" / kReportFileName));
    EXPECT_EQ(run("abort_opt4 --stats"), 2);
}

// Interrupted midway, the file holds whole lines, one per presentation made.
TEST_F(StatsOption, AnInterruptedRunLeavesTheLinesOfItsPresentations)
{
    const fs::path folder = job("abort_opt4");
    std::string parameters = readFile(folder / kParametersFileName);
    parameters.replace(parameters.find("\n2") + 1, 1, "1000000000"); // MAX Presentations
    writeFile(folder / kParametersFileName, parameters);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command("abort_opt4 --stats live.csv").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const fs::path stats = dir_ / "live.csv";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((!fs::exists(stats) || fs::file_size(stats) < 2000) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string text = readFile(stats);
    ASSERT_TRUE(text.starts_with(std::string(kStatsHeader) + "\n"));
    ASSERT_TRUE(text.ends_with("\n"));
    int expectedNo = 1;
    for (size_t at = text.find('\n') + 1; at < text.size(); at = text.find('\n', at) + 1) {
        const std::string line = text.substr(at, text.find('\n', at) - at);
        ASSERT_EQ(line.substr(0, line.find(',')), std::to_string(expectedNo)) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 5) << line;
        EXPECT_TRUE(line.ends_with(",0")) << line;
        ++expectedNo;
    }
    EXPECT_GT(expectedNo, 20);
}

} // namespace
