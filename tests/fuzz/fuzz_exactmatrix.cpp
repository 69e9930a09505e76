// SPDX-License-Identifier: GPL-3.0-or-later
// Exported matrices. The input is the CSV text.
// - Parsing either fails with a RunError or gives rows of equal length
//   within the engine's stores.
// - A parsed matrix, put into an engine and exported, parses back to the
//   same cells bit for bit.
#include <cstring>

#include "core/predict/exactmatrix.h"
#include "core/support/errors.h"
#include "fuzzsupport.h"

using namespace duolink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ExactMatrix m;
    try {
        m = parseExactMatrix(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const RunError&) {
        return 0;
    }
    if (m.rows < 1 || m.cols < 1 || m.rows > kVectorSize || m.cols > kVectorSize ||
        m.cells.size() != static_cast<size_t>(m.rows * m.cols))
        __builtin_trap();
    EngineState engine;
    engine.setPatternLengths(m.rows, m.cols);
    for (int i = 1; i <= m.rows; ++i)
        for (int j = 1; j <= m.cols; ++j)
            engine.setWeight(engine.cellIndex(i, j), m.cells[static_cast<size_t>((i - 1) * m.cols + j - 1)]);
    const ExactMatrix again = parseExactMatrix(exactMatrixCsv(engine));
    if (again.rows != m.rows || again.cols != m.cols ||
        std::memcmp(again.cells.data(), m.cells.data(), m.cells.size() * sizeof(double)) != 0)
        __builtin_trap();
    return 0;
}
