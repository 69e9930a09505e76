// SPDX-License-Identifier: GPL-3.0-or-later
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_job", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    writeJobSections(splitSections(asText(data, size)));

    startCleanEngine();
    runCommand([] { engine().solveExistingJob(); });
    engine().closeEngineFiles();
    // The limit above is the one the reader took (else runs would be slow).
    FUZZ_CHECK(engine().state().maxPresentations <= kMaxPresentations);

    runCommand([] {
        TPatternVector a = vectorFromTexts({"1", "1", "0", "0", "0", "0", "0", "0"});
        TPatternVector b{};
        engine().recallB(a, b);
    });
    return 0;
}
