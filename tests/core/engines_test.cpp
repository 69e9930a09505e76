// SPDX-License-Identifier: GPL-3.0-or-later
// Several engines in one process: each session trains its own job in its own
// folder with its own sinks, on threads of its own, and every report, pane
// and statistics line is what the same job gives run alone. (Run under
// ThreadSanitizer too.)
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/support/console.h"
#include "core/engine/solve.h"
#include "core/session/session.h"
#include "core/stats/statscsv.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::copyJobInputs;
using duolink::testing::kJobs;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {


// The pane, the R2 field, the bar and the statistics of one run, as text.
struct Recorder : ConsolePane, TextField, ProgressBar, TrainingObserver {
    std::string text;
    void appendLine(std::string_view line) override { (text += line) += '\n'; }
    void setText(std::string_view r2) override { (text += "R2 ") += r2; }
    void setMinimum(int v) override { text += " min" + std::to_string(v); }
    void setMaximum(int v) override { text += " max" + std::to_string(v); }
    void stepBy(int v) override { text += " step" + std::to_string(v); }
    void trainingStarted(const TrainingStart& start) override { text += "start " + std::to_string(start.patternCount); }
    void presentationMade(const PresentationRecord& record) override { appendStatsLine(text, record); }
    void solveEnded(RunEnd end) override { (text += "end ") += runEndName(end); }
};

// One job in a folder of its own: what its run leaves.
std::string trainJob(const fs::path& folder)
{
    Session session;
    session.setFolder(folder);
    Recorder recorder;
    Console& console = session.engine().consoleChannel();
    console.consolePane = &recorder;
    console.r2Edit = &recorder;
    console.runProgressBar = &recorder;
    session.engine().setTrainingObserver(&recorder);
    const Outcome outcome = session.solveExistingJob();
    return recorder.text + "\nstatus " + std::to_string(static_cast<int>(outcome.status)) + " " + outcome.message +
           outcome.reason + "\n" + readFile(folder / kReportFileName);
}

class Engines : public duolink::testing::EngineTest {};

TEST_F(Engines, JobsTrainedAtOnceOnThreadsGiveWhatTheyGiveOneAfterAnother)
{
    // Every hand-worked job, and a long one twice so that runs overlap.
    std::vector<fs::path> sources;
    for (const auto& job : fs::directory_iterator(kJobs))
        if (job.is_directory())
            sources.push_back(job.path());
    sources.push_back(kJobs / "abort_opt4");
    sources.push_back(kJobs / "abort_opt4");
    std::vector<fs::path> folders;
    for (size_t k = 0; k < sources.size(); ++k) {
        const fs::path folder = dir_ / std::to_string(k);
        fs::create_directory(folder);
        copyJobInputs(sources[k], folder);
        if (k + 2 >= sources.size()) {
            std::string parameters = readFile(folder / kParametersFileName);
            parameters.replace(parameters.find("\n2") + 1, 1, "300");
            writeFile(folder / kParametersFileName, parameters);
        }
        folders.push_back(folder);
    }

    std::vector<std::string> alone;
    for (const fs::path& folder : folders)
        alone.push_back(trainJob(folder));

    std::vector<std::string> together(folders.size());
    std::vector<std::thread> threads;
    for (size_t k = 0; k < folders.size(); ++k)
        threads.emplace_back([&, k] { together[k] = trainJob(folders[k]); });
    for (std::thread& thread : threads)
        thread.join();

    for (size_t k = 0; k < folders.size(); ++k) {
        SCOPED_TRACE(sources[k].filename().string());
        EXPECT_EQ(together[k], alone[k]);
    }
    EXPECT_NE(alone.back().find("end limit"), std::string::npos);
}

} // namespace
