// SPDX-License-Identifier: GPL-3.0-or-later
// Whole Solve runs on tiny jobs, compared byte for byte with files worked out
// by hand: the report file, every text-pane line, the R2 field and the
// progress bar. Each job is a folder of tests/data/jobs holding its inputs and
// expected/{vld33res.txt,pane.txt,status.txt}; "@BANNER@" stands for the
// second banner line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/support/console.h"
#include "core/support/numtext.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/engine/training.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::copyJobInputs;
using duolink::testing::expectedFile;
using duolink::testing::kJobs;
using duolink::testing::readFile;
namespace fs = std::filesystem;

namespace {

std::string expected(const std::string& job, const char* name) { return expectedFile(kJobs / job, name); }

void copyInputs(const std::string& job, const fs::path& to) { copyJobInputs(kJobs / job, to); }

// The window's three controls, recording everything the engine does to them.
struct Controls : ConsolePane, TextField, ProgressBar {
    std::string pane;
    std::string r2 = realText(0);
    std::vector<std::string> r2Texts, progressCalls;
    ProgressState progress; // 0..100 at 0, as the window starts

    void appendLine(std::string_view line) override { (pane += line) += '\n'; }
    void setText(std::string_view text) override { r2Texts.emplace_back(r2 = text); }
    void setMinimum(int v) override { record("min ", v); progress.setMinimum(v); }
    void setMaximum(int v) override { record("max ", v); progress.setMaximum(v); }
    void stepBy(int v) override { record("step ", v); progress.stepBy(v); }
    void record(const char* what, int v) { progressCalls.push_back(what + std::to_string(v)); }
};

std::string joined(const std::vector<std::string>& parts)
{
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "|") + p;
    return out;
}

struct Job {
    const char* name;
    const char* skip = nullptr; // why the engine is known to differ, if it does
};

void PrintTo(const Job& job, std::ostream* os) { *os << job.name; }

const Job kJobList[] = {
    {"converge_opt3"},          // option 3, recalled in the first presentation, simulation file "NuTest.Dat"
    {"abort_opt4"},             // option 4, two pairs, aborted at the limit
    {"rwm_opt1"},               // option 1: the matrix from the parameters file is trained
    {"opt2_alen18"},            // option 2, A Len 18, converges in presentation 2
    {"blen17_opt4"},            // B Len 17: blocks of 16 in every listing
    {"opt5_tf1_sim"},           // option 5, transfer function 1, simulation with a trailing empty line
    {"maxp0"},                  // MAX Presentations 0
    {"empty_list"},             // only the sentinels, A Len 16; invalid option and UNITY corrected
    {"rounding_opt1"},          // reader and product rounding, a miss by exactly TOL, progress steps of 62.5
    {"fatal_no_parameters"},
    {"fatal_alen0"},
    {"fatal_blen129"},
    {"fatal_matrix_too_big"},
    {"fatal_no_simulation_file"},
    {"fatal_no_sentinel"},
    {"fatal_no_sentinel_in_training"},
    {"missing_bdata"},
    {"unity0_error"},           // an arithmetic error ends the run; the report keeps its lines
};

// What the training observer is told of a run.
struct Collector : TrainingObserver {
    std::vector<PresentationRecord> records;
    int starts = 0;
    std::vector<RunEnd> ends;
    void solveStarted() override { ++starts; }
    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& r) override { records.push_back(r); }
    void solveEnded(RunEnd end) override { ends.push_back(end); }
};

// What a presentation adds up to in the report's status lines (run options 3 and 4).
struct FromReport {
    int missed = 0;
    int bitErrors = 0;
    double berTotal = 0;
};

std::map<int, FromReport> reportPresentations(const std::string& report)
{
    static const std::regex line(R"(PS #\s*(\d+) TS#\s*\d+\s+BEC =\s*(\d+)\s+BER =\s*([0-9.]+)\s+RESULT = (TRUE|FALSE))");
    std::map<int, FromReport> out;
    for (std::sregex_iterator it(report.begin(), report.end(), line), end; it != end; ++it) {
        FromReport& p = out[std::stoi((*it)[1])];
        p.bitErrors += std::stoi((*it)[2]);
        p.berTotal = std::stod((*it)[3]);
        p.missed += (*it)[4] == "FALSE";
    }
    return out;
}

