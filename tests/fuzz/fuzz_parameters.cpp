// The parameters file veld200gSetup.dat, W matrix section included. The input
// is the whole file. It is read the way a Solve reads it, twice (job opening,
// then training run), with the report file open; then the input is read once
// more from its start as a W matrix section of the lengths in effect, whatever
// the run option.
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

// Whatever the file holds, the lengths left behind must address the matrix
// store safely: the next Solve's clear, Predict and the matrix files use them.
void checkLengths()
{
    FUZZ_CHECK(aLen >= 0 && aLen <= kVectorSize);
    FUZZ_CHECK(bLen >= 0 && bLen <= kVectorSize);
    FUZZ_CHECK(aLen * bLen <= kMatrixCells);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_parameters", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startCleanEngine();
    writeFile(kParametersFileName, asText(data, size));

    // A fatal input error closes the report file; each read gets a fresh one.
    reportFile.create(kReportFileName);
    runCommand([] { readParametersRD(kParametersFileName); });
    checkLengths();

    reportFile.create(kReportFileName);
    runCommand([] { readParameters(kParametersFileName); });
    checkLengths();

    if (aLen > 0 && bLen > 0) {
        reportFile.create(kReportFileName);
        TextReader f;
        f.open(kParametersFileName);
        runCommand([&] { readWMatrix(wMatrix, aLen, bLen, f); });
    }

    closeEngineFiles();
    return 0;
}
