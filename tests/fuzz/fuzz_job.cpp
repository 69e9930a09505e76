// A whole headless job, as duolink-batch runs it: solveExistingJob() on the
// job files in the working folder, then the recall of one A pattern through
// the trained matrix (--predict "1 1 0 0 0 0 0 0").
//
// Input: the job's files one after another, separated by lines that hold
// exactly "=====" (LF ended; see splitSections):
//   section 1  veld200gSetup.dat
//   section 2  adata200.dat
//   section 3  bdata200.dat
//   section 4  the simulation file, written as "NuTest.Dat" so that it is
//              found by its name in any letter case
// A file whose section is missing is not there for the job; sections after
// the fourth are ignored.
//
// So that every input runs fast, a MAX Presentations above
// kMaxPresentations is lowered to it before the parameters file is written.
// Everything else is used as the fuzzer gave it.
#include <array>
#include <string>

#include "core/patterns/patterns.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/support/textfile.h"
#include "core/predict/recall.h"
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_job", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string_view> sections = splitSections(asText(data, size));
    for (size_t k = 0; k < kFileNames.size(); ++k) {
        if (k >= sections.size()) {
            removeFile(kFileNames[k]);
            continue;
        }
        std::string text(sections[k]);
        if (k == 0)
            limitPresentations(text);
        writeFile(kFileNames[k], text);
    }
    removeFile(kReportFileName);

    startCleanEngine();
    runCommand([] { engine().solveExistingJob(); });
    engine().closeEngineFiles();
    // The limit above is the one the reader took (else runs would be slow).
    FUZZ_CHECK(engine().maxPresentations <= kMaxPresentations);

    runCommand([] {
        TPatternVector a = vectorFromTexts({"1", "1", "0", "0", "0", "0", "0", "0"});
        TPatternVector b{};
        engine().recallB(a, b);
    });
    return 0;
}
