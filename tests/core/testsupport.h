// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared helpers for the library tests: a scratch working folder, a pane
// that records its lines, and a clean engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/support/console.h"
#include "core/engine/jobfiles.h"
#include "core/engine/state.h"
#include "core/patterns/patterns.h"
#include "core/predict/matrixfile.h"

namespace duolink::testing {

struct RecordingPane : ConsolePane {
    std::vector<std::string> lines;
    void appendLine(std::string_view line) override { lines.emplace_back(line); }
};

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The text `times` times over.
inline std::string repeat(const std::string& text, int times)
{
    std::string out;
    for (int k = 0; k < times; ++k)
        out += text;
    return out;
}

// How many of this process's open files lie under `path` (or are `path`).
inline int openFilesUnder(const std::filesystem::path& path)
{
    const std::string prefix = std::filesystem::weakly_canonical(path).string();
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.starts_with(prefix))
            ++count;
    }
    return count;
}

#ifdef DUOLINK_BATCH
// The shell command that runs the headless runner with `args` (shell words,
// quoted by the caller) from `from`, or from here when it is empty, its
// standard output to `out` and its standard error to `err`.
inline std::string batchCommand(const std::string& args, const std::filesystem::path& out,
                                const std::filesystem::path& err, const std::filesystem::path& from = {})
{
    const auto quoted = [](const std::filesystem::path& p) { return "'" + p.string() + "'"; };
    std::string command = from.empty() ? "" : "cd " + quoted(from) + " && ";
    return command + "exec " + quoted(DUOLINK_BATCH) + " " + args + " >" + quoted(out) + " 2>" + quoted(err);
}

// Runs that command; returns the runner's exit code, or -1 when it did not
// exit.
inline int runBatch(const std::string& args, const std::filesystem::path& out,
                    const std::filesystem::path& err, const std::filesystem::path& from = {})
{
    const int status = std::system(batchCommand(args, out, err, from).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

#ifdef DUOLINK_TEST_DATA
// The hand-worked jobs: a folder each, its input files beside an expected/
// folder of what its run leaves.
inline const std::filesystem::path kJobs = std::filesystem::path(DUOLINK_TEST_DATA) / "jobs";

// The job's expected file `name`, with the banner line where it says @BANNER@.
inline std::string expectedFile(const std::filesystem::path& job, const std::string& name)
{
    std::string text = readFile(job / "expected" / name);
    const std::string mark = "@BANNER@";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
        text.replace(at, mark.size(), bannerLine());
    return text;
}

// The job's input files copied into `to`, over any of the same name there.
inline void copyJobInputs(const std::filesystem::path& job, const std::filesystem::path& to)
{
    for (const auto& entry : std::filesystem::directory_iterator(job))
        if (entry.is_regular_file())
            std::filesystem::copy_file(entry.path(), to / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
}
#endif

// Joins lines with CR LF, each line ended.
inline std::string crlf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

// Runs each test in a fresh folder with a clean engine, a pattern list and a
// recording pane. The fixture is the engine and the list: a test names their
// fields and operations as their own code does.
class EngineTest : public ::testing::Test, public EngineState, public PatternList {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("duolink-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        jobFolder = dir_;
        console.consolePane = &pane;
    }
    void TearDown() override
    {
        resetEngineState();
        console.consolePane = nullptr;
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    // The job files of the fixture's list, in its folder.
    void writeJobFiles() { duolink::writeJobFiles(*this, jobFolder); }
    // The matrix file commands on the fixture's engine.
    void saveMatrixFile(const std::string& path) { duolink::saveMatrixFile(*this, path); }
    void loadMatrixFile(const std::string& path) { duolink::loadMatrixFile(*this, path); }
    void printMatrixRows(const Matrix& m, int rows, int cols) { duolink::printMatrixRows(*this, m, rows, cols); }

    // The console channel's parts under their own names.
    ConsolePane*& consolePane = console.consolePane;
    TextField*& r2Edit = console.r2Edit;
    ProgressBar*& runProgressBar = console.runProgressBar;
    std::string& pendingLine = console.pendingLine;

    RecordingPane pane;
    std::filesystem::path dir_;

private:
    std::filesystem::path previous_;
    static inline int counter_ = 0;
};

} // namespace duolink::testing
