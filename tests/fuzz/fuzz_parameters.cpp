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
    FUZZ_CHECK(engine().aLen >= 0 && engine().aLen <= kVectorSize);
    FUZZ_CHECK(engine().bLen >= 0 && engine().bLen <= kVectorSize);
    FUZZ_CHECK(engine().aLen * engine().bLen <= kMatrixCells);
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
    engine().reportFile.create(kReportFileName);
    runCommand([] { engine().readParametersRD(kParametersFileName); });
    checkLengths();

    engine().reportFile.create(kReportFileName);
    runCommand([] { engine().readParameters(kParametersFileName); });
    checkLengths();

    if (engine().aLen > 0 && engine().bLen > 0) {
        engine().reportFile.create(kReportFileName);
        TextReader f;
        f.open(kParametersFileName);
        runCommand([&] { engine().readWMatrix(engine().wMatrix, engine().aLen, engine().bLen, f); });
    }

    engine().closeEngineFiles();
    return 0;
}
