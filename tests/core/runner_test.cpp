// SPDX-License-Identifier: GPL-3.0-or-later
// The headless runner as a script uses it: its own process, its standard
// streams set up the way shells and pipelines leave them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <set>
#include <thread>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/engine/solve.h"
#include "core/guard/folderlock.h"
#include "core/analysis/provenance.h"
#include "core/parameters/paramsfile.h"
#include "testsupport.h"

using duolink::kReportFileName;
using duolink::kParametersFileName;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

// Job H is written by a program of the benchmarks.
#ifdef DUOLINK_MAKE_JOB_H
#define NEEDS_JOB_H()
#else
#define DUOLINK_MAKE_JOB_H ""
#define NEEDS_JOB_H() GTEST_SKIP() << "job H comes with the benchmarks"
#endif

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

// Where the runner's standard output goes.
enum class Out { File, DevFull, Closed, Pipe };

struct Runner {
    pid_t pid = -1;
    int pipe = -1; // the read end with Out::Pipe
};

class RunnerTest : public duolink::testing::EngineTest {
protected:
    // Starts the runner in `from` (default: the test's folder).
    Runner start(const std::vector<std::string>& args, Out out = Out::File, const fs::path& from = {})
    {
        int fds[2] = {-1, -1};
        if (out == Out::Pipe && ::pipe(fds) != 0)
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
        const fs::path outFile = dir_ / "out", errFile = dir_ / "err";
        Runner runner;
        runner.pid = ::fork();
        if (runner.pid == 0) {
            if (!from.empty() && ::chdir(from.c_str()) != 0)
                ::_exit(126);
            int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, STDERR_FILENO);
            switch (out) {
            case Out::File: ::dup2(::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO); break;
            case Out::DevFull: ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); break;
            case Out::Closed: ::close(STDOUT_FILENO); break;
            case Out::Pipe: ::dup2(fds[1], STDOUT_FILENO); ::close(fds[0]); break;
            }
            std::vector<char*> argv{const_cast<char*>(DUOLINK_BATCH)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(DUOLINK_BATCH, argv.data());
            ::_exit(127);
        }
        if (out == Out::Pipe) {
            ::close(fds[1]);
            runner.pipe = fds[0];
        }
        return runner;
    }
    int finish(Runner runner)
    {
        int status = 0;
        ::waitpid(runner.pid, &status, 0);
        if (runner.pipe >= 0)
            ::close(runner.pipe);
        out = readFile(dir_ / "out");
        err = readFile(dir_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int run(const std::vector<std::string>& args, Out mode = Out::File, const fs::path& from = {})
    {
        return finish(start(args, mode, from));
    }

    // A copy of the example job in the test's folder.
    fs::path demo(const std::string& name = "demo")
    {
        fs::copy(kExamples / "demo", dir_ / name);
        return dir_ / name;
    }
    // Benchmark job H with the given number of presentations.
    fs::path jobH(int presentations)
    {
        const fs::path job = dir_ / "h";
        const std::string command = std::string(DUOLINK_MAKE_JOB_H) + " '" + job.string() + "' " +
                                    std::to_string(presentations) + " >/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return job;
    }
    std::string out, err;
};

TEST_F(RunnerTest, StandardOutputFailuresNeverCutTheJobAndEndWithStatusFour)
{
    const fs::path job = demo();
    const std::vector<std::string> args{job.string(), "--predict", "1 1 0 0 0 0 0 0"};
    ASSERT_EQ(run(args), 0) << err;
    const std::string report = readFile(job / kReportFileName), status = err;

    const struct {
        Out out;
        const char* message;
    } cases[] = {
        {Out::DevFull, "error: standard output: Disk full\n"},
        {Out::Closed, "error: standard output: Bad file descriptor\n"},
    };
    for (const auto& c : cases) {
        fs::remove(job / kReportFileName);
        EXPECT_EQ(run(args, c.out), 4);
        EXPECT_EQ(err, c.message + status);
        EXPECT_EQ(readFile(job / kReportFileName), report);
    }
}

// `duolink-batch DIR | head -1`: the reader leaves, the job runs to its end.
TEST_F(RunnerTest, AReaderLeavingEarlyEndsOnlyThePaneOutput)
{
    NEEDS_JOB_H();
    const fs::path job = jobH(3);
    ASSERT_EQ(run({job.string()}), 0) << err;
    const std::string report = readFile(job / kReportFileName), pane = out, status = err;
    ASSERT_GT(pane.size(), 1u << 18) << "the pane must outgrow the pipe";

    Runner runner = start({job.string()}, Out::Pipe);
    char first[64];
    EXPECT_GT(::read(runner.pipe, first, sizeof first), 0);
    ::close(runner.pipe);
    runner.pipe = -1;
    EXPECT_EQ(finish(runner), 0);
    EXPECT_EQ(err, status);
    EXPECT_EQ(readFile(job / kReportFileName), report);
}

// One runner stuck writing to a pipe nobody reads holds the job folder.
TEST_F(RunnerTest, ASecondRunInTheFolderFailsAtOnceAndACrashLeavesNoLock)
{
    NEEDS_JOB_H();
    const fs::path job = jobH(3);
    Runner first = start({job.string()}, Out::Pipe);
    char byte;
    ASSERT_EQ(::read(first.pipe, &byte, 1), 1); // solving, so the folder is locked

    EXPECT_EQ(run({job.string(), "--quiet"}), 5);
    EXPECT_EQ(err, "error: " + job.string() + " is in use by another run (pid " + std::to_string(first.pid) + ")\n");
    EXPECT_EQ(out, "");
    // Matrix steps alone leave the folder's files alone and may run beside it.
    EXPECT_EQ(run({job.string(), "--no-solve", "--predict", "1 0 0 0 0 0 0 0"}), 0) << err;

    ::kill(first.pid, SIGKILL);
    EXPECT_EQ(finish(first), 128 + SIGKILL);
    EXPECT_EQ(run({job.string(), "--quiet"}), 0) << err;
}

// The lock the window takes for its Solve is the same lock.
TEST_F(RunnerTest, TheFolderLockIsHeldAcrossProcesses)
{
    duolink::FolderLock lock;
    ASSERT_TRUE(lock.tryLock(dir_.string()));
    duolink::FolderLock again;
    EXPECT_FALSE(again.tryLock(dir_.string()));
    EXPECT_EQ(again.holder(), ::getpid());
    const fs::path job = demo();
    ASSERT_TRUE(lock.tryLock(job.string()));
    EXPECT_EQ(run({job.string()}), 5);
    lock.unlock();
    EXPECT_EQ(run({job.string()}), 0);
    EXPECT_EQ(duolink::folderInUseMessage("/w", 0), "/w is in use by another run");

    // A thread with a copy of the file table (the window's run) still refers
    // to the folder after the lock is given up; the lock goes all the same.
    ASSERT_TRUE(lock.tryLock(dir_.string()));
    std::promise<void> copied;
    std::promise<void> ended;
    std::thread copy([&] {
        ::unshare(CLONE_FILES);
        copied.set_value();
        ended.get_future().wait();
    });
    copied.get_future().wait();
    lock.unlock();
    EXPECT_TRUE(again.tryLock(dir_.string()));
    ended.set_value();
    copy.join();
}

// "Load yesterday's matrix and predict", without a Solve: every row is
// loaded into its own cells, saved back as read, and recalled from.
TEST_F(RunnerTest, MatrixStepsBeforeAnyJobUseTheLoadedMatrix)
{
    std::string matrix;
    for (int i = 1; i <= 9; ++i) {
        for (int j = 1; j <= 8; ++j)
            matrix += i == 1 && j <= 2 ? (j == 1 ? " 6.0E+0008 " : "-4.0E+0009 ")
                                       : " " + std::to_string(i) + "." + std::to_string(j) + "E+0003 ";
        matrix += "\r\n";
    }
    writeFile(dir_ / "m.vmat2", matrix);
    ASSERT_EQ(run({"--no-solve", "--load-matrix", "m.vmat2", "--save-matrix", "copy.vmat2", "--quiet", "--predict",
                   "0 0 0 0 0 0 0 0", "--predict", "1 0 0 0 0 0 0 0"}),
              0)
        << err;
    EXPECT_EQ(readFile(dir_ / "copy.vmat2"), matrix);
    // A1 and the parity (row 9) are on; wide values stay apart.
    EXPECT_EQ(out, "B:     0.000     0.000     0.000     0.000     0.000     0.000     0.000     0.000\n"
                   "B: 60000.910 -399999.080     1.060     1.080     1.100     1.120     1.140     1.160\n");
}

TEST_F(RunnerTest, RelativeFilesAreTakenFromTheStartingFolder)
{
    demo();
    fs::create_directory(dir_ / "start");
    ASSERT_EQ(run({"../demo", "--quiet", "--save-matrix", "m.vmat2"}, Out::File, dir_ / "start"), 0) << err;
    EXPECT_TRUE(fs::exists(dir_ / "start" / "m.vmat2"));
    EXPECT_FALSE(fs::exists(dir_ / "demo" / "m.vmat2"));
    EXPECT_EQ(run({"../demo", "--no-solve", "--load-matrix", "m.vmat2"}, Out::File, dir_ / "start"), 0) << err;
    EXPECT_EQ(run({"demo", "--no-solve", "--load-matrix", "demo/m.vmat2"}), 4);
    EXPECT_EQ(err.substr(0, err.find('\n')), "error: --load-matrix demo/m.vmat2: File not found");
}

// A job that fails in the middle of a pane line: the line is ended before the
// error, so nothing is glued to what comes next.
TEST_F(RunnerTest, AFailedJobEndsItsHalfWrittenPaneLine)
{
    const fs::path job = dir_ / "unity0";
    fs::create_directory(job);
    for (const char* name : {"adata200.dat", "bdata200.dat"})
        fs::copy_file(fs::path(DUOLINK_TEST_DATA) / "jobs" / "rwm_opt1" / name, job / name);
    std::string parameters = readFile(fs::path(DUOLINK_TEST_DATA) / "jobs" / "rwm_opt1" / "veld200gSetup.dat");
    parameters.replace(parameters.find("10    UNITY"), 2, "0");
    writeFile(job / "veld200gSetup.dat", parameters);

    EXPECT_EQ(run({job.string()}), 4);
    EXPECT_TRUE(out.ends_with("Limit:    5 Beta =  1.000\n       1Input: \n")) << out;
    EXPECT_TRUE(err.starts_with("error: solve " + job.string() + ": Invalid floating point operation\n")) << err;
}

// Every file the run reads or writes, with its content.
std::map<std::string, std::string> filesUnder(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && !entry.is_symlink() && entry.path().filename() != "out" &&
            entry.path().filename() != "err")
            files[entry.path().string()] = readFile(entry.path());
    return files;
}

