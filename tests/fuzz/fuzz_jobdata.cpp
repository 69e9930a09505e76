// SPDX-License-Identifier: GPL-3.0-or-later
// The job data files adata200.dat and bdata200.dat as the training reads
// them: the pattern count, then every pair.
//
// Input layout:
//   byte 0   A Len: 1 + byte % 128
//   byte 1   B Len: 1 + byte % 128, lowered until A Len x B Len fits the
//            matrix store (2700 cells)
//   byte 2   UNITY, picked from kUnities by byte % 8
//   rest     the A data file; after a line "=====" the B data file. Without
//            such a line both files get the same text.
#include <algorithm>
#include <array>

#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

// The usual scales, the smallest ones, 0 (which makes the scaling fail) and
// the largest a parameters file can give.
constexpr std::array<int, 8> kUnities = {10, 10000, 1, 0, 3, 1000000, 65536, 2147483647};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    enterPrivateFolder("fuzz_jobdata", argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    startCleanEngine();
    probe().aLen = 1 + data[0] % kVectorSize;
    probe().bLen = std::min(1 + data[1] % kVectorSize, kMatrixCells / engine().state().aLen);
    probe().unity = kUnities[data[2] % kUnities.size()];

    const std::vector<std::string_view> sections = splitSections(asText(data + 3, size - 3));
    writeFile(kADataFileName, sections[0]);
    writeFile(kBDataFileName, sections.size() > 1 ? sections[1] : sections[0]);

    // The count ends the job through the report file when the sentinel is missing.
    probe().reportFile.create(kReportFileName);
    probe().aDataFile.open(kADataFileName);
    probe().bDataFile.open(kBDataFileName);

    int count = -1;
    runCommand([&] { count = engine().countPatterns(); });
    if (count >= 0) {
        runCommand([&] {
            engine().openADataFile();
            engine().openBDataFile();
            for (int k = 1; k <= count; ++k) {
                engine().readAVector(probe().aVector, probe().aDataFile);
                engine().readBVector(probe().bVector);
                FUZZ_CHECK(engine().state().aVector[1] != 9999.0);
            }
            // Reopening starts over: the group after the counted ones is the
            // sentinel the count stopped at.
            engine().readAVector(probe().aVector, probe().aDataFile);
            FUZZ_CHECK(engine().state().aVector[1] == 9999.0);
        });
    }

    engine().closeEngineFiles();
    return 0;
}
