#include "core/predict/matrixfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A file descriptor that is always closed.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports a failure of the close itself.
    void close()
    {
        int fd = fd_;
        fd_ = -1;
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
            throwIoError(errno);
    }

private:
    int fd_;
};

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

private:
    static constexpr unsigned char kEndOfFileMark = 26;

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
            if (n == 0)
                ended_ = true;
            return n > 0;
        }
    }

    int fd_;
    char buf_[8192];
    size_t pos_ = 0;
    size_t len_ = 0;
    bool ended_ = false;
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

// The next value: 0 when only blanks and control characters are left.
double readValue(ByteSource& in)
{
    char token[kMaxTokenLength];
    const size_t length = readToken(in, token, kMaxTokenLength);
    return length == 0 ? 0.0 : parseMatrixNumber(std::string_view(token, length));
}

// Drops the rest of the line up to and including its LF.
void skipLine(ByteSource& in)
{
    for (int c = in.peek(); c >= 0; c = in.peek()) {
        in.advance();
        if (c == '\n')
            return;
    }
}

Block readBlock(const std::string& path)
{
    Fd fd(openInputFile(path));
    if (fd.get() < 0)
        throwIoError(errno);
    ByteSource in(fd.get());
    Block block{};
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c)
            block[r * kCols + c] = readValue(in);
        skipLine(in);
    }
    fd.close();
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
            appendField(text, engine.wMatrix[blockCell(engine, i, j)]);
            text += ' ';
        }
        text += "\r\n";
    }
    return text;
}

void writeAllOrRaise(int fd, std::string_view data)
{
    size_t written = 0;
    if (int err = writeAll(fd, data, written))
        throwIoError(err);
}

// Writes straight into the file, creating or emptying it.
void writeInPlace(const std::string& path, std::string_view data)
{
    Fd fd(openOutputFile(path));
    if (fd.get() < 0)
        throwIoError(errno);
    writeAllOrRaise(fd.get(), data);
    fd.close();
}

// A new file with a unique name next to the target; removed again unless
// it was renamed into place.
class TempFile {
public:
    TempFile(const std::string& folder, const std::string& baseName, mode_t mode)
    {
        static std::minstd_rand random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
        static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        // Keep the name short enough for any folder that can hold the target.
        const std::string stem = folder + "/." + baseName.substr(0, 200) + '.';
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = stem;
            for (int k = 0; k < 6; ++k)
                name += kChars[random() % (sizeof kChars - 1)];
            int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) {
                fd_ = fd;
                name_ = std::move(name);
                return;
            }
            if (errno != EEXIST) {
                error_ = errno;
                return;
            }
        }
        error_ = EEXIST;
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty())
            ::unlink(name_.c_str());
    }

    bool created() const { return fd_ >= 0; }
    int error() const { return error_; }
    int fd() const { return fd_; }

    // Flushes the content to the disk, closes the file and puts it in the
    // target's place.
    void commit(const std::string& target)
    {
        if (::fsync(fd_) != 0)
            throwIoError(errno);
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            throwIoError(errno);
        if (::rename(name_.c_str(), target.c_str()) != 0)
            throwIoError(errno);
        name_.clear();
    }

private:
    int fd_ = -1;
    int error_ = 0;
    std::string name_;
};

// Replaces the file at `path` by `data` as a whole: the new content goes to a
// temporary file that takes the old file's place only once it is complete.
void replaceFile(const std::string& path, std::string_view data)
{
    if (path.empty())
        throwIoError(ENOENT);

    // Through a symbolic link the file it points to is replaced, not the link.
    std::string target = path;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    bool exists = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throwIoError(EISDIR);
        if (!S_ISREG(st.st_mode)) {
            // Devices and pipes cannot be replaced; write to them directly.
            writeInPlace(target, data);
            return;
        }
        // A file the user may not write stays protected.
        if (::access(target.c_str(), W_OK) != 0)
            throwIoError(errno);
        exists = true;
    } else if (errno != ENOENT) {
        throwIoError(errno);
    }

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    std::string baseName = slash == std::string::npos ? target : target.substr(slash + 1);
    if (baseName.empty())
        throwIoError(EISDIR);

    TempFile temp(folder, baseName, exists ? 0600 : 0666);
    if (!temp.created()) {
        // A writable file in a folder where nothing may be created can still
        // be written over.
        if (exists && (temp.error() == EACCES || temp.error() == EPERM)) {
            writeInPlace(target, data);
            return;
        }
        throwIoError(temp.error());
    }
    if (exists) {
        // Keep the replaced file's owner where allowed, and its permissions.
        if (::fchown(temp.fd(), st.st_uid, st.st_gid) != 0 && errno == EPERM)
            (void)::fchown(temp.fd(), static_cast<uid_t>(-1), st.st_gid);
        if (::fchmod(temp.fd(), st.st_mode & 07777) != 0)
            throwIoError(errno);
    }
    writeAllOrRaise(temp.fd(), data);
    temp.commit(target);

    // Make the new name itself durable; the content is already complete.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        (void)::fsync(dir.get());
}

} // namespace

void saveMatrixFile(EngineState& engine, const std::string& path)
{
    engine.useWindowShapeBeforeAnyJob();
    const std::string text = blockText(engine);
    withFileContext(path, [&] { replaceFile(path, text); });
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
        engine.wMatrix[index[k]] = block[k];
    printMatrixRows(engine, engine.wMatrix, kRows, kCols);
    if (engine.trainingObserver)
        engine.trainingObserver->matrixLoaded();
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