// An output that is one of the run's inputs, or another of its outputs, is
// found before anything is written, however the file is named.
TEST_F(RunnerTest, AnOutputThatIsAnInputIsAUsageErrorAndNothingIsWritten)
{
    const fs::path job = demo("j");
    ASSERT_EQ(run({"j", "--save-matrix", "m.vmat2"}, Out::File, dir_), 0) << err;
    writeFile(dir_ / "p.csv", "1,0,1,0,0,0,0,0,0,1,0,0,0,0,0,1\n");
    writeFile(job / "nutest.dat", "1 0\r\n");
    fs::create_symlink("j/vld33res.txt", dir_ / "link.txt");
    fs::create_hard_link(job / "veld200gSetup.dat", dir_ / "hard.dat");
    writeFile(demo("k") / "NUTEST.DAT", "1 0\r\n");
    fs::create_directory(dir_ / "keep");
    fs::create_symlink("keep/n1-s1.csv", dir_ / "out.csv");

    const struct {
        std::vector<std::string> args;
        const char* clash;
    } cases[] = {
        {{"--stats", "j/vld33res.txt", "j"}, "--stats j/vld33res.txt is the job's report"},
        {{"--stats", "j/./../j/vld33res.txt", "j"}, "--stats j/./../j/vld33res.txt is the job's report"},
        {{"--stats", "link.txt", "j"}, "--stats link.txt is the job's report"},
        {{"--stats", "hard.dat", "j"}, "--stats hard.dat is the job's parameters file"},
        {{"--stats", "j/adata200.dat", "j"}, "--stats j/adata200.dat is the job's A data file"},
        {{"--stats", "j/bdata200.dat", "--no-solve", "--patterns", "p.csv", "j"},
         "--stats j/bdata200.dat is the job's B data file"},
        {{"--stats", "j/nutest.dat", "j"}, "--stats j/nutest.dat is the job's simulation file"},
        {{"--patterns", "p.csv", "--stats", "p.csv", "j"}, "--stats p.csv is the same file as --patterns p.csv"},
        {{"--patterns", "j/adata200.dat", "j"}, "--patterns j/adata200.dat is the job's A data file"},
        {{"--save-matrix", "j/veld200gSetup.dat", "j"},
         "--save-matrix j/veld200gSetup.dat is the job's parameters file"},
        {{"--no-solve", "--load-matrix", "m.vmat2", "--stats", "m.vmat2"},
         "--stats m.vmat2 is the same file as --load-matrix m.vmat2"},
        {{"--patterns", "p.csv", "--recall-table", "p.csv", "j"},
         "--recall-table p.csv is the same file as --patterns p.csv"},
        {{"--noise", "j/bdata200.dat", "j"}, "--noise j/bdata200.dat is the job's B data file"},
        {{"--recall-table", "t.csv", "--noise", "t.csv", "j"}, "--recall-table t.csv is the same file as --noise t.csv"},
        // The analyses check the same list of the job's files.
        {{"--sweep-out", "j/nutest.dat", "--sweep", "beta=0.1,0.2", "j"},
         "--sweep-out j/nutest.dat is the job's simulation file"},
        {{"--capacity", "k/NUTEST.DAT", "--capacity-pairs", "2", "--capacity-sets", "1", "k"},
         "--capacity k/NUTEST.DAT is the job's simulation file"},
        {{"--capacity", "keep/n2-s1.csv", "--keep-sets", "keep", "--capacity-pairs", "2", "--capacity-sets", "1", "j"},
         "--capacity keep/n2-s1.csv is a set that --keep-sets keep keeps; name another file or folder"},
        {{"--capacity", "out.csv", "--keep-sets", "keep", "--capacity-pairs", "2", "--capacity-sets", "1", "j"},
         "--capacity out.csv is a set that --keep-sets keep keeps; name another file or folder"},
        // Matrix steps run one after the other, each file read or written whole.
        {{"--no-solve", "--load-matrix", "m.vmat2", "--save-matrix", "m.vmat2"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clash ? c.clash : "no clash");
        const auto before = filesUnder(dir_);
        const int status = run(c.args, Out::File, dir_);
        if (!c.clash) {
            EXPECT_EQ(status, 0) << err;
            continue;
        }
        EXPECT_EQ(status, 2);
        EXPECT_TRUE(err.starts_with("duolink-batch: " + std::string(c.clash) + "; nothing was written\n")) << err;
        EXPECT_EQ(filesUnder(dir_), before);
    }
}

// The runner's --save-matrix never replaces what is not a regular file, and
// failures are told in the system's words.
TEST_F(RunnerTest, FileErrorsNameWhatIsWrong)
{
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir_ / "folder");
    fs::create_symlink("loop", dir_ / "loop");
    writeFile(dir_ / "short.vmat2", duolink::testing::repeat("1 ", 71));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--no-solve", "--save-matrix", "fifo"}, 4, "error: --save-matrix fifo: is not a regular file\n"},
        {{"--no-solve", "--save-matrix", "/dev/null"}, 4, "error: --save-matrix /dev/null: is not a regular file\n"},
        {{"--no-solve", "--load-matrix", "fifo"}, 4, "error: --load-matrix fifo: is not a regular file\n"},
        {{"--no-solve", "--load-matrix", "folder"}, 4, "error: --load-matrix folder: is a folder\n"},
        {{"--no-solve", "--load-matrix", "loop"}, 4,
         "error: --load-matrix loop: Too many levels of symbolic links\n"},
        {{"--no-solve", "--load-matrix", "short.vmat2"}, 4,
         "error: --load-matrix short.vmat2: the file holds 71 numbers; a matrix file holds 72\n"},
        {{"--no-solve", "--stats", "folder"}, 4, "error: --stats folder: is a folder\n"},
        {{"--no-solve", "--stats", "fifo"}, 4, "error: --stats fifo: No such device or address\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run(c.args, Out::File, dir_), c.status) << err;
        EXPECT_TRUE(err.starts_with(c.message)) << err;
    }
    struct stat st{};
    ASSERT_EQ(::stat((dir_ / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// The two job data files are replaced together or not at all: past a file
// size limit that stops the first or only the second, the old job stays whole
// and no temporary file is left.
TEST_F(RunnerTest, JobFilesAreReplacedTogetherOrNotAtAll)
{
    const fs::path job = demo("j");
    std::string list;
    for (int p = 0; p < 20; ++p)
        list += "1,0,1,0,0,0,0,0,1e300,1e300,1e300,1e300,1e300,1e300,1e300,1e300\n";
    writeFile(dir_ / "big.csv", list);
    const auto before = filesUnder(job);
    for (rlim_t limit : {rlim_t(1000), rlim_t(10000)}) {
        SCOPED_TRACE(limit);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(::open((dir_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            rlimit fileSize{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &fileSize);
            ::execl(DUOLINK_BATCH, DUOLINK_BATCH, "--quiet", "--patterns", "big.csv", "j", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;
        EXPECT_TRUE(readFile(dir_ / "err").starts_with("error: --patterns big.csv: cannot write the job files in j: "))
            << readFile(dir_ / "err");
        EXPECT_EQ(filesUnder(job), before);
        for (const auto& entry : fs::directory_iterator(job))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
    // Without the limit both are written.
    EXPECT_EQ(run({"--patterns", "big.csv", "--no-solve", "j"}, Out::File, dir_), 0) << err;
    EXPECT_NE(readFile(job / "bdata200.dat"), before.at((job / "bdata200.dat").string()));
}

TEST_F(RunnerTest, ArgumentsAndUsageErrors)
{
    const fs::path job = demo();
    const struct {
        std::vector<std::string> args;
        const char* message; // the first line on standard error
    } usageErrors[] = {
        {{""}, "duolink-batch: the folder name is empty"},
        {{"a", "b"}, "duolink-batch: only one folder may be given"},
        {{"--bogus"}, "duolink-batch: unknown option --bogus"},
        {{"--quiet=yes"}, "duolink-batch: --quiet takes no value"},
        {{"--load-matrix"}, "duolink-batch: --load-matrix needs a value"},
        {{"--save-matrix="}, "duolink-batch: --save-matrix needs a file name"},
        {{"--predict", "1 2 3"}, "duolink-batch: --predict needs eight values in one argument, not 3"},
        {{"--predict", "1 1 0 0 0 0 0 x"}, "duolink-batch: --predict: \"x\" is not a number"},
        {{"--predict", "1,5 0 0 0 0 0 0 0"}, "duolink-batch: --predict: \"1,5\" is not a number"},
        {{"--predict", "1 0 0 0 0 0 0 1e999"}, "duolink-batch: --predict: \"1e999\" is not a number"},
        {{"--predict", "1 0 0 0 0 . 0 0"}, "duolink-batch: --predict: \".\" is not a number"},
        {{"--no-solve", "--recall-table", "t.csv"},
         "duolink-batch: --recall-table needs a matrix: a Solve or an earlier --load-matrix"},
        {{"--no-solve", "--load-matrix", "m", "--noise", "n.csv"}, "duolink-batch: --noise with --no-solve needs --tol"},
        {{"--noise-trials", "0"}, "duolink-batch: --noise-trials needs a whole number from 1 to 1000000, not \"0\""},
        {{"--seed", "-1"},
         "duolink-batch: --seed needs a whole number from 0 to 18446744073709551615, not \"-1\""},
        {{"--noise-sigma", "0,,1"}, "duolink-batch: --noise-sigma needs numbers of 0 or more separated by commas, as in 0,0.1,0.2"},
        {{"--tol", "-0.1"}, "duolink-batch: --tol: \"-0.1\" is not a number of 0 or more"},
        {{"--set", "Beta=0.5"}, "duolink-batch: --set: \"Beta\" is no parameter (option, max, alen, blen, "
                                "simulation, beta, limit, transfer, unity, tol)"},
        {{"--set", "beta"}, "duolink-batch: --set needs NAME=VALUE, as in beta=0.25, not \"beta\""},
        {{"--set=alen=9.0"}, "duolink-batch: --set: \"9.0\" is not a whole number for alen"},
        {{"--set", "unity=2147483648"}, "duolink-batch: --set: \"2147483648\" is not a whole number for unity"},
        {{"--set", "tol=0,1"}, "duolink-batch: --set: \"0,1\" is not a number for tol"},
        {{"--set", "beta="}, "duolink-batch: --set: \"\" is not a number for beta"},
        {{"--set", "tol=1", "--no-solve"}, "duolink-batch: --set changes the Solve; it cannot go with --no-solve"},
    };
    for (const auto& c : usageErrors) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args{job.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(run(args), 2);
        EXPECT_EQ(err.substr(0, err.find('\n')), c.message);
        EXPECT_EQ(out, "");
    }
    EXPECT_FALSE(fs::exists(job / kReportFileName));

    // Every form of a number, "--opt=value", "--" before a folder named like an
    // option, and --quiet leaving only the B line.
    fs::rename(job, dir_ / "-job");
    EXPECT_EQ(run({"--quiet", "--predict", "1 1 0 0 1 0 0 -0.5", "--", "-job"}), 0) << err;
    const std::string plain = out;
    EXPECT_TRUE(plain.starts_with("B: ") && plain.find('\n') == plain.size() - 1) << plain;
    EXPECT_EQ(run({"--quiet", "--predict=+1 1. .0 -0 1e0 0E+1 0.0e-5 -.5", "--", "-job"}), 0) << err;
    EXPECT_EQ(out, plain);
    EXPECT_TRUE(err.starts_with("R2 Correlation:     1.000\n")) << err;
}

// --set gives byte for byte the run of a file edited to hold the values, and
// leaves the file as it was.
TEST_F(RunnerTest, SetRunsAsAnEditedFileWould)
{
    const fs::path source = fs::path(DUOLINK_TEST_DATA) / "jobs" / "rwm_opt1";
    fs::copy(source, dir_ / "set");
    fs::copy(source, dir_ / "edited");
    const std::string original = readFile(source / kParametersFileName);
    std::string edited = original;
    edited.replace(edited.find("5    MAX"), 1, "7");
    edited.replace(edited.find("1.0    BETA"), 3, "0.25");
    edited.replace(edited.find("2    transfer"), 1, "1");
    edited.replace(edited.find("0.1    TOL"), 3, "5e-2");
    writeFile(dir_ / "edited" / kParametersFileName, edited);

    ASSERT_EQ(run({"edited"}), 0) << err;
    const std::string expectedOut = out, expectedErr = err;
    const std::string expectedReport = readFile(dir_ / "edited" / kReportFileName);
    ASSERT_NE(expectedReport.find("BETA    =  2.50000000000000E-0001"), std::string::npos);
    ASSERT_EQ(run({"set", "--set", "beta=1", "--set", "beta=0.25", "--set=tol=5e-2", "--set", "max=7", "--set",
                   "transfer=1"}),
              0)
        << err;
    EXPECT_EQ(out, expectedOut);
    EXPECT_EQ(err, expectedErr);
    EXPECT_EQ(readFile(dir_ / "set" / kReportFileName), expectedReport);
    EXPECT_EQ(readFile(dir_ / "set" / kParametersFileName), original);
}

TEST_F(RunnerTest, HelpAndVersionGoToStandardOutput)
{
    EXPECT_EQ(run({"--help", "--bogus"}), 0);
    EXPECT_TRUE(out.starts_with("usage: duolink-batch [OPTION]... [--] [DIR]\n")) << out;
    EXPECT_EQ(err, "");
    for (const char* needle : {"--quiet", "--predict \"V1 ... V8\"", "\n  5   Another run is using DIR"})
        EXPECT_NE(out.find(needle), std::string::npos) << needle;
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_TRUE(out.starts_with(std::string("duolink-batch ") + DUOLINK_VERSION + "\nCopyright (C) 2026 ")) << out;
    EXPECT_NE(out.find("\nLicense GPLv3+: GNU GPL version 3 or later"), std::string::npos) << out;
    EXPECT_EQ(run({"--help"}, Out::DevFull), 4);
    EXPECT_EQ(err, "error: standard output: Disk full\n");
}

// The manual page is built from the same text: each option and status that
// --help lists is in it.
TEST_F(RunnerTest, TheManualPageListsWhatHelpLists)
{
    const std::string page = readFile(DUOLINK_BATCH_MANPAGE);
    ASSERT_TRUE(page.starts_with(".TH DUOLINK\\-BATCH 1 ")) << page.substr(0, 80);
    EXPECT_NE(page.find(std::string("duolink\\-batch ") + DUOLINK_VERSION), std::string::npos);
    ASSERT_EQ(run({"--help"}), 0);
    int options = 0, statuses = 0;
    for (size_t at = out.find("\n  "); at != std::string::npos; at = out.find("\n  ", at + 1)) {
        const std::string item = out.substr(at + 3, out.find_first_of(" \n", at + 3) - at - 3);
        if (item.starts_with("--")) {
            ++options;
            std::string name;
            for (char c : item)
                name += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(page.find("\\fB" + name + "\\fR"), std::string::npos) << item;
        } else if (!item.empty() && std::isdigit(static_cast<unsigned char>(item[0]))) {
            ++statuses;
            EXPECT_NE(page.find(".TP\n.B " + item + "\n"), std::string::npos) << item;
        }
    }
    EXPECT_GE(options, 7);
    EXPECT_EQ(statuses, 6);
}

// The live line belongs on a terminal that the pane lines do not go to.
TEST_F(RunnerTest, LiveProgressOnlyOnATerminalOfItsOwn)
{
    NEEDS_JOB_H();
    const fs::path job = jobH(1);
    for (bool paneOnTerminal : {false, true}) {
        SCOPED_TRACE(paneOnTerminal ? "pane on the terminal" : "pane to a file");
        int master = -1, slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(slave, STDERR_FILENO);
            ::dup2(paneOnTerminal ? slave : ::open("/dev/null", O_WRONLY), STDOUT_FILENO);
            ::close(master);
            ::execl(DUOLINK_BATCH, DUOLINK_BATCH, job.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(slave);
        std::string terminal;
        char buf[65536];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
            if (n > 0)
                terminal.append(buf, static_cast<size_t>(n));
        ::close(master);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(terminal.find("presentation 1 of 1") != std::string::npos, !paneOnTerminal);
        EXPECT_NE(terminal.find("R2 Correlation: "), std::string::npos);
    }
}

} // namespace

namespace {

std::vector<std::string> csvFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

} // namespace

TEST_F(RunnerTest, AnalysisUsageErrors)
{
    fs::create_directories(dir_ / "job");
    fs::copy(kExamples / "veld200gSetup.dat", dir_ / "job");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--capacity", "a.csv", "--sweep-out", "b.csv", "--sweep", "beta=1", "job"}, "cannot be used together"},
        {{"--sweep-out", "b.csv", "job"}, "needs at least one --sweep"},
        {{"--sweep", "beta=1", "job"}, "--sweep needs --sweep-out"},
        {{"--capacity", "a.csv", "--set", "speed=1", "job"}, "\"speed\" is no parameter"},
        {{"--capacity", "a.csv", "--set", "max=1.5", "job"}, "is not a whole number"},
        {{"--capacity", "a.csv", "--capacity-pairs", "257", "job"}, "from 1 to 256"},
        {{"--capacity", "a.csv", "--capacity-shape", "128,21", "job"}, "128 A values are too many"},
        {{"--capacity", "a.csv", "--capacity-shape", "50,54", "job"}, "it holds at most 2700"},
        {{"--capacity", "a.csv", "--capacity-shape", "8", "job"}, "takes N,M"},
        {{"--capacity", "a.csv", "--capacity-shape", "-99999999999,8", "job"}, "takes N,M"},
        {{"--capacity", "a.csv", "--capacity-shape", "0,8", "job"}, "at least one A value"},
        {{"--capacity", "a.csv", "--capacity-shape", "16,16", "--set", "alen=9", "job"},
         "--set alen=9 disagrees with --capacity-shape 16,16"},
        {{"--capacity", "a.csv", "--density", "1.5", "job"}, "from 0 to 1"},
        {{"--capacity", "a.csv", "--seed", "-1", "job"}, "--seed needs a whole number"},
        {{"--capacity", "a.csv", "--jobs", "0", "job"}, "--jobs takes"},
        {{"--capacity", "a.csv", "--shard", "3/2", "job"}, "--shard takes K/N"},
        {{"--capacity", "a.csv", "--patterns", "p.csv", "job"}, "takes no --patterns"},
        {{"--capacity", "a.csv", "--predict", "1 2 3 4 5 6 7 8", "job"}, "in place of the Solve"},
        {{"--sweep-out", "b.csv", "--sweep", "beta=1", "--sweep", "beta=2", "job"}, "swept twice"},
        {{"--sweep-out", "b.csv", "--sweep", "beta=1", "--set", "beta=2", "job"}, "name the same parameter"},
        {{"--keep-sets", "sets", "job"}, "--keep-sets needs --capacity"},
        {{"--sweep-out", "job/veld200gSetup.dat", "--sweep", "beta=1", "job"}, "the job's parameters file"},
    };
    const std::string params = readFile(dir_ / "job" / "veld200gSetup.dat");
    for (const Case& c : cases) {
        std::string label;
        for (const std::string& a : c.args)
            label += a + " ";
        EXPECT_EQ(run(c.args), 2) << label;
        EXPECT_NE(err.find(c.message), std::string::npos) << label << "\n" << err;
        EXPECT_FALSE(fs::exists(dir_ / "a.csv") || fs::exists(dir_ / "b.csv")) << label;
    }
    EXPECT_EQ(readFile(dir_ / "job" / "veld200gSetup.dat"), params);
    fs::create_directory(dir_ / "empty");
    EXPECT_EQ(run({"--capacity", "a.csv", dir_ / "empty"}), 4);
    EXPECT_NE(err.find("no parameters file"), std::string::npos) << err;
}

// Every kept set, run by the runner with --patterns, trains as its row says
// and recalls as many pairs, in every shape.
TEST_F(RunnerTest, CapacityRowsAreTheRunnersTrainingsOfTheKeptSets)
{
    fs::create_directories(dir_ / "job");
    std::string params = readFile(kExamples / "veld200gSetup.dat");
    params.replace(params.find("0.5 "), 3, "0.1");
    params.replace(params.find("100 "), 3, "40 ");
    writeFile(dir_ / "job" / "veld200gSetup.dat", params);
    struct Case {
        const char* shape; // --capacity-shape, or none
        const char* pairs;
        const char* sets;
        int rows;
        std::set<std::string> outcomes;
    };
    const std::vector<Case> cases = {
        {nullptr, "12", "2", 24, {"limit", "recalled"}},
        {"32,32", "40", "1", 40, {"limit", "recalled"}},
        {"1,1", "3", "2", 6, {"limit", "recalled"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape ? c.shape : "8,8");
        std::vector<std::string> args = {"--capacity", "cap.csv", "--capacity-pairs", c.pairs, "--capacity-sets",
                                         c.sets, "--density", "0.4", "--seed", "3", "--keep-sets", "sets", "job"};
        if (c.shape)
            args.insert(args.begin(), {"--capacity-shape", c.shape});
        fs::remove_all(dir_ / "sets");
        ASSERT_EQ(run(args), 0) << err;
        const std::string rows = readFile(dir_ / "cap.csv");
        std::set<std::string> outcomes;
        size_t at = rows.find('\n') + 1;
        int count = 0;
        while (at < rows.size()) {
            const size_t end = rows.find('\n', at);
            const std::vector<std::string> f = csvFields(rows.substr(at, end - at));
            at = end + 1;
            ++count;
            const fs::path run1 = dir_ / ("r" + f[0] + "-" + f[1]);
            fs::remove_all(run1);
            fs::create_directories(run1);
            writeFile(run1 / "veld200gSetup.dat", params);
            const int status = run({"--quiet", "--patterns", (dir_ / "sets" / ("n" + f[0] + "-s" + f[1] + ".csv")).string(),
                                    "--recall-table", (run1 / "recall.csv").string(), run1.string()});
            ASSERT_EQ(status, 0) << err;
            const std::string report = readFile(run1 / kReportFileName);
            outcomes.insert(f[2]);
            EXPECT_EQ(f[2] == "limit", report.find("*** JOB ABORTED DUE TO PRESET LIMIT ***") != std::string::npos);
            EXPECT_NE(report.find("Number of Presenatations: " + f[3] + "\r\n"), std::string::npos) << f[0] << "," << f[1];
            EXPECT_NE(err.find("R2 Correlation: " + std::string(9 - std::min<size_t>(9, f[4].size()), ' ') + f[4] + "\n"),
                      std::string::npos)
                << err;
            // recalled and nearest_own: the table's last columns but two and but none.
            int recalled = 0, nearestOwn = 0;
            const std::string table = readFile(run1 / "recall.csv");
            for (size_t line = table.find('\n') + 1; line < table.size(); line = table.find('\n', line) + 1) {
                const std::vector<std::string> t = csvFields(table.substr(line, table.find('\n', line) - line));
                recalled += t[t.size() - 3] == "1";
                nearestOwn += t.back() == "1";
            }
            EXPECT_EQ(std::to_string(recalled), f[6]) << f[0] << "," << f[1];
            EXPECT_EQ(std::to_string(nearestOwn), f[7]) << f[0] << "," << f[1];
        }
        EXPECT_EQ(count, c.rows);
        EXPECT_EQ(outcomes, c.outcomes);
    }
}

TEST_F(RunnerTest, AnInterruptedAnalysisKeepsItsFinishedRowsAndEndsWith130)
{
    fs::create_directories(dir_ / "job");
    fs::copy(kExamples / "veld200gSetup.dat", dir_ / "job");
    Runner r = start({"--capacity", "cap.csv", "--capacity-pairs", "256", "--capacity-sets", "1000", "--set",
                      "beta=0.1", "--jobs", "2", "job"});
    // Until some rows are done: the output is written as they finish.
    for (int k = 0; k < 200 && !fs::exists(dir_ / "cap.csv"); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bool any = false;
        for (const auto& e : fs::directory_iterator(dir_))
            any = any || (e.path().filename().string().starts_with("cap.csv.") && fs::file_size(e.path()) > 0);
        if (any)
            break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(r.pid, SIGINT);
    EXPECT_EQ(finish(r), 130) << err;
    const std::string rows = readFile(dir_ / "cap.csv");
    ASSERT_TRUE(rows.starts_with("n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own\n")) << rows;
    // Finished rows only, each whole and in key order.
    size_t at = rows.find('\n') + 1;
    std::pair<int, int> last{0, 0};
    int count = 0;
    while (at < rows.size()) {
        const size_t end = rows.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::vector<std::string> f = csvFields(rows.substr(at, end - at));
        ASSERT_EQ(f.size(), 8u);
        const std::pair<int, int> key{std::stoi(f[0]), std::stoi(f[1])};
        EXPECT_LT(last, key);
        last = key;
        at = end + 1;
        ++count;
    }
    EXPECT_GT(count, 0);
    EXPECT_LT(count, 256000);
    // The summary shows only the sizes whose sets all ran; a line says where
    // the run stopped.
    EXPECT_NE(err.find("duolink-batch: --capacity cap.csv: stopped after " + std::to_string(count) + " of 256000 rows\n"),
              std::string::npos)
        << err;
    size_t line = out.find('\n') + 1;
    while (line < out.size()) {
        const std::vector<std::string> f = csvFields(out.substr(line, out.find('\n', line) - line));
        ASSERT_GE(f.size(), 2u);
        EXPECT_EQ(f[1], "1000") << "n = " << f[0];
        line = out.find('\n', line) + 1;
    }
    for (const auto& e : fs::directory_iterator(dir_))
        if (e.path().filename() != "cap.csv.json")
            EXPECT_FALSE(e.path().filename().string().starts_with("cap.csv.")) << e.path();
    EXPECT_NE(readFile(dir_ / "cap.csv.json").find("\"stopped\": true"), std::string::npos);
}

namespace {

// A job whose parameters train quickly, with a list of 0/0.5/1 values (the
// gauss mode of --noise).
fs::path quickJob(const fs::path& dir)
{
    fs::create_directories(dir);
    std::string params = readFile(kExamples / "veld200gSetup.dat");
    params.replace(params.find("0.5 "), 3, "0.1");
    writeFile(dir / "veld200gSetup.dat", params);
    return dir;
}

// Waits up to `seconds` for the runner, and gives its wait status; kills it
// when it is still running.
std::optional<int> endsWithin(pid_t pid, int seconds)
{
    for (int k = 0; k < seconds * 20; ++k) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return std::nullopt;
}

} // namespace

// Every analysis heeds a stop within moments, whatever it is doing: whole
// rows, a line that says how many, and status 130.
TEST_F(RunnerTest, EveryAnalysisStopsOnASignalWithWholeRows)
{
    const fs::path job = quickJob(dir_ / "job");
    std::string list = "a1,a2,a3,a4,a5,a6,a7,a8,b1,b2,b3,b4,b5,b6,b7,b8\n";
    for (int p = 0; p < 64; ++p)
        for (int k = 0; k < 16; ++k)
            list += std::string((p >> (k % 6)) & 1 ? "1" : (k + p) % 3 ? "0" : "0.5") + (k == 15 ? "\n" : ",");
    writeFile(dir_ / "g.csv", list);
    const std::vector<std::string> capacity = {"--capacity-pairs", "256", "--capacity-sets", "1000", "--jobs", "2"};
    struct Case {
        const char* name;
        std::vector<std::string> args;
        Out out;
        const char* file; // the rows, or nullptr for standard output
    };
    const std::vector<Case> cases = {
        {"noise", {"--quiet", "--patterns", "g.csv", "--noise", "n.csv", "--noise-sigma", "0,0.1,0.2,0.3",
                   "--noise-trials", "1000000", "job"}, Out::File, "n.csv"},
        {"capacity to a stalled pipe", {"--capacity", "-"}, Out::Pipe, nullptr},
        {"capacity to a file", {"--capacity", "c.csv"}, Out::File, "c.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        if (c.args[0] == "--capacity") {
            args.insert(args.end(), capacity.begin(), capacity.end());
            args.push_back("job");
        }
        Runner r = start(args, c.out);
        // The noise runs after the Solve: a stop before it would stop the Solve.
        for (int k = 0; k < 400 && c.args[0] == "--quiet" &&
                        readFile(job / kReportFileName).find("FINAL MATRIX") == std::string::npos;
             ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ::kill(r.pid, SIGINT);
        const auto sent = std::chrono::steady_clock::now();
        const std::optional<int> ended = endsWithin(r.pid, 10);
        ASSERT_TRUE(ended) << "still running 10 s after SIGINT";
        // Moments, with room for a sanitized build on a loaded machine.
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5));
        const int status = *ended;
        if (r.pipe >= 0)
            ::close(r.pipe);
        err = readFile(dir_ / "err");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << "\n" << err;
        EXPECT_NE(err.find(": stopped after "), std::string::npos) << err;
        if (c.file) {
            const std::string rows = readFile(dir_ / c.file);
            EXPECT_TRUE(rows.empty() || rows.ends_with('\n')) << rows;
        }
    }
}

// Standard output's troubles: a reader that leaves early is no error, a full
// disk is, and says so; neither hangs or loses the rows file.
TEST_F(RunnerTest, AnalysisStandardOutputTroubles)
{
    quickJob(dir_ / "job");
    const std::vector<std::string> small = {"--capacity-pairs", "4", "--capacity-sets", "2", "job"};
    std::vector<std::string> args = {"--capacity", "c.csv"};
    args.insert(args.end(), small.begin(), small.end());
    EXPECT_EQ(run(args, Out::DevFull), 4);
    EXPECT_NE(err.find("error: --capacity c.csv: standard output: Disk full"), std::string::npos) << err;
    EXPECT_TRUE(readFile(dir_ / "c.csv").starts_with("n,set,")); // the rows are whole all the same

    // A reader that closes at once, as head does.
    args = {"--capacity", "-", "--capacity-pairs", "64", "--capacity-sets", "100", "job"};
    Runner r = start(args, Out::Pipe);
    char buffer[64];
    EXPECT_GT(::read(r.pipe, buffer, sizeof buffer), 0);
    ::close(r.pipe);
    r.pipe = -1;
    EXPECT_EQ(finish(r), 0) << err;
    EXPECT_EQ(err, "") << err;
}

// Run-wide messages of the analyses, one wording and status per cause.
TEST_F(RunnerTest, AnalysisMessagesNameTheCause)
{
    const fs::path job = quickJob(dir_ / "job");
    writeFile(dir_ / "afile", "x");
    writeFile(dir_ / "ns.csv", "a1,a2,a3,a4,a5,a6,a7,a8,b1,b2,b3,b4,b5,b6,b7,b8\n"
                               "0.5,1,0,0,0,0,0,0,0,1,0,0,0,0,0,1\n1,0,0.5,0,0,0,0,0,1,0,0,0,0,0,0,1\n");
    std::string params10 = readFile(job / "veld200gSetup.dat");
    fs::create_directories(dir_ / "a10");
    duolink::ParametersEdit alen10;
    alen10.set(duolink::Parameter::ALen, "10");
    writeFile(dir_ / "a10" / "veld200gSetup.dat", duolink::editParameters(params10, alen10));
    // Ten A values a pattern, as A Len 10 reads them.
    const std::string a10 = "    1.000    1.000    0.000    0.000    0.000    0.000    0.000    0.000    0.000    0.000\r\n";
    const std::string b8 = "    0.000    0.000    0.000    0.000    0.000    0.000    1.000    1.000    0.000\r\n";
    writeFile(dir_ / "a10" / "adata200.dat", a10 + a10 + "9999\r\n");
    writeFile(dir_ / "a10" / "bdata200.dat", b8 + b8 + "9999\r\n");
    const std::vector<std::string> small = {"--capacity-pairs", "2", "--capacity-sets", "1"};
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--capacity", "c.csv", "--keep-sets", "afile", "job"}, 4, "error: --keep-sets afile: is not a folder"},
        {{"--capacity", "c.csv", "nowhere"}, 2, "cannot enter nowhere: No such file or directory"},
        {{"nowhere"}, 2, "cannot enter nowhere: No such file or directory"},
        {{"--sweep-out", "s.csv", "--sweep", "beta=0.1", "a10"}, 4, "this job has A Len 10"},
        {{"--sweep-out", "s.csv", "--sweep", "alen=9,10", "job"}, 4, "this job has A Len 10"},
        {{"--quiet", "--recall-table", "t.csv", "a10"}, 4,
         "error: --recall-table t.csv: the analyses take jobs of A Len 9 (eight values and the parity); this job "
         "has A Len 10"},
        {{"--quiet", "--noise", "n.csv", "a10"}, 4,
         "this job has A Len 10"},
        {{"--capacity", "/dev/stdout", "job"}, 4, "error: --capacity /dev/stdout: is not a regular file"},
        {{"--quiet", "--patterns", "ns.csv", "--noise", "n.csv", "--noise-sigma", "0,1e15", "job"}, 4,
         "error: --noise n.csv: at noise level 1000000000000000: "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        if (args[0] == "--capacity")
            args.insert(args.begin() + 2, small.begin(), small.end());
        std::string label;
        for (const std::string& a : args)
            label += a + " ";
        EXPECT_EQ(run(args), c.status) << label << "\n" << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << label << "\n" << err;
    }
    EXPECT_EQ(out, "") << "nothing replaced standard output's file";

    // A FIFO of the simulation file's name is no simulation file.
    const fs::path fifoJob = demo("fifo");
    ASSERT_EQ(::mkfifo((fifoJob / "nutest.dat").c_str(), 0600), 0);
    EXPECT_EQ(run({"--sweep-out", "s.csv", "--sweep", "beta=0.1,0.2", "fifo"}), 0) << err;
}

// Kept sets go to their names whole, through a temporary name of the run's
// own; a link of a kept set's name is replaced, never written through, and
// a killed run's temporary files are cleared away by the next.
TEST_F(RunnerTest, KeptSetsAreWrittenWholeAndNeverThroughALink)
{
    const fs::path job = quickJob(dir_ / "job");
    const std::string params = readFile(job / "veld200gSetup.dat");
    fs::create_directories(dir_ / "keep");
    fs::create_symlink("../job/veld200gSetup.dat", dir_ / "keep" / "n1-s1.csv");
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string leftover = ".n2-s1.csv.duolink-" + std::to_string(gone) + "-abcdef";
    writeFile(dir_ / "keep" / leftover, "1,0");
    writeFile(dir_ / (".c.csv.duolink-" + std::to_string(gone) + "-zyxwvu"), "n,set");
    writeFile(dir_ / (".c.csv.duolink-" + std::to_string(::getpid()) + "-zyxwvu"), "n,set"); // a live writer's
    ASSERT_EQ(run({"--capacity", "c.csv", "--capacity-pairs", "3", "--capacity-sets", "2", "--keep-sets", "keep",
                   "job"}),
              0)
        << err;
    EXPECT_EQ(readFile(job / "veld200gSetup.dat"), params);
    EXPECT_NE(err.find("removed 1 temporary file that a killed run left in keep\n"), std::string::npos) << err;
    EXPECT_NE(err.find("removed 1 temporary file that a killed run left in .\n"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_ / (".c.csv.duolink-" + std::to_string(gone) + "-zyxwvu")));
    EXPECT_TRUE(fs::exists(dir_ / (".c.csv.duolink-" + std::to_string(::getpid()) + "-zyxwvu")));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ / "keep")) {
        names.insert(e.path().filename().string());
        EXPECT_TRUE(e.is_regular_file() && !e.is_symlink()) << e.path();
        EXPECT_TRUE(readFile(e.path()).starts_with("A1,")) << e.path();
    }
    EXPECT_EQ(names, (std::set<std::string>{"n1-s1.csv", "n1-s2.csv", "n2-s1.csv", "n2-s2.csv", "n3-s1.csv",
                                            "n3-s2.csv"}));
}

// A sweep reads the job files under the folder lock: a run that writes them
// holds the folder, and the sweep waits for nothing and says so.
TEST_F(RunnerTest, AnalysesReadTheJobFilesUnderTheFolderLock)
{
    const fs::path job = demo("job");
    ASSERT_EQ(run({"--quiet", "--save-matrix", "m.vmat2", job.string()}), 0) << err;
    duolink::FolderLock writer;
    ASSERT_TRUE(writer.tryLock(job.string()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--sweep-out", "s.csv", "--sweep", "beta=0.1,0.2", job.string()},
          std::vector<std::string>{"--capacity", "s.csv", "--capacity-pairs", "2", job.string()},
          std::vector<std::string>{"--no-solve", "--load-matrix", "m.vmat2", "--tol", "0.1", "--recall-table",
                                   "s.csv", job.string()}}) {
        EXPECT_EQ(run(args), 5) << args[0] << "\n" << err;
        EXPECT_NE(err.find("is in use by another run"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir_ / "s.csv"));
    }
    writer.unlock();
    // Readers share it.
    duolink::FolderLock reader;
    ASSERT_TRUE(reader.tryLockShared(job.string()));
    EXPECT_EQ(run({"--sweep-out", "s.csv", "--sweep", "beta=0.1,0.2", job.string()}), 0) << err;
}

// An analysis draws its progress on standard error only when that is a
// terminal, never with --quiet, nor over rows going to the same terminal;
// the rows are the same either way.
TEST_F(RunnerTest, AnalysisProgressOnlyOnATerminal)
{
    const fs::path job = quickJob(dir_ / "job");
    ASSERT_EQ(run({"--capacity", "plain.csv", "--capacity-pairs", "4", "--capacity-sets", "3", job.string()}), 0)
        << err;
    struct Case {
        const char* name;
        bool errOnTerminal, quiet, rowsToTerminal, shown;
    };
    for (const Case& c : {Case{"terminal", true, false, false, true}, Case{"pipe", false, false, false, false},
                          Case{"quiet", true, true, false, false}, Case{"rows on it", true, false, true, false}}) {
        SCOPED_TRACE(c.name);
        const std::string out = (dir_ / (std::string(c.name) + ".csv")).string();
        std::vector<std::string> args = {DUOLINK_BATCH, "--capacity", c.rowsToTerminal ? "-" : out,
                                         "--capacity-pairs", "4", "--capacity-sets", "3", job.string()};
        if (c.quiet)
            args.insert(args.begin() + 1, "--quiet");
        int master = -1, slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(c.errOnTerminal ? slave : ::open("/dev/null", O_WRONLY), STDERR_FILENO);
            ::dup2(c.rowsToTerminal ? slave : ::open("/dev/null", O_WRONLY), STDOUT_FILENO);
            ::close(master);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(DUOLINK_BATCH, argv.data());
            ::_exit(127);
        }
        ::close(slave);
        std::string terminal;
        char buf[65536];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
            if (n > 0)
                terminal.append(buf, static_cast<size_t>(n));
        ::close(master);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << terminal;
        EXPECT_EQ(terminal.find("rows 12 of 12, ") != std::string::npos, c.shown) << terminal;
        EXPECT_EQ(terminal.find(" left\r\033[K") != std::string::npos, c.shown) << terminal;
        if (!c.rowsToTerminal)
            EXPECT_EQ(readFile(out), readFile(dir_ / "plain.csv"));
    }
}

// Each analysis file gets its provenance beside it: the command, the
// parameters as read (--set applied), the list's digest and the rows by
// outcome; a sidecar that would replace an input is refused.
TEST_F(RunnerTest, AnalysisFilesGetTheirProvenanceBesideThem)
{
    const fs::path job = quickJob(dir_ / "job");
    const std::string list = (kExamples / "patterns.csv").string();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> expected;
        bool table = false; // a recall or noise table: rows, no outcomes
    };
    const std::string params = fs::weakly_canonical(job / kParametersFileName).string();
    const Case cases[] = {
        {{"--capacity", "out.csv", "--capacity-pairs", "3", "--capacity-sets", "2", "--seed", "7", "--set", "tol=0.2"},
         {R"("analysis": "capacity")", R"("seed": 7)", R"("pairs": 3)", R"("sets": 2)", R"("tol": 0.2})",
          R"("shard": "1/1")", R"("stopped": false)"}},
        {{"--sweep-out", "out.csv", "--sweep", "beta=0.1,0.2", "--patterns", list, "--shard", "1/2"},
         {R"("analysis": "sweep")", R"("sweep": ["beta=0.1,0.2"])", R"("beta": 0.1,)", R"("shard": "1/2")",
          R"("patterns": ")" + fs::weakly_canonical(list).string() + '"',
          R"("patterns_sha256": "252ebe2ce9c347254bf6678579cdfab2adddcb022d2cf93e8314c896fb2e7ccf")"}},
        {{"--recall-table", "r.csv", "--noise", "out.csv", "--noise-sigma", "0,0.5", "--noise-trials", "3",
          "--tol", "0.25", "--patterns", list},
         {R"("analysis": "noise")", R"("step": 1)", R"("tol": 0.25)", R"("sigma": [0, 0.5])", R"("trials": 3)",
          R"({"role": "parameters", "file": ")" + params + R"(", "sha256": ")", R"("stopped": false)"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        args.push_back(job.string());
        ASSERT_EQ(run(args), 0) << err;
        const std::string json = readFile(dir_ / "out.csv.json");
        const std::string rows = readFile(dir_ / "out.csv");
        const size_t count = static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')) - 1;
        for (const std::string& entry : c.expected)
            EXPECT_NE(json.find(entry), std::string::npos) << entry << "\n" << json;
        EXPECT_NE(json.find(R"("command": [")"), std::string::npos) << json;
        EXPECT_NE(json.find(R"(", ")" + c.args[0] + R"(", ")"), std::string::npos) << json;
        if (c.table) {
            EXPECT_NE(json.find(R"("rows": )" + std::to_string(count)), std::string::npos) << json;
            continue;
        }
        size_t counted = 0;
        for (const char* outcome : {"recalled", "limit", "error", "terminated"}) {
            const size_t at = json.find("\"" + std::string(outcome) + "\": ");
            ASSERT_NE(at, std::string::npos) << json;
            counted += std::stoul(json.substr(at + std::strlen(outcome) + 4));
        }
        EXPECT_EQ(counted, count);
    }
    writeFile(dir_ / "in.csv.json", readFile(kExamples / "patterns.csv"));
    EXPECT_EQ(run({"--sweep-out", "in.csv", "--sweep", "beta=0.1", "--patterns", "in.csv.json", job.string()}), 2);
    EXPECT_NE(err.find("nothing was written"), std::string::npos) << err;
    EXPECT_EQ(readFile(dir_ / "in.csv.json"), readFile(kExamples / "patterns.csv"));
}

// --replay runs the analysis a provenance file describes again and writes
// the same bytes, for every kind of analysis file: a recall or noise table
// is made again from copies of the files it was made from (the Solve and the
// matrices loaded before it), writing nothing else. It refuses a changed
// input and anything that is not such a file, and writes nothing then.
TEST_F(RunnerTest, ReplayWritesTheSameRowsOrRefuses)
{
    const fs::path job = quickJob(dir_ / "job");
    fs::copy_file(kExamples / "patterns.csv", dir_ / "list.csv");
    struct Case {
        std::vector<std::string> args;
        bool demo = false; // on the demo jobs, else on `job`
    };
    const Case analyses[] = {
        {{"--capacity", "out.csv", "--capacity-pairs", "4", "--capacity-sets", "3", "--density", "0.3", "--seed", "9",
          "--shard", "2/3", "--set", "beta=0.2"}},
        {{"--sweep-out", "out.csv", "--sweep", "beta=0.1,0.3", "--sweep", "tol=0.1:0.3:0.1", "--patterns", "list.csv"}},
        {{"--sweep-out", "out.csv", "--sweep", "max=5,40", "--jobs", "1"}, true},
        {{"--recall-table", "out.csv", "--tol", "0.2", "--patterns", "list.csv", "--set", "beta=0.3"}},
        {{"--export-matrix", "m.csv", "--noise", "out.csv", "--noise-sigma", "0,0.2", "--noise-trials", "7", "--seed",
          "3", "--save-matrix", "m.vmat2"}},
        {{"--no-solve", "--import-matrix", "m.csv", "--tol", "0.1", "--recall-table", "r.csv", "--noise", "out.csv",
          "--noise-trials", "5"}},
    };
    for (const Case& c : analyses) {
        SCOPED_TRACE(c.args[0] + " " + c.args[2]);
        std::vector<std::string> args = c.args;
        args.push_back(c.demo ? demo("demo").string() : job.string());
        ASSERT_EQ(run(args), 0) << err;
        const std::string report = readFile(job / kReportFileName);
        ASSERT_EQ(run({"--replay", "out.csv.json", "again.csv"}), 0) << err;
        EXPECT_EQ(readFile(dir_ / "again.csv"), readFile(dir_ / "out.csv"));
        // The replay's own provenance names the command that made the rows.
        ASSERT_EQ(run({"--replay", "again.csv.json"}), 0) << err;
        EXPECT_EQ(out, readFile(dir_ / "out.csv"));
        EXPECT_EQ(readFile(job / kReportFileName), report) << "a replay wrote into the job folder";
    }
    // A changed matrix or job file, as a changed list, is refused.
    writeFile(dir_ / "m.csv", readFile(dir_ / "m.csv") + "\n");
    EXPECT_EQ(run({"--replay", "out.csv.json", "again.csv"}), 4);
    EXPECT_NE(err.find("the --import-matrix file"), std::string::npos) << err;
    ASSERT_EQ(run({"--recall-table", "out.csv", "--patterns", "list.csv", job.string()}), 0) << err;
    writeFile(job / kParametersFileName, readFile(job / kParametersFileName) + "\n");
    EXPECT_EQ(run({"--replay", "out.csv.json", "again.csv"}), 4);
    EXPECT_NE(err.find("the parameters file " + fs::weakly_canonical(job / kParametersFileName).string() +
                       " is not the one it was made from (its SHA-256 differs)"),
              std::string::npos)
        << err;
    writeFile(dir_ / "list.csv", readFile(dir_ / "list.csv") + "\n");
    ASSERT_EQ(run({"--sweep-out", "out.csv", "--sweep", "beta=0.1", "--patterns", "list.csv", job.string()}), 0);
    writeFile(dir_ / "list.csv", readFile(kExamples / "patterns.csv"));
    fs::remove(dir_ / "again.csv");
    EXPECT_EQ(run({"--replay", "out.csv.json", "again.csv"}), 4);
    EXPECT_NE(err.find("is not the one it was made from (its SHA-256 differs); nothing was written"),
              std::string::npos)
        << err;
    EXPECT_FALSE(fs::exists(dir_ / "again.csv"));

    const std::string good = readFile(dir_ / "out.csv.json");
    const std::pair<std::string, const char*> hostile[] = {
        {"", "not a JSON object"},
        {good.substr(0, good.size() / 2), "not a JSON object"},
        {std::string(100000, '['), "not a JSON object"},
        {std::string(duolink::analysis::kMaxProvenanceBytes + 1, ' '), "larger than any"},
        {"[\"duolink\"]", "not a JSON object"},
        {R"({"program": "other", "command": ["x"], "folder": "/"})", "not written by this program"},
        {R"({"program": "duolink", "command": [], "folder": "/"})", "no command line"},
        {R"({"program": "duolink", "command": ["x", 1], "folder": "/"})", "not a text"},
        {R"({"program": "duolink", "command": ["x"]})", "no \"folder\" entry"},
        {R"({"program": "duolink", "command": ["x", "--bogus"], "folder": "/"})", "not one this program takes"},
        {R"({"program": "duolink", "command": ["x", "--no-solve", "."], "folder": "/"})", "runs no analysis"},
        {R"({"program": "duolink", "command": ["x"], "folder": "/", "patterns": "/a", "patterns_sha256": "../"})",
         "not what this program writes"},
        {R"({"program": "duolink", "command": ["x"], "folder": "/", "patterns_sha256": "00"})",
         "not what this program writes"},
        {"{\"program\": \"duolink\xff\", \"command\": [\"x\"], \"folder\": \"/\"}", "not a JSON object"},
        {R"({"program": "duolink", "command": ["/usr/bin/duolink", "Analysis window: Recall: Save as CSV"],
             "folder": "/"})", "saved from the window"},
        {R"({"program": "duolink", "command": ["x"], "folder": "/", "inputs": [{"role": "parameters", "file": "p",
             "sha256": "00"}]})", "\"inputs\" entries are not what this program writes"},
        {R"({"program": "duolink", "command": ["x"], "folder": "/", "inputs": [{"role": "parameters", "file": "/tmp/..",
             "sha256": "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}]})",
         "\"inputs\" entries are not what this program writes"},
        {R"({"program": "duolink", "command": ["x", "--recall-table", "r.csv", "."], "folder": "/",
             "analysis": "noise", "step": 0})", "has no noise step where it says"},
        {R"({"program": "duolink", "command": ["x", "--noise", "n.csv", "."], "folder": "/", "analysis": "noise"})",
         "\"step\" entry"},
    };
    for (const auto& [text, why] : hostile) {
        writeFile(dir_ / "bad.json", text);
        EXPECT_EQ(run({"--replay", "bad.json", "again.csv"}), 4) << why;
        EXPECT_NE(err.find(why), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir_ / "again.csv"));
    }
    EXPECT_EQ(run({"--replay", "missing.json"}), 4);
    EXPECT_NE(err.find("cannot read it"), std::string::npos) << err;
    EXPECT_EQ(run({"--replay"}), 2);
}
