// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/predict/matrixfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/support/atomicwrite.h"
#include "core/support/console.h"
#include "core/support/numgrammar.h"
#include "core/engine/observer.h"
#include "core/support/numtext.h"
#include "core/support/errors.h"
#include "core/support/textfile.h"
#include "core/predict/recall.h"

namespace duolink {

namespace {

constexpr int kRows = 9;
constexpr int kCols = 8;
constexpr int kBlockCells = kRows * kCols;
using Block = std::array<double, kBlockCells>;

// The flat index of cell (i, j) with the current row stride. An index outside
// the store would mean a corrupt stride; refuse it rather than touch memory
// that is not the matrix.
int blockCell(const EngineState& engine, int i, int j)
{
    int index = engine.cellIndex(i, j);
    if (index < 1 || index > kMatrixCells)
        throw RunError("Range check error");
    return index;
}

// ---------------------------------------------------------------------------
// Reading

// The file's bytes, read in chunks as they are needed. A Ctrl-Z byte ends the
// file just as the real end does.
class ByteSource {
public:
    explicit ByteSource(int fd) : fd_(fd) {}

    // The next byte (0..255), or -1 at the end of the file.
    int peek()
    {
        if (ended_)
            return -1;
        if (pos_ == len_ && !fill())
            return -1;
        unsigned char c = static_cast<unsigned char>(buf_[pos_]);
        if (c == kEndOfFileMark) {
            ended_ = true;
            return -1;
        }
        return c;
    }
    void advance() { ++pos_; }
    // True when reading stopped at the size limit.
    bool tooLarge() const { return tooLarge_; }

private:
    static constexpr unsigned char kEndOfFileMark = 26;
    // Far beyond any layout of 72 numbers: a larger file ends here rather
    // than being read to its end.
    static constexpr size_t kLargestFile = 1u << 20;

    bool fill()
    {
        for (;;) {
            ssize_t n = ::read(fd_, buf_, sizeof buf_);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throwIoError(errno);
            }
            pos_ = 0;
            len_ = static_cast<size_t>(n);
            total_ += len_;
            if (total_ > kLargestFile) {
                tooLarge_ = true;
                len_ = 0;
            }
            if (len_ == 0)
                ended_ = true;
            return len_ > 0;
        }
    }

    int fd_;
    char buf_[8192];
    size_t pos_ = 0;
    size_t len_ = 0;
    size_t total_ = 0;
    bool ended_ = false;
    bool tooLarge_ = false;
};

constexpr size_t kMaxTokenLength = 64;
// Powers of ten from here on give an infinity, and from the negative limit
// down a zero, whatever the digits are.
constexpr long kInfinitePower = 5120;

[[noreturn]] void invalidNumber()
{
    throw RunError(kInvalidNumeric);
}

// One token of a matrix file as a number. Unlike elsewhere, a token with no
// mantissa digit ("." or "-e5") reads as 0; a sign alone is no number.
double parseMatrixNumber(std::string_view token)
{
    const NumberScan scan = scanNumber(token);
    if (scan.length != token.size() || (scan.sign && token.size() == 1))
        invalidNumber();
    if (scan.digits == 0)
        return 0.0;

    std::string digits;
    for (char c : token.substr(0, token.find_first_of("eE")))
        if (isDigit(c))
            digits += c;
    long power = scan.exponentValue - static_cast<long>(scan.fractionDigits);
    if (power >= kInfinitePower)
        return scan.negative ? -HUGE_VAL : HUGE_VAL;
    if (power <= -kInfinitePower)
        return 0.0;

    // digits x 10^power, correctly rounded to extended precision.
    std::string text = digits + 'e' + std::to_string(power);
    long double value = strtold_l(text.c_str(), nullptr, cLocale());
    if (std::isinf(value))
        throw RunError(kOverflow);
    double stored = storeDouble(value);
    return scan.negative ? -stored : stored;
}

// A file holds the 72 numbers of the block, nine rows of eight in any layout
// of blanks and line ends; any other count is refused, so that a short, long
// or empty file (or a number too long to read whole) never loads shifted.
Block readBlock(const std::string& path)
{
    FileDescriptor fd(openInputFile(path));
    if (fd.get() < 0)
        throwIoError(errno);
    ByteSource in(fd.get());
    Block block{};
    size_t count = 0;
    char token[kMaxTokenLength];
    for (size_t length; (length = readToken(in, token, kMaxTokenLength)) > 0; ++count)
        if (count < block.size())
            block[count] = parseMatrixNumber(std::string_view(token, length));
    if (const int error = fd.close())
        throwIoError(error);
    // The caller names the file: "m.vmat2: the file holds 71 numbers; ...".
    if (in.tooLarge())
        throw RunError("the file is too large to be a matrix file");
    if (count != block.size())
        throw RunError("the file holds " + std::to_string(count) + (count == 1 ? " number" : " numbers") +
                       "; a matrix file holds " + std::to_string(block.size()));
    return block;
}

// ---------------------------------------------------------------------------
// Writing

// The 10-character field, or a 9-character "+Inf"/"-Inf".
void appendField(std::string& out, double value)
{
    if (std::isfinite(value)) {
        appendExpText(out, value, 2);
        return;
    }
    size_t start = out.size();
    appendExpText(out, value, 2);
    constexpr size_t kWidth = 9;
    size_t length = out.size() - start;
    if (length < kWidth)
        out.insert(start, kWidth - length, ' ');
}

std::string blockText(const EngineState& engine)
{
    std::string text;
    text.reserve(kRows * (kCols * 11 + 2));
    for (int i = 1; i <= kRows; ++i) {
        for (int j = 1; j <= kCols; ++j) {
            appendField(text, engine.state().wMatrix[blockCell(engine, i, j)]);
            text += ' ';
        }
        text += "\r\n";
    }
    return text;
}

} // namespace

void saveMatrixFile(EngineState& engine, const std::string& path)
{
    engine.useWindowShapeBeforeAnyJob();
    const std::string text = blockText(engine);
    withFileContext(path, [&] {
        if (int error = replaceFile(path, text))
            throwIoError(error);
    });
}

void loadMatrixFile(EngineState& engine, const std::string& path)
{
    // Everything is read and checked before the first cell changes.
    const Block block = withFileContext(path, [&] { return readBlock(path); });
    engine.useWindowShapeBeforeAnyJob();
    int index[kBlockCells];
    for (int i = 1; i <= kRows; ++i)
        for (int j = 1; j <= kCols; ++j)
            index[(i - 1) * kCols + (j - 1)] = blockCell(engine, i, j);
    // In block order, so that rows overlapping at a small stride end with
    // the value read later.
    for (int k = 0; k < kBlockCells; ++k)
        engine.setWeight(index[k], block[k]);
    printMatrixRows(engine, engine.state().wMatrix, kRows, kCols);
    if (engine.state().trainingObserver)
        engine.state().trainingObserver->matrixLoaded();
}

void printMatrixRows(EngineState& engine, const Matrix& m, int rows, int cols)
{
    std::string line;
    for (int i = 1; i <= rows; ++i) {
        line.clear();
        for (int j = 1; j <= cols; ++j)
            appendRealTextWD(line, m[blockCell(engine, i, j)], 9, 3);
        engine.consoleWrite(line);
        engine.consoleWriteLn("");
    }
}

} // namespace duolink
