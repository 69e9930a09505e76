// SPDX-License-Identifier: GPL-3.0-or-later
// The parameters file veld200gSetup.dat, W matrix section included. The input
// is the whole file. It is read the way a Solve reads it, twice (job opening,
// then training run), with the report file open; then the input is read once
// more from its start as a W matrix section of the lengths in effect, whatever
// the run option. The editor's reader must agree with the engine's, and an
// edit must change nothing but the values it sets.
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/support/numgrammar.h"
#include "core/parameters/paramsfile.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

// Whatever the file holds, the lengths left behind must address the matrix
// store safely: the next Solve's clear, Predict and the matrix files use them.
void checkLengths()
{
    FUZZ_CHECK(engine().state().aLen >= 0 && engine().state().aLen <= kVectorSize);
    FUZZ_CHECK(engine().state().bLen >= 0 && engine().state().bLen <= kVectorSize);
    FUZZ_CHECK(engine().state().aLen * engine().state().bLen <= kMatrixCells);
}

// The values the engine took, where it took them as they stood.
void checkSameValues(const ParameterValues& v)
{
    const EngineState& e = engine();
    for (int k = 0; k < kParameterCount; ++k)
        FUZZ_CHECK(v.ok[k]);
    FUZZ_CHECK(v[Parameter::Option] == e.state().runOption && v[Parameter::Max] == e.state().maxPresentations);
    FUZZ_CHECK(v[Parameter::ALen] == e.state().aLen && v[Parameter::BLen] == e.state().bLen);
    FUZZ_CHECK(v[Parameter::Simulation] == e.state().simulationMode);
    FUZZ_CHECK(v[Parameter::Beta] == e.state().beta && v[Parameter::Limit] == e.state().limit && v[Parameter::Tol] == e.state().tol);
    if (v[Parameter::Transfer] == 1 || v[Parameter::Transfer] == 2)
        FUZZ_CHECK(v[Parameter::Transfer] == e.state().transferFunction);
    if (v[Parameter::Unity] >= 0)
        FUZZ_CHECK(v[Parameter::Unity] == e.state().unity);
}

void checkEditor(std::string_view text)
{
    const ParametersLayout layout = scanParameters(text);
    ParametersEdit same;
    ParametersEdit changed;
    for (int k = 0; k < kParameterCount; ++k) {
        const auto p = static_cast<Parameter>(k);
        if (decimalPrefix(layout.tokens[k].text) > 0)
            same.set(p, std::string(layout.tokens[k].text));
        changed.set(p, std::to_string(k + 1));
    }
    FUZZ_CHECK(editParameters(text, same) == text);
    const std::string edited = editParameters(text, changed);
    const ParameterValues v = readParameterValues(edited);
    for (int k = 0; k < kParameterCount; ++k)
        FUZZ_CHECK(v.ok[k] && v.value[k] == k + 1);
    // The W matrix section stays byte for byte.
    FUZZ_CHECK(edited.substr(scanParameters(edited).wMatrixOffset) == text.substr(layout.wMatrixOffset) ||
               layout.wMatrixOffset == text.size());
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
    probe().reportFile.create(kReportFileName);
    runCommand([] { engine().readParametersRD(kParametersFileName); });
    checkLengths();

    probe().reportFile.create(kReportFileName);
    const bool read = runCommand([] { engine().readParameters(kParametersFileName); });
    checkLengths();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (read)
        checkSameValues(readParameterValues(text));
    checkEditor(text);

    if (engine().state().aLen > 0 && engine().state().bLen > 0) {
        probe().reportFile.create(kReportFileName);
        TextReader f;
        f.open(kParametersFileName);
        runCommand([&] { engine().readWMatrix(probe().wMatrix, probe().aLen, probe().bLen, f); });
    }

    engine().closeEngineFiles();
    return 0;
}
