// SPDX-License-Identifier: GPL-3.0-or-later
// Times one pair test (the product, the check and the correction of one
// pair in a quiet training) against the size of the matrix. For each shape a
// random set of 0/1 pairs, twice as many as A Len, is trained for a fixed
// number of presentations with a BETA that neither converges nor diverges;
// the time of the Solve over the pair tests it made gives ns per pair test,
// and over A Len x B Len ns per cell. Prints one line per shape:
//   a_len b_len cells pairs presentations end ns_per_pair_test ns_per_cell
// the median of five runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "core/engine/observer.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"

using namespace duolink;

namespace {

struct Timing {
    double seconds = 0;
    int presentations = 0;
    RunEnd end = RunEnd::Error;
};

Timing trainOnce(const analysis::JobTexts& job)
{
    EngineState engine;
    engine.setQuiet(true);
    engine.setJobFolder("/dev/null");
    engine.setJobFileText(kParametersFileName, *job.parameters);
    engine.setJobFileText(kADataFileName, job.aData);
    engine.setJobFileText(kBDataFileName, job.bData);
    const auto start = std::chrono::steady_clock::now();
    RunEnd end = RunEnd::Error;
    try {
        end = engine.solveExistingJob();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pairtest_bench: %s\n", e.what());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, std::max(engine.state().presentationNo - 1, 0), end};
}

} // namespace

int main()
{
    const std::vector<ListShape> shapes = {{8, 8}, {16, 16}, {32, 32}, {49, 54}};
    std::printf("a_len b_len cells pairs presentations end ns_per_pair_test ns_per_cell\n");
    for (const ListShape& shape : shapes) {
        const int pairs = 2 * shape.aLen();
        const int presentations = 200;
        const double beta = 1.0 / shape.aLen();
        const ShapedPairs list = analysis::randomShapedSet(11, pairs, 1, 0.5, shape);
        analysis::JobTexts settings;
        settings.parameters = "4\r\n" + std::to_string(presentations) + "\r\n9\r\n8\r\n0\r\n" + std::to_string(beta) +
                              "\r\n0\r\n2\r\n10000\r\n0.1\r\n";
        const analysis::JobTexts job = analysis::shapedJob(list, settings);
        std::vector<double> perTest;
        int made = 0;
        RunEnd end = RunEnd::Error;
        for (int run = 0; run < 5; ++run) {
            const Timing t = trainOnce(job);
            made = t.presentations;
            end = t.end;
            perTest.push_back(t.seconds * 1e9 / std::max(1.0, static_cast<double>(t.presentations) * pairs));
        }
        std::sort(perTest.begin(), perTest.end());
        const double ns = perTest[perTest.size() / 2];
        const int cells = shape.aLen() * shape.bLen();
        std::printf("%d %d %d %d %d %s %.1f %.3f\n", shape.aLen(), shape.bLen(), cells, pairs, made,
                    std::string(runEndName(end)).c_str(), ns, ns / cells);
    }
    return 0;
}
