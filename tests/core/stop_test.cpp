// SPDX-License-Identifier: GPL-3.0-or-later
// Stopping a training run: a run stopped during presentation k writes what a
// run with MAX Presentations k writes, with the stop line in place of the
// limit line; a run that would have ended there anyway writes nothing new.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "core/support/console.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/stop.h"
#include "testsupport.h"

#include <functional>
#include <vector>

using namespace duolink;
using duolink::testing::copyJobInputs;
using duolink::testing::kJobs;
using duolink::testing::readFile;
using duolink::testing::repeat;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

constexpr const char* kLimitLine = "*** JOB ABORTED DUE TO PRESET LIMIT ***";

// Asks for a stop when the given presentation's "*** Flag2" line appears,
// that is while the presentation is still running.
struct StoppingPane : ConsolePane {
    explicit StoppingPane(EngineState& engine) : engine(engine) {}
    EngineState& engine;
    int stopAt = -1;
    int presentations = 0;
    std::string text;
    void appendLine(std::string_view line) override
    {
        if (line.starts_with("*** Flag2") && ++presentations == stopAt)
            engine.requestStop();
        (text += line) += '\n';
    }
};

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

class StopRun : public duolink::testing::EngineTest {
protected:
    // The job's files in the working folder, with MAX Presentations set.
    void prepare(const std::string& job, int maxPresentations)
    {
        copyJobInputs(kJobs / job, dir_);
        std::string parameters = readFile(dir_ / kParametersFileName);
        const size_t second = parameters.find('\n') + 1;
        parameters.replace(second, parameters.find_first_of(" \t\r\n", second) - second,
                           std::to_string(maxPresentations));
        writeFile(dir_ / kParametersFileName, parameters);
    }
    // Report and pane of one run; stopAt 0 asks before the run starts.
    std::pair<std::string, std::string> run(const std::string& job, int maxPresentations, int stopAt)
    {
        prepare(job, maxPresentations);
        clearStopRequest();
        if (stopAt == 0)
            requestStop();
        StoppingPane recorder(*this);
        recorder.stopAt = stopAt;
        consolePane = &recorder;
        solveExistingJob();
        consolePane = &pane;
        clearStopRequest();
        return {readFile(dir_ / kReportFileName), recorder.text};
    }
};

TEST_F(StopRun, AStoppedRunEndsAsTheLimitWouldHaveEndedItThere)
{
    struct Case {
        const char* job;
        int maxPresentations;
        int stopAt;
        bool stopLine; // whether the run goes on past the stop
    };
    const Case cases[] = {
        {"abort_opt4", 6, 3, true},      // option 4, every pair listed
        {"abort_opt4", 6, 1, true},
        {"abort_opt4", 6, 0, true},      // asked for before the first presentation
        {"abort_opt4", 6, 6, false},     // the last allowed presentation
        {"opt5_tf1_sim", 5, 2, true},    // the simulation pass still runs
        {"rwm_opt1", 4, 1, true},        // a matrix from the parameters file
        {"converge_opt3", 5, 1, false},  // this presentation recalls every pair
        {"opt2_alen18", 5, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.job) + " stopped at " + std::to_string(c.stopAt));
        const auto [report, paneText] = run(c.job, c.maxPresentations, c.stopAt);
        if (!c.stopLine) {
            const auto [plainReport, plainPane] = run(c.job, c.maxPresentations, -1);
            EXPECT_EQ(report, plainReport);
            EXPECT_EQ(paneText, plainPane);
            continue;
        }
        const int last = std::max(c.stopAt, 1);
        auto [limitReport, limitPane] = run(c.job, last, -1);
        ASSERT_NE(limitReport.find(kLimitLine), std::string::npos);
        replaceAll(limitReport, kLimitLine, kStoppedLine);
        replaceAll(limitReport, "MAX Presentations: " + std::to_string(last) + "\r\n",
                   "MAX Presentations: " + std::to_string(c.maxPresentations) + "\r\n");
        EXPECT_EQ(report, limitReport);
        replaceAll(limitPane, kLimitLine, kStoppedLine);
        const auto limitText = [](int n) { return "Limit: " + std::string(n < 10 ? "   " : "  ") + std::to_string(n); };
        replaceAll(limitPane, limitText(last) + " ", limitText(c.maxPresentations) + " ");
        EXPECT_EQ(paneText, limitPane);
    }
}