// The records of a run agree with what its report and its R2 field show.
void expectRecordsAgree(const Collector& collector, const std::vector<std::string>& r2Texts, int exitCode,
                        const std::string& report)
{
    const RunEnd end = exitCode == 3                                                       ? RunEnd::Terminated
                       : exitCode == 4                                                     ? RunEnd::Error
                       : report.find("ABORTED DUE TO PRESET LIMIT") != std::string::npos ? RunEnd::Limit
                                                                                           : RunEnd::Recalled;
    EXPECT_EQ(collector.starts, 1);
    ASSERT_EQ(collector.ends.size(), 1u);
    EXPECT_EQ(runEndName(collector.ends[0]), runEndName(end));

    // One record per R2 text, holding the value the text shows.
    ASSERT_EQ(collector.records.size(), r2Texts.size());
    for (size_t k = 0; k < collector.records.size(); ++k) {
        const PresentationRecord& r = collector.records[k];
        EXPECT_EQ(r.presentation, static_cast<int>(k + 1));
        EXPECT_EQ(realTextWD(r.r2, 9, 3), r2Texts[k]);
        EXPECT_EQ(r.allRecalled, r.missedPairs == 0);
    }
    if (!collector.records.empty() && end != RunEnd::Error)
        EXPECT_EQ(collector.records.back().allRecalled, end == RunEnd::Recalled);

    const auto fromReport = reportPresentations(report);
    if (fromReport.empty())
        return;
    ASSERT_EQ(fromReport.size(), collector.records.size());
    for (const PresentationRecord& r : collector.records) {
        const FromReport& p = fromReport.at(r.presentation);
        EXPECT_EQ(r.missedPairs, p.missed) << r.presentation;
        EXPECT_EQ(r.bitErrors, p.bitErrors) << r.presentation;
        EXPECT_EQ(realTextWD(r.berTotal, 8, 1), realTextWD(p.berTotal, 8, 1)) << r.presentation;
    }
}

class WholeRun : public duolink::testing::EngineTest, public ::testing::WithParamInterface<Job> {};

// How a run ended, with the state it left: the ending, the terminated job's
// reason or the error, the presentations made and the whole matrix.
std::string runOutcome(EngineState& engine)
{
    std::string out;
    try {
        out = std::string(runEndName(engine.solveExistingJob()));
    } catch (const JobTerminated& e) {
        out = "terminated: " + e.reason();
    } catch (const RunError& e) {
        out = std::string("error: ") + e.what();
    }
    out += "\npresentations=" + std::to_string(engine.state().presentationNo) + " aLen=" + std::to_string(engine.state().aLen) +
           " bLen=" + std::to_string(engine.state().bLen) + "\n";
    for (double cell : engine.state().wMatrix)
        out += std::to_string(cell) + ' ';
    return out;
}

// A quiet run on in-memory copies of the job's files, with an empty job
// folder, trains as the run on the files does, and writes nothing.
TEST_P(WholeRun, AQuietRunFromMemoryTrainsAsTheRunFromFiles)
{
    const Job& job = GetParam();
    if (job.skip)
        GTEST_SKIP() << job.skip;
    copyInputs(job.name, dir_);
    Controls controls;
    consolePane = &controls;
    r2Edit = &controls;
    const std::string fromFiles = runOutcome(*this);

    auto quiet = std::make_unique<EngineState>();
    quiet->setQuiet(true);
    quiet->setJobFolder(dir_ / "empty");
    fs::create_directory(quiet->state().jobFolder);
    for (const auto& entry : fs::directory_iterator(kJobs / job.name)) {
        std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.ends_with(".bak"))
            continue;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        quiet->setJobFileText(name == "nutest.dat" ? name : entry.path().filename().string(), readFile(entry.path()));
    }
    EXPECT_EQ(runOutcome(*quiet), fromFiles);
    EXPECT_EQ(quiet->state().finalR2 ? realTextWD(*quiet->state().finalR2, 9, 3) : "", controls.r2Texts.empty() ? "" : controls.r2Texts.back());
    EXPECT_EQ(quiet->state().console.pendingLine, "");
    EXPECT_TRUE(fs::is_empty(quiet->state().jobFolder));
}

