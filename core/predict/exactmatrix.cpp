// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/predict/exactmatrix.h"

#include <cerrno>
#include <charconv>
#include <cmath>

#include <unistd.h>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/numgrammar.h"
#include "core/support/textfile.h"

namespace duolink {

namespace {

// Far beyond kMatrixCells cells of the longest shortest text.
constexpr size_t kLargestFile = 1u << 20;

// The shape a recall works with: the job's, or 9 by 8 before any job.
int shapeRows(const EngineState& e) { return e.state().aLen > 0 ? e.state().aLen : 9; }
int shapeCols(const EngineState& e) { return e.state().bLen > 0 ? e.state().bLen : 8; }

RunError fileError(const std::string& path, int error)
{
    RunError e(ioErrorMessage(error));
    e.setSystemError(error);
    e.attachFile(path);
    return e;
}

RunError formatError(const std::string& what, size_t line)
{
    RunError e("Not an exported matrix: " + what);
    e.setLine(line);
    return e;
}

std::string readSmallFile(const std::string& path)
{
    FileDescriptor fd(openInputFile(path));
    if (fd.get() < 0)
        throw fileError(path, errno);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fileError(path, errno);
        if (n == 0)
            return text;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kLargestFile)
            throw formatError("the file is far larger than any matrix", 0);
    }
}

} // namespace

std::string exactMatrixCsv(const EngineState& engine)
{
    std::string out;
    for (int i = 1; i <= shapeRows(engine); ++i) {
        for (int j = 1; j <= shapeCols(engine); ++j) {
            if (j > 1)
                out += ',';
            char buffer[32];
            const auto written = std::to_chars(buffer, buffer + sizeof buffer,
                                               engine.state().wMatrix[static_cast<size_t>(engine.cellIndex(i, j))]);
            out.append(buffer, written.ptr);
        }
        out += '\n';
    }
    return out;
}

std::string exactMatrixSidecar(const EngineState& engine)
{
    return "{\n  \"a_len\": " + std::to_string(shapeRows(engine)) + ",\n  \"b_len\": " +
           std::to_string(shapeCols(engine)) + ",\n  \"unity\": " + std::to_string(engine.state().unity) +
           ",\n  \"cells\": \"fixed-point values as stored: the real value is the cell divided by unity\"\n}\n";
}

ExactMatrix parseExactMatrix(std::string_view text)
{
    ExactMatrix m;
    size_t line = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view row = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line;
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        if (row.empty())
            throw formatError("line " + std::to_string(line) + " is empty", line);
        int cols = 0;
        for (size_t start = 0;; ++cols) {
            const size_t comma = row.find(',', start);
            double value = 0;
            if (!parseRealToken(row.substr(start, comma - start), value) || !std::isfinite(value))
                throw formatError("field " + std::to_string(cols + 1) + " of line " + std::to_string(line) +
                                      " is not a number", line);
            if (m.cells.size() >= static_cast<size_t>(kMatrixCells))
                throw formatError("more than " + std::to_string(kMatrixCells) + " cells", line);
            m.cells.push_back(value);
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        ++cols;
        if (m.rows > 0 && cols != m.cols)
            throw formatError("line " + std::to_string(line) + " has " + std::to_string(cols) + " cells, not " +
                                  std::to_string(m.cols), line);
        m.cols = cols;
        ++m.rows;
    }
    if (m.rows == 0)
        throw formatError("the file is empty", 0);
    if (m.rows > kVectorSize || m.cols > kVectorSize)
        throw formatError(std::to_string(m.rows) + " rows of " + std::to_string(m.cols) + " cells; A Len and B Len go up to " +
                              std::to_string(kVectorSize), 0);
    return m;
}

void exportMatrixFile(const EngineState& engine, const std::string& path)
{
    std::string failed;
    if (const int error = replaceFilePair(path, exactMatrixCsv(engine), path + ".json", exactMatrixSidecar(engine),
                                          failed))
        throw fileError(failed, error);
}

void importMatrixFile(EngineState& engine, const std::string& path)
{
    ExactMatrix m;
    try {
        m = parseExactMatrix(readSmallFile(path));
    } catch (RunError& e) {
        e.attachFile(path);
        throw;
    }
    engine.setPatternLengths(m.rows, m.cols);
    for (int i = 1; i <= m.rows; ++i)
        for (int j = 1; j <= m.cols; ++j)
            engine.setWeight(engine.cellIndex(i, j), m.cells[static_cast<size_t>((i - 1) * m.cols + j - 1)]);
}

} // namespace duolink
