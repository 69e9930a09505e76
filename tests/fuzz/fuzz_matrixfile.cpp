// SPDX-License-Identifier: GPL-3.0-or-later
// Matrix files (.vmat2). The input is the file, loaded as Load Matrix does
// after a Solve of the window's lengths (A Len 9, B Len 8).
// - A failed load changes no cell and prints nothing; a load changes only
//   the 9 x 8 block and lists it in nine pane lines.
// - A loaded block of finite values is saved, loaded and saved again: both
//   saved files are the same (the two-digit values read back unchanged).
#include <cmath>
#include <iterator>

#include "core/predict/matrixfile.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

struct CountingPane : ConsolePane {
    size_t lines = 0;
    void appendLine(std::string_view) override { ++lines; }
};

std::string readWhole(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Saved fields keep two significant digits, rounded: beyond this a value is
// saved as a number above the largest double, which cannot be read back.
constexpr double kLargestSavedBack = 1.7e308;

bool blockReadsBack()
{
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            if (!(std::fabs(engine().state().wMatrix[engine().cellIndex(i, j)]) <= kLargestSavedBack))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_matrixfile", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    startCleanEngine();
    CountingPane pane;
    engine().consoleChannel().consolePane = &pane;
    probe().aLen = 9;
    probe().bLen = 8;
    probe().unity = 10000;
    for (int k = 0; k <= kMatrixCells; ++k)
        probe().wMatrix[k] = -k;
    const Matrix before = engine().state().wMatrix;

    writeFile("in.vmat2", asText(data, size));
    if (!runCommand([] { loadMatrixFile(engine(), "in.vmat2"); })) {
        FUZZ_CHECK(engine().state().wMatrix == before);
        FUZZ_CHECK(pane.lines == 0 && engine().consoleChannel().pendingLine.empty());
        engine().consoleChannel().consolePane = nullptr;
        return 0;
    }
    FUZZ_CHECK(pane.lines == 9);
    for (int k = 0; k <= kMatrixCells; ++k)
        if (k < 1 || k > 72)
            FUZZ_CHECK(engine().state().wMatrix[k] == before[k]);

    if (blockReadsBack()) {
        saveMatrixFile(engine(), "first.vmat2");
        FUZZ_CHECK(runCommand([] { loadMatrixFile(engine(), "first.vmat2"); }));
        saveMatrixFile(engine(), "second.vmat2");
        FUZZ_CHECK(readWhole("first.vmat2") == readWhole("second.vmat2"));
    }
    engine().consoleChannel().consolePane = nullptr;
    return 0;
}
