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
#include "core/engine/textfile.h"
#include "core/numgrammar.h"
#include "core/observer.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

constexpr long long kMaxPresentations = 20;

const std::array<std::string, 4> kFileNames = {kParametersFileName, kADataFileName, kBDataFileName, "NuTest.Dat"};

// Finds the token the parameter reader takes as MAX Presentations and
// lowers it in place, padded with leading zeros to its old length so that
// every other character stays where it was. The reader takes a parameter as
// the next token (at most 32 characters above the blank, after skipping
// blanks, control characters and line ends) and then skips the rest of its
// line up to the next LF: MAX Presentations is the first token after the
// line of the run option, which may lie any number of lines further down,
// or not exist when no LF follows.
void limitPresentations(std::string& parameters)
{
    constexpr size_t kTokenLength = 32;
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < parameters.size() && static_cast<unsigned char>(parameters[pos]) <= ' ')
            ++pos;
    };
    auto takeToken = [&] {
        const size_t start = pos;
        while (pos < parameters.size() && pos - start < kTokenLength &&
               static_cast<unsigned char>(parameters[pos]) > ' ')
            ++pos;
        return start;
    };

    skipBlanks();
    takeToken();
    const size_t lineEnd = parameters.find('\n', pos);
    if (lineEnd == std::string::npos)
        return;
    pos = lineEnd + 1;
    skipBlanks();
    const size_t start = takeToken();
    const size_t length = pos - start;
    long long value = 0;
    if (!parseIntToken(std::string_view(parameters).substr(start, length), value) || value <= kMaxPresentations)
        return;
    const std::string lowered = std::to_string(kMaxPresentations);
    parameters.replace(start, length, std::string(length - lowered.size(), '0') + lowered);
}

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
    analysis::JobTexts job;
    for (size_t k = 0; k < kFileNames.size(); ++k) {
        if (k >= sections.size()) {
            removeFile(kFileNames[k]);
            continue;
        }
        std::string text(sections[k]);
        if (k == 0)
            limitPresentations(text);
        writeFile(kFileNames[k], text);
        (k == 0 ? *(job.parameters = std::string()) : k == 1 ? job.aData : k == 2 ? job.bData
                                                                         : *(job.simulation = std::string())) = text;
    }
    removeFile(kReportFileName);

    startCleanEngine();
    R2Text r2;
    Recorder recorder;
    r2Edit = &r2;
    trainingObserver = &recorder;
    analysis::Outcome expected = analysis::Outcome::Error;
    try {
        solveExistingJob();
        expected = recorder.end == RunEnd::Recalled ? analysis::Outcome::Recalled : analysis::Outcome::Limit;
    } catch (const JobTerminated&) {
        expected = analysis::Outcome::Terminated;
    } catch (const RunError&) {
        expected = analysis::Outcome::Error;
    }
    closeEngineFiles();
    trainingObserver = nullptr;

    const analysis::TrainingResult got = analysis::trainInMemory(job);
    if (got.outcome != expected)
        differ("outcome");
    if (expected == analysis::Outcome::Terminated)
        return 0;
    if (got.presentations != std::max(presentationNo - 1, 0))
        differ("presentations");
    const size_t first = r2.text.find_first_not_of(' ');
    if (got.finalR2 != r2.text.substr(first == std::string::npos ? r2.text.size() : first))
        differ("R2 text");
    if (got.missedLast != recorder.missed)
        differ("pairs missed last");
    if (aLen >= 1 && bLen >= 1 && aLen * bLen <= kMatrixCells)
        for (int c = 1; c <= aLen * bLen; ++c)
            if (!(got.w[c] == wMatrix[c]) && !(got.w[c] != got.w[c] && wMatrix[c] != wMatrix[c]))
                differ("matrix");
    return 0;
}