TEST_P(WholeRun, ReportPaneAndControlsMatchTheHandWorkedFiles)
{
    const Job& job = GetParam();
    if (job.skip)
        GTEST_SKIP() << job.skip;
    copyInputs(job.name, dir_);

    Controls controls;
    consolePane = &controls;
    r2Edit = &controls;
    runProgressBar = &controls;
    Collector records;
    trainingObserver = &records;
    int exitCode = 0;
    std::string error;
    try {
        solveExistingJob();
    } catch (const JobTerminated&) {
        exitCode = 3;
    } catch (const RunError& e) {
        exitCode = 4;
        error = e.what();
    }
    r2Edit = nullptr;
    runProgressBar = nullptr;
    trainingObserver = nullptr;

    const std::string report = readFile(dir_ / kReportFileName);
    EXPECT_EQ(report, expected(job.name, "vld33res.txt"));
    EXPECT_EQ(controls.pane, expected(job.name, "pane.txt"));
    EXPECT_EQ(pendingLine, "");
    std::string status = "exit=" + std::to_string(exitCode) + "\nr2=" + controls.r2 +
                         "\nprogress=" + std::to_string(controls.progress.position) +
                         "\nr2 texts=" + joined(controls.r2Texts) +
                         "\nprogress calls=" + joined(controls.progressCalls) + "\n" +
                         (error.empty() ? "" : "error=" + error + "\n");
    EXPECT_EQ(status, expected(job.name, "status.txt"));
    EXPECT_FALSE(reportFile.isOpen());
    EXPECT_FALSE(aDataFile.isOpen());
    EXPECT_FALSE(bDataFile.isOpen());
    expectRecordsAgree(records, controls.r2Texts, exitCode, report);
}

INSTANTIATE_TEST_SUITE_P(Jobs, WholeRun, ::testing::ValuesIn(kJobList),
                         [](const auto& info) { return std::string(info.param.name); });

// The headless runner on the same jobs: standard output is the pane, standard
// error the two status lines, the exit code tells how the job ended.
class BatchRun : public duolink::testing::EngineTest {
protected:
    int run(const std::string& args)
    {
        const int status = duolink::testing::runBatch(args, dir_ / "out", dir_ / "err");
        out = readFile(dir_ / "out");
        err = readFile(dir_ / "err");
        return status;
    }
    int runJob(const std::string& job)
    {
        fs::create_directory(dir_ / job);
        copyInputs(job, dir_ / job);
        return run("'" + (dir_ / job).string() + "'");
    }
    std::string report(const std::string& job) { return readFile(dir_ / job / kReportFileName); }
    // What the runner prints to a standard error that is not a terminal.
    static std::string statusLines(const std::string& job)
    {
        std::string status = expected(job, "status.txt");
        auto value = [&](const std::string& key) {
            size_t at = status.find("\n" + key + "=") + key.size() + 2;
            return status.substr(at, status.find('\n', at) - at);
        };
        return "R2 Correlation: " + value("r2") + "\nProgress: " + value("progress") + "\n";
    }
    std::string out, err;
};

TEST_F(BatchRun, EachEndingHasItsExitCodeAndSaysWhy)
{
    // Standard error: why the job ended, if it did not run through, then the
    // status lines.
    const struct {
        const char* job;
        int exitCode;
        std::string why;
    } jobs[] = {
        {"abort_opt4", 0, ""},
        {"converge_opt3", 0, ""},
        {"fatal_no_sentinel_in_training", 3, "job terminated: Unexpected End of File ADATA.DAT\n"},
        {"fatal_alen0", 3, "job terminated: A Len or B Len not in specified range\n"},
        {"unity0_error", 4,
         "error: solve " + (dir_ / "unity0_error").string() + ": Invalid floating point operation\n"},
    };
    for (const auto& [job, exitCode, why] : jobs) {
        SCOPED_TRACE(job);
        EXPECT_EQ(runJob(job), exitCode);
        EXPECT_EQ(out, expected(job, "pane.txt"));
        EXPECT_EQ(report(job), expected(job, "vld33res.txt"));
        EXPECT_EQ(err, why + statusLines(job));
    }
}

