// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory training against the engine: the same job, trained by
// solveExistingJob() in the working folder and by trainInMemory() on the
// files' texts, must end the same way after the same presentations, with the
// same R2 text, pairs missed last and matrix. Any difference aborts.
//
// Input: as fuzz_job, the job's files one after another, separated by lines
// that hold exactly "=====":
//   section 1  veld200gSetup.dat
//   section 2  adata200.dat
//   section 3  bdata200.dat
//   section 4  the simulation file "NuTest.Dat"
// Inputs without both data files are skipped (the in-memory training always
// has them). A MAX Presentations above kMaxPresentations is lowered to it.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/analysis/memtrain.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/support/textfile.h"
#include "core/support/numgrammar.h"
#include "core/engine/observer.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

struct R2Text : TextField {
    std::string text = "    0.000";
    void setText(std::string_view t) override { text.assign(t); }
};

struct Recorder : TrainingObserver {
    int missed = 0;
    RunEnd end = RunEnd::Error;
    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& r) override { missed = r.missedPairs; }
    void solveEnded(RunEnd e) override { end = e; }
};

void differ(const char* what)
{
    std::fprintf(stderr, "in-memory training differs from the engine: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_memtrain", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string_view> sections = splitSections(asText(data, size));
    if (sections.size() < 3)
        return 0;
    const std::vector<std::string> texts = writeJobSections(sections);
    analysis::JobTexts job{texts[0], texts[1], texts[2], std::nullopt};
    if (texts.size() > 3)
        job.simulation = texts[3];

    startCleanEngine();
    EngineState& e = engine();
    R2Text r2;
    Recorder recorder;
    e.consoleChannel().r2Edit = &r2;
    e.setTrainingObserver(&recorder);
    analysis::Outcome expected = analysis::Outcome::Error;
    try {
        e.solveExistingJob();
        expected = recorder.end == RunEnd::Recalled ? analysis::Outcome::Recalled : analysis::Outcome::Limit;
    } catch (const JobTerminated&) {
        expected = analysis::Outcome::Terminated;
    } catch (const RunError&) {
        expected = analysis::Outcome::Error;
    }
    e.closeEngineFiles();
    e.setTrainingObserver(nullptr);
    e.consoleChannel().r2Edit = nullptr;

    const analysis::TrainingResult got = analysis::trainInMemory(job);
    if (got.outcome != expected)
        differ("outcome");
    if (expected == analysis::Outcome::Terminated)
        return 0;
    if (got.presentations != std::max(e.state().presentationNo - 1, 0))
        differ("presentations");
    const size_t first = r2.text.find_first_not_of(' ');
    if (got.finalR2 != r2.text.substr(first == std::string::npos ? r2.text.size() : first))
        differ("R2 text");
    if (got.missedLast != recorder.missed)
        differ("pairs missed last");
    if (e.state().aLen >= 1 && e.state().bLen >= 1 && e.state().aLen * e.state().bLen <= kMatrixCells)
        for (int c = 1; c <= e.state().aLen * e.state().bLen; ++c)
            if (!(got.matrix.w[c] == e.state().wMatrix[c]) && !(got.matrix.w[c] != got.matrix.w[c] && e.state().wMatrix[c] != e.state().wMatrix[c]))
                differ("matrix");
    return 0;
}
