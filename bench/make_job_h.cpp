// SPDX-License-Identifier: GPL-3.0-or-later
// Writes benchmark job H into a folder: 256 binary pattern pairs that do not
// converge, and parameters that make every presentation run.
//   make_job_h DIR [MAX_PRESENTATIONS]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/patterns/patterns.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"

using namespace duolink;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_job_h DIR [MAX_PRESENTATIONS]\n");
        return 2;
    }
    const std::string maxPresentations = argc > 2 ? argv[2] : "100";
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    PatternList list;

    for (int k = 1; k <= 256; ++k) {
        TPatternVector a{}, b{};
        const int aBits = (37 * k) % 256;
        const int bBits = (91 * k + 17) % 256;
        for (int i = 1; i <= 8; ++i) {
            a[i] = (aBits >> (i - 1)) & 1 ? 1.0 : 0.0;
            b[i] = (bBits >> (i - 1)) & 1 ? 1.0 : 0.0;
        }
        a[9] = parityOf(a);
        b[9] = parityOf(b);
        list.listAdd(a, b);
    }
    writeJobFiles(list, folder);

    std::ofstream params(folder / kParametersFileName, std::ios::binary);
    const char* lines[] = {"4", maxPresentations.c_str(), "9", "8", "0", "0.05", "0", "2", "10000", "0.01"};
    for (const char* line : lines)
        params << line << "\r\n";
    return params ? 0 : 1;
}