TEST_F(BatchRun, UnknownOptionExitsTwoAndRunsNothing)
{
    fs::create_directory(dir_ / "job");
    copyInputs("abort_opt4", dir_ / "job");
    EXPECT_EQ(run("--bogus '" + (dir_ / "job").string() + "'"), 2);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("--bogus"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_ / "job" / kReportFileName));
}

} // namespace

// Solve, then keep the matrix, load it back and recall from it, in one run.
TEST_F(BatchRun, MatrixStepsRunInOrderOnTheTrainedMatrix)
{
    const fs::path job = dir_ / "demo";
    fs::copy(fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / "demo", job);
    const std::string m = (job / "m.vmat2").string();
    ASSERT_EQ(run("'" + job.string() + "' --save-matrix '" + m + "' --load-matrix '" + m +
                  "' --predict '1 1 0 0 0 0 0 0'"),
              0)
        << err;
    const std::string saved = readFile(m);
    EXPECT_EQ(saved.size(), 810u);
    EXPECT_TRUE(saved.starts_with("-1.0E+0004 -1.0E+0004 -1.0E+0004 -1.0E+0004 -1.0E+0004 -1.0E+0004 "
                                  "-6.6E+0003  3.5E+0003 \r\n 1.0E+0004  1.0E+0004"))
        << saved;

    // After the run's own lines: the loaded block, then the recall. Rows 1 and 2
    // carry the weights of A elements 1 and 2: column 7 gives -0.66 + 1.70 = 1.04.
    const std::string tail = out.substr(out.find("PROGRAM DONE\n") + 13);
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = tail.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(tail.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 13u) << tail;
    EXPECT_EQ(lines[0], "-10000.000-10000.000-10000.000-10000.000-10000.000-10000.000-6600.000 3500.000");
    for (int row = 2; row < 9; ++row)
        EXPECT_GE(lines[row].size(), 72u) << lines[row];
    EXPECT_EQ(lines[9], " INPUT   1.00000   1.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000"
                        "   0.00000 ");
    EXPECT_EQ(lines[10], " RESULT   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000   1.04000   1.00000 ");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "B:     0.000     0.000     0.000     0.000     0.000     0.000     1.040     1.000");
}

// The report stops growing midway: the runner is started in a child process
// whose file-size limit (setrlimit) is below the report's size.
TEST_F(BatchRun, AFileSizeLimitMidwayEndsTheRunWithDiskFull)
{
    const fs::path job = dir_ / "demo";
    fs::copy(fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / "demo", job);
    ASSERT_EQ(run("'" + job.string() + "'"), 0) << err;
    const std::string whole = readFile(job / kReportFileName);
    constexpr rlim_t kLimit = 2500;
    ASSERT_GT(whole.size(), 2 * kLimit);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int out = ::open("/dev/null", O_WRONLY);
        int err = ::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        rlimit limit{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execl(DUOLINK_BATCH, DUOLINK_BATCH, job.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_TRUE(readFile(dir_ / "err").starts_with("error: solve " + job.string() + ": vld33res.txt: Disk full\n"))
        << readFile(dir_ / "err");
    // The report holds everything up to the limit, exactly as written.
    EXPECT_EQ(readFile(job / kReportFileName), whole.substr(0, kLimit));
}

TEST_F(BatchRun, FailedMatrixStepsExitFourWithTheirMessage)
{
    duolink::testing::writeFile(dir_ / "bad.vmat2", "1 2 3 1,5\r\n");
    EXPECT_EQ(run("'" + dir_.string() + "' --no-solve --load-matrix '" + (dir_ / "bad.vmat2").string() + "'"), 4);
    EXPECT_EQ(out, "") << "a failed load prints nothing";
    EXPECT_TRUE(err.starts_with("error: --load-matrix " + (dir_ / "bad.vmat2").string() + ": Invalid numeric input\n"))
        << err;

    EXPECT_EQ(run("'" + dir_.string() + "' --no-solve --save-matrix '" + (dir_ / "bad.vmat2" / "x").string() + "'"),
              4);
    EXPECT_TRUE(err.starts_with("error: --save-matrix " + (dir_ / "bad.vmat2" / "x").string() + ": File not found\n"))
        << err;
    EXPECT_EQ(readFile(dir_ / "bad.vmat2"), "1 2 3 1,5\r\n");

    EXPECT_EQ(run("--predict '1 2 3'"), 2);
}
