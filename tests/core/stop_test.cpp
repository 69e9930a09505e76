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
#include <unistd.h>

#include "core/support/console.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/stop.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kJobs = fs::path(DUOLINK_TEST_DATA) / "jobs";
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
        for (const auto& entry : fs::directory_iterator(kJobs / job))
            if (entry.is_regular_file())
                fs::copy_file(entry.path(), dir_ / entry.path().filename(), fs::copy_options::overwrite_existing);
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

} // namespace
