// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine shows of its vectors and matrices: pane lines, the W
// matrix as one text rewritten where its weights changed, report values.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/engine/state.h"
#include "core/support/numtext.h"

namespace duolink {

void EngineState::checkScale(const Vector& v, int n) const
{
    // Dividing by a unity other than 0 never fails; by 0 the first value fails.
    if (unity == 0 && n >= 1)
        (void)fdiv(v[1], 0);
}

void EngineState::printScaledVector(const Vector& v, int n, std::string* kept)
{
    if (quiet) {
        checkScale(v, n);
        console.pendingLine.clear();
        return;
    }
    // Built where the pane line is pending; a failure leaves it as it was.
    std::string& line = console.pendingLine;
    if (kept && !kept->empty()) {
        line += *kept;
        consoleWriteLn();
        return;
    }
    const size_t start = line.size();
    try {
        numberTexts_.appendScaledRun(line, &v[1], std::max(n, 0), unity, 1);
    } catch (...) {
        line.resize(start);
        throw;
    }
    if (kept)
        kept->assign(line, start);
    consoleWriteLn();
}

namespace {
// Whether `n` doubles hold the same bits.
inline bool sameBits(const double* a, const double* b, int n)
{
    uint64_t differ = 0;
    for (int j = 0; j < n; ++j) {
        uint64_t x = 0, y = 0;
        std::memcpy(&x, a + j, sizeof x);
        std::memcpy(&y, b + j, sizeof y);
        differ |= x ^ y;
    }
    return differ == 0;
}
} // namespace

bool EngineState::rewriteChangedLines(const Matrix& m, int rows, int cols)
{
    const int blocks = (cols - 1) / 16 + 1;
    for (int r = 1; r <= rows; ++r) {
        for (int b = 0; b < blocks; ++b) {
            const int first = 16 * b + 1;
            const int count = std::min(16 * b + 16, cols) - first + 1;
            const double* values = &m[cellIndex(r, first)];
            MatrixLine& line = matrixLines_[static_cast<size_t>((r - 1) * blocks + b)];
            if (sameBits(line.values.data(), values, count))
                continue;
            // Whole weights are written straight into a buffer of the line's
            // size and from there into the text.
            char text[16 * (WholeRatioWriter::kRoom + 2) + WholeRatioWriter::kRoom];
            int taken = 0;
            char* end = numberTexts_.wholeRatios(unity).writeRun(text, values, count, 2, taken);
            if (taken == count) {
                *end++ = ' ';
                if (static_cast<size_t>(end - text) != line.length)
                    return false;
                std::memcpy(&matrixText_[line.offset], text, line.length);
                std::memcpy(line.values.data(), values, sizeof(double) * static_cast<size_t>(count));
                continue;
            }
            lineText_.clear();
            try {
                numberTexts_.appendScaledRun(lineText_, values, count, unity, 2);
            } catch (...) {
                // The lines before it were shown.
                console.writeBlock(std::string_view(matrixText_).substr(0, line.offset));
                throw;
            }
            lineText_ += ' ';
            if (lineText_.size() != line.length)
                return false;
            std::memcpy(&matrixText_[line.offset], lineText_.data(), line.length);
            std::memcpy(line.values.data(), values, sizeof(double) * static_cast<size_t>(count));
        }
    }
    return true;
}

void EngineState::updateMatrixText(const Matrix& m, int rows, int cols)
{
    const bool kept = matrixShown_ && matrixRows_ == rows && matrixCols_ == cols && matrixUnity_ == unity;
    // Until the text is whole again, the next matrix makes it anew.
    matrixShown_ = false;
    if (kept && rewriteChangedLines(m, rows, cols)) {
        matrixShown_ = true;
        return;
    }
    const int blocks = (cols - 1) / 16 + 1;
    matrixLines_.assign(static_cast<size_t>(std::max(rows * blocks, 0)), MatrixLine{});
    matrixText_.clear();
    for (int r = 1; r <= rows; ++r) {
        for (int b = 0; b < blocks; ++b) {
            const int first = 16 * b + 1;
            const int count = std::max(std::min(16 * b + 16, cols) - first + 1, 0);
            const double* values = &m[cellIndex(r, first)];
            MatrixLine& line = matrixLines_[static_cast<size_t>((r - 1) * blocks + b)];
            line.offset = matrixText_.size();
            try {
                numberTexts_.appendScaledRun(matrixText_, values, count, unity, 2);
            } catch (...) {
                matrixText_.resize(line.offset);
                console.writeBlock(matrixText_);
                throw;
            }
            matrixText_ += ' ';
            line.length = matrixText_.size() - line.offset;
            matrixText_ += '\n';
            std::memcpy(line.values.data(), values, sizeof(double) * static_cast<size_t>(count));
        }
        matrixText_ += " \n";
    }
    matrixRows_ = rows;
    matrixCols_ = cols;
    matrixUnity_ = unity;
    matrixShown_ = true;
}

void EngineState::printWMatrix(const Matrix& m, int rows, int cols)
{
    if (quiet) {
        if (unity == 0 && rows >= 1 && cols >= 1)
            (void)fdiv(m[cellIndex(1, 1)], 0);
        return;
    }
    consoleWriteLn(" ===== W Matrix ====== ");
    updateMatrixText(m, rows, cols);
    console.writeBlock(matrixText_);
}

void EngineState::writeVectorReport(const Vector& v, int n, std::string* kept)
{
    if (quiet)
        return;
    if (kept && n < 16) {
        // One write: the kept text, or the text to keep.
        if (kept->empty()) {
            kept->assign(1, ' ');
            NumberTextCache::appendShortExpRun(*kept, &v[1], std::max(n, 0));
            *kept += ' ';
        }
        reportFile.write(*kept);
        return;
    }
    std::string& text = reportText_;
    text.assign(1, ' ');
    // Lines of 16 values; the last, shorter one stays open.
    for (int p = 1; p <= n; p += 16) {
        const int count = std::min(16, n - p + 1);
        NumberTextCache::appendShortExpRun(text, &v[p], count);
        if (count == 16) {
            reportFile.writeLn(text);
            text.clear();
        }
    }
    text += ' ';
    reportFile.write(text);
}

} // namespace duolink