// The runner in a child process, on a job too long to end by itself: the
// first SIGINT ends it with status 130 and the report of a complete run.
TEST_F(StopRun, SigintEndsTheRunnerWithACompleteReport)
{
    prepare("abort_opt4", 99999999);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int out = ::open((dir_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execl(DUOLINK_BATCH, DUOLINK_BATCH, dir_.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Well into the training (the pane is buffered in 1 MB pieces).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code noFileYet;
    while ((fs::file_size(dir_ / "out", noFileYet) < (2u << 20) || noFileYet) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string err = readFile(dir_ / "err");
    EXPECT_TRUE(err.starts_with("R2 Correlation: ") && err.find("\nProgress: ") != std::string::npos) << err;

    std::string report = readFile(dir_ / kReportFileName);
    const std::string countLabel = "Number of Presenatations: ";
    const size_t at = report.find(countLabel);
    ASSERT_NE(at, std::string::npos);
    const int presentations = std::stoi(report.substr(at + countLabel.size()));
    replaceAll(report, kStoppedLine, kLimitLine);
    replaceAll(report, "MAX Presentations: 99999999\r\n", "MAX Presentations: " + std::to_string(presentations) + "\r\n");
    EXPECT_EQ(report, run("abort_opt4", presentations, -1).first);
    EXPECT_TRUE(readFile(dir_ / "out").ends_with("PROGRAM DONE\n"));
}

// A runner child whose stop is asked for by a signal. Standard output goes
// to a file, or to a pipe nobody reads; --stats to a FIFO nobody reads.
struct StoppedRunner {
    enum class Stall { None, StandardOutput, Stats };
    pid_t pid = -1;
    int stalled = -1; // the end of the pipe or FIFO held open and never read

    StoppedRunner(const fs::path& dir, Stall stall)
    {
        int fds[2] = {-1, -1};
        std::vector<std::string> args{DUOLINK_BATCH};
        if (stall == Stall::StandardOutput && ::pipe(fds) == 0)
            stalled = fds[0];
        if (stall == Stall::Stats) {
            const fs::path fifo = dir / "stats.fifo";
            ::mkfifo(fifo.c_str(), 0600);
            stalled = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            args.insert(args.end(), {"--stats", fifo.string()});
        }
        args.push_back(dir.string());
        pid = ::fork();
        if (pid == 0) {
            const int out = fds[1] >= 0 ? fds[1] : ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(::open((dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(DUOLINK_BATCH, argv.data());
            ::_exit(127);
        }
        if (fds[1] >= 0)
            ::close(fds[1]);
    }
    ~StoppedRunner()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (stalled >= 0)
            ::close(stalled);
    }
    // The exit status, or -1 when the runner is still running after a while.
    int waitExit()
    {
        int status = 0;
        for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        return -1;
    }
};

bool waitFor(const std::function<bool()>& condition)
{
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (condition())
            return true;
    return false;
}

// The first SIGINT, SIGTERM or SIGHUP stops the run, also while a write to a
// reader that has stalled blocks it; the report is complete and says so.
TEST_F(StopRun, ASignalStopsTheRunnerEvenWhileItsOutputIsBlocked)
{
    using Stall = StoppedRunner::Stall;
    const struct {
        int signal;
        Stall stall;
    } cases[] = {
        {SIGINT, Stall::Stats},
        {SIGTERM, Stall::StandardOutput},
        {SIGHUP, Stall::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal) + ", stall " + std::to_string(int(c.stall)));
        prepare("abort_opt4", 99999999);
        fs::remove(dir_ / "stats.fifo");
        StoppedRunner runner(dir_, c.stall);
        ASSERT_GT(runner.pid, 0);
        // Well into the training, or blocked in a write to the stalled reader.
        if (c.stall == Stall::None)
            ASSERT_TRUE(waitFor([&] {
                std::error_code noFileYet;
                return fs::file_size(dir_ / kReportFileName, noFileYet) > (1u << 20) && !noFileYet;
            }));
        else
            ASSERT_TRUE(waitFor([&] {
                const std::string wchan = readFile("/proc/" + std::to_string(runner.pid) + "/wchan");
                return wchan.find("pipe") != std::string::npos || wchan.find("poll") != std::string::npos;
            }));
        ::kill(runner.pid, c.signal);
        ASSERT_EQ(runner.waitExit(), 130);

        std::string report = readFile(dir_ / kReportFileName);
        const std::string countLabel = "Number of Presenatations: ";
        const size_t at = report.find(countLabel);
        ASSERT_NE(at, std::string::npos);
        const int presentations = std::stoi(report.substr(at + countLabel.size()));
        replaceAll(report, kStoppedLine, kLimitLine);
        replaceAll(report, "MAX Presentations: 99999999\r\n",
                   "MAX Presentations: " + std::to_string(presentations) + "\r\n");
        EXPECT_EQ(report, run("abort_opt4", presentations, -1).first);
    }
}

// A stop during the simulation pass ends the pass before its next input,
// with the stop line where it ended.
TEST_F(StopRun, AStopDuringTheSimulationPassEndsItThere)
{
    prepare("converge_opt3", 5);
    std::string inputs;
    for (int k = 0; k < 200000; ++k)
        inputs += "10 -10\r\n";
    writeFile(dir_ / "NuTest.Dat", repeat(inputs, 5));
    StoppedRunner runner(dir_, StoppedRunner::Stall::None);
    ASSERT_GT(runner.pid, 0);
    ASSERT_TRUE(waitFor([&] { return readFile(dir_ / kReportFileName).find(" RESULT ") != std::string::npos; }));
    ::kill(runner.pid, SIGINT);
    ASSERT_EQ(runner.waitExit(), 130);

    const std::string report = readFile(dir_ / kReportFileName);
    const size_t pass = report.find("=== INPUT ===\r\n");
    ASSERT_NE(pass, std::string::npos);
    EXPECT_EQ(report.find(kStoppedLine), report.rfind(kStoppedLine));
    // Whole input lines, however many the pass reached, then the stop line.
    const std::string stopLine = std::string(kStoppedLine) + "\r\n";
    ASSERT_TRUE(report.ends_with(stopLine)) << report.substr(report.size() - 200);
    const std::string inputLine = " INPUT   1.0E+0002 -1.0E+0002   RESULT   2.0E+0002  \r\n";
    const size_t first = pass + std::string("=== INPUT ===\r\n").size();
    ASSERT_LE(first + stopLine.size(), report.size());
    const size_t lines = report.size() - stopLine.size() - first;
    EXPECT_EQ(report.substr(first, lines), repeat(inputLine, lines / inputLine.size()))
        << report.substr(report.size() - 200);
    EXPECT_LT(report.size() - pass, 1000000u * 40);
    EXPECT_TRUE(readFile(dir_ / "out").ends_with(std::string(kStoppedLine) + "\nPROGRAM DONE\n"));
}

} // namespace
