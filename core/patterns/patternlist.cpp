// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/numgrammar.h"
#include "core/support/textfile.h"

namespace duolink {
namespace {

constexpr int kValuesPerPair = 16;
// Far beyond any real list (256 lines of sixteen numbers and comments).
constexpr size_t kLargestFile = 64u << 20;

// --- Values --------------------------------------------------------------------------

enum class ValueText { Number, NotNumber, OutOfRange };

// A whole value text in the number grammar the fields use. Unlike a typed
// field, nothing may follow the number.
ValueText readValue(std::string_view text, double& value)
{
    if (text.empty() || decimalPrefix(text) != text.size())
        return ValueText::NotNumber;
    return convertDecimal(text, value) == DecimalRange::InRange ? ValueText::Number : ValueText::OutOfRange;
}

// --- Messages ------------------------------------------------------------------------

// A cell as a message quotes it: short, and without control or non-ASCII
// bytes, which could garble a terminal or a message box.
std::string quoted(std::string_view text)
{
    constexpr size_t kShown = 24;
    std::string out = "\"";
    for (char c : text.substr(0, kShown))
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (text.size() > kShown)
        out += "...";
    return out + "\"";
}

[[noreturn]] void fail(std::string message)
{
    throw PatternListError(std::move(message));
}

// The value of a cell; `where` names its place for the message.
double valueOf(std::string_view cell, const std::string& where)
{
    double value = 0;
    switch (readValue(cell, value)) {
    case ValueText::Number: break;
    case ValueText::NotNumber: fail(where + ": " + quoted(cell) + " is not a number");
    case ValueText::OutOfRange: fail(where + ": " + quoted(cell) + " is too large");
    }
    return value;
}

std::string columnName(int cell)
{
    return (cell < 8 ? "A" : "B") + std::to_string(cell % 8 + 1);
}

std::string at(std::string_view file, size_t line)
{
    return std::string(file) + ", line " + std::to_string(line);
}

std::string valuesText(size_t n)
{
    return std::to_string(n) + (n == 1 ? " value" : " values");
}

void checkPairCount(size_t pairs, std::string_view file)
{
    if (pairs > kPatternCapacity)
        fail(std::string(file) + " holds " + std::to_string(pairs) + " pairs; the list takes at most " +
             std::to_string(kPatternCapacity));
}

// --- Lines ---------------------------------------------------------------------------

// The lines of a text, numbered from 1, without their line ends (LF or
// CR LF) and without a UTF-8 byte-order mark at the start.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text)
    {
        if (text_.starts_with("\xEF\xBB\xBF"))
            text_.remove_prefix(3);
    }
    bool next(std::string_view& line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    size_t number() const { return number_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// --- The .csv form -------------------------------------------------------------------

bool equalsIgnoringCase(std::string_view x, std::string_view y)
{
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
               return std::tolower(static_cast<unsigned char>(p)) == std::tolower(static_cast<unsigned char>(q));
           });
}


constexpr char kSeparators[] = {',', ';', '\t'};

// The cells of a data line, split at `separator` as RFC 4180 has it: a cell
// in double quotes (as spreadsheets export) is its contents, in which a
// separator belongs to the cell. Blanks around a cell are dropped. Returns the
// number of cells and keeps the first cells.size(); a quote that is not closed
// gives the column it opens in as `openQuote`.
template <size_t N>
size_t splitCells(std::string_view line, char separator, std::array<std::string_view, N>& cells, size_t& openQuote)
{
    openQuote = 0;
    size_t count = 0;
    size_t pos = 0;
    for (;;) {
        while (pos < line.size() && isBlank(line[pos]) && line[pos] != separator)
            ++pos;
        const size_t start = pos;
        std::string_view cell;
        if (pos < line.size() && line[pos] == '"') {
            // "" inside stands for one quote; no number holds one, so the
            // cell is left as it stands and refused as a number.
            size_t close = pos + 1;
            while (close < line.size() && (line[close] != '"' || (close + 1 < line.size() && line[close + 1] == '"')))
                close += line[close] == '"' ? 2 : 1;
            if (close >= line.size()) {
                openQuote = count + 1;
                return count + 1;
            }
            cell = line.substr(pos + 1, close - pos - 1);
            pos = close + 1;
            while (pos < line.size() && isBlank(line[pos]) && line[pos] != separator)
                ++pos;
            if (pos < line.size() && line[pos] != separator) {
                // Text after the closing quote: the cell is taken as written.
                pos = std::min(line.find(separator, pos), line.size());
                cell = trimmed(line.substr(start, pos - start));
            }
        } else {
            pos = std::min(line.find(separator, pos), line.size());
            cell = trimmed(line.substr(start, pos - start));
        }
        if (count < cells.size())
            cells[count] = cell;
        ++count;
        if (pos >= line.size())
            return count;
        ++pos; // the separator
    }
}

// The separator of a data line: the one that splits it into `expected`
// values, else the one that splits it most (the line is wrong either way).
char separatorOf(std::string_view line, size_t expected = kValuesPerPair)
{
    char best = kSeparators[0];
    size_t bestCount = 0;
    for (char s : kSeparators) {
        std::array<std::string_view, 0> none;
        size_t openQuote = 0;
        const size_t count = splitCells(line, s, none, openQuote);
        if (count == expected)
            return s;
        if (count > bestCount)
            best = s, bestCount = count;
    }
    return best;
}

// A cell that looks like a number: it starts with a digit, a sign or a point,
// or it is "nan" or "inf" in any letter case.
bool looksLikeNumber(std::string_view cell)
{
    cell = trimmed(cell);
    if (cell.empty())
        return false;
    const char c = cell.front();
    if (isDigit(c) || c == '+' || c == '-' || c == '.')
        return true;
    return equalsIgnoringCase(cell, "nan") || equalsIgnoringCase(cell, "inf") ||
           equalsIgnoringCase(cell, "infinity");
}

// A first line is a header only when none of its cells looks like a number;
// any other line is data, and a bad one is refused rather than skipped.
bool isHeader(std::string_view line)
{
    // Cells in quotes are judged by what they hold.
    std::array<std::string_view, 256> cells{};
    size_t openQuote = 0;
    const size_t count = std::min(splitCells(line, separatorOf(line), cells, openQuote), cells.size());
    return std::none_of(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(count), looksLikeNumber);
}

// --- Headers that give the shape ------------------------------------------------------

using HeaderCells = std::array<std::string_view, 256>;

// A cell "a<k>" or "b<k>" in any letter case: its side ('a', 'b') and k.
bool shapeCell(std::string_view cell, char& side, int& k)
{
    if (cell.size() < 2 || cell.size() > 4)
        return false;
    side = static_cast<char>(std::tolower(static_cast<unsigned char>(cell[0])));
    if (side != 'a' && side != 'b')
        return false;
    const auto result = std::from_chars(cell.data() + 1, cell.data() + cell.size(), k);
    return result.ec == std::errc() && result.ptr == cell.data() + cell.size();
}

enum class HeaderKind { Free, Shape };

// A header line whose cells run a1..aN, b1..bM gives the shape. Any other
// header is free text and skipped.
HeaderKind headerShape(std::string_view line, std::string_view file, ListShape& shape)
{
    HeaderCells cells{};
    size_t openQuote = 0;
    const size_t count = splitCells(line, separatorOf(line, 0), cells, openQuote);
    if (openQuote > 0 || count > cells.size())
        return HeaderKind::Free;
    int as = 0, bs = 0;
    bool ordered = true;
    for (size_t c = 0; c < count; ++c) {
        char side = 0;
        int k = 0;
        if (!shapeCell(trimmed(cells[c]), side, k))
            return HeaderKind::Free;
        int& seen = side == 'a' ? as : bs;
        ordered = ordered && k == seen + 1 && (side == 'b' || bs == 0);
        ++seen;
    }
    // Column names that give no shape are free text, as any header was
    // before headers gave shapes.
    if (!ordered || as == 0 || bs == 0)
        return HeaderKind::Free;
    shape = {as, bs};
    const std::string problem = shapeProblem(shape);
    if (!problem.empty())
        fail(std::string(file) + ": " + problem);
    return HeaderKind::Shape;
}

// The first line with anything on it, or "".
std::string_view firstContentLine(std::string_view text)
{
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::string_view content = trimmed(line);
        if (!content.empty() && content.front() != '#')
            return content;
    }
    return {};
}

std::string shapeText(ListShape shape)
{
    return std::to_string(shape.n) + " + " + std::to_string(shape.m);
}

PatternPair pairFromCells(const std::array<std::string_view, kValuesPerPair>& cells, std::string_view file,
                          size_t line)
{
    PatternPair pair;
    for (int k = 0; k < kValuesPerPair; ++k) {
        const std::string_view cell = trimmed(cells[k]);
        const std::string where = at(file, line) + ", column " + columnName(k);
        if (cell.empty())
            fail(where + " is empty");
        (k < 8 ? pair.a[k + 1] : pair.b[k - 7]) = valueOf(cell, where);
    }
    pair.a[9] = parityOf(pair.a);
    pair.b[9] = parityOf(pair.b);
    return pair;
}

// --- The job data form ---------------------------------------------------------------

struct JobDataFile {
    std::vector<TPatternVector> patterns; // as many as the store takes
    size_t count = 0;                     // all of them
};

// The first eight values of each line of a job data file, up to its 9999 line.
JobDataFile parseJobDataFile(std::string_view text, std::string_view file, char side)
{
    JobDataFile data;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        std::array<std::string_view, 8> words{};
        size_t count = 0;
        size_t pos = 0;
        while (count < words.size()) {
            while (pos < line.size() && isBlank(line[pos]))
                ++pos;
            if (pos >= line.size())
                break;
            const size_t start = pos;
            while (pos < line.size() && !isBlank(line[pos]))
                ++pos;
            words[count++] = line.substr(start, pos - start);
        }
        if (count == 0)
            continue;
        TPatternVector v{};
        for (size_t k = 0; k < count; ++k) {
            v[k + 1] = valueOf(words[k], at(file, lines.number()) + ", column " + side + std::to_string(k + 1));
            // The engine ends the list at a pattern that starts with 9999.
            if (k == 0 && v[1] == 9999.0)
                return data;
        }
        if (count < 8)
            fail(at(file, lines.number()) + " has " + valuesText(count) + ", 8 expected");
        v[9] = parityOf(v);
        if (++data.count <= kPatternCapacity)
            data.patterns.push_back(v);
    }
    fail(std::string(file) + " ends without the 9999 line that closes the list");
}

// --- Files ---------------------------------------------------------------------------

std::string errorText(int err)
{
    switch (err) {
    case ENOENT: return "the file does not exist";
    case EISDIR: return "it is a folder, not a file";
    case kNotRegularFile: return "not a regular file";
    case EACCES:
    case EPERM: return "permission denied";
    default: return std::strerror(err);
    }
}

// The whole file, or a PatternListError. Only regular files are read.
std::string readWholeFile(const std::string& path, std::string_view displayName)
{
    const std::string prefix = std::string(displayName) + ": ";
    const int fd = openInputFile(path);
    if (fd < 0)
        fail(prefix + errorText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(prefix + errorText(errno));
        if (n == 0)
            return content;
        if (content.size() + static_cast<size_t>(n) > kLargestFile)
            fail(prefix + "the file is too large for a pattern list");
        content.append(buffer, static_cast<size_t>(n));
    }
}

bool hasCsvExtension(std::string_view name)
{
    return name.size() >= 4 && equalsIgnoringCase(name.substr(name.size() - 4), ".csv");
}

// A file that is not named .csv is a job data file when its first line with
// anything on it has no separator of the .csv form.
bool looksLikeJobData(std::string_view text)
{
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        return line.find_first_of(",;\t") == std::string_view::npos;
    }
    return false;
}

} // namespace

PatternPairs parsePatternList(std::string_view text, std::string_view fileName)
{
    PatternPairs list;
    size_t pairs = 0;
    char separator = 0;
    bool first = true;
    bool headed = false;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#')
            continue;
        if (std::exchange(first, false) && isHeader(content)) {
            headed = true;
            ListShape shape;
            if (headerShape(content, fileName, shape) == HeaderKind::Shape && !shape.fixed())
                fail(std::string(fileName) + " holds pairs of " + shapeText(shape) +
                     " values; only lists of 8 + 8 values are taken here");
            continue;
        }
        if (!separator)
            separator = separatorOf(content);

        std::array<std::string_view, kValuesPerPair> cells{};
        size_t openQuote = 0;
        const size_t count = splitCells(content, separator, cells, openQuote);
        if (openQuote > 0)
            fail(at(fileName, lines.number()) + ", column " +
                 (openQuote <= kValuesPerPair ? columnName(static_cast<int>(openQuote - 1))
                                              : std::to_string(openQuote)) +
                 ": a quote is not closed");
        if (count != kValuesPerPair)
            // A first line of another length is likely a list of another
            // shape: say how to give it.
            fail(at(fileName, lines.number()) + " has " + valuesText(count) + ", 16 expected" +
                 (pairs == 0 && !headed ? "; for pairs of other lengths, start the file with a header line "
                                          "a1,...,aN,b1,...,bM"
                                        : ""));
        PatternPair pair = pairFromCells(cells, fileName, lines.number());
        if (++pairs <= kPatternCapacity)
            list.push_back(pair);
    }
    checkPairCount(pairs, fileName);
    return list;
}

ShapedPairs parseShapedList(std::string_view text, std::string_view fileName)
{
    ListShape shape;
    const std::string_view head = firstContentLine(text);
    if (!isHeader(head) || headerShape(head, fileName, shape) == HeaderKind::Free || shape.fixed())
        return shapedFromFixed(parsePatternList(text, fileName));
    ShapedPairs list{shape, {}, {}};
    const size_t values = static_cast<size_t>(shape.n + shape.m);
    size_t pairs = 0;
    char separator = 0;
    bool first = true;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#' || std::exchange(first, false))
            continue;
        if (!separator)
            separator = separatorOf(content, values);
        HeaderCells cells{};
        size_t openQuote = 0;
        const size_t count = splitCells(content, separator, cells, openQuote);
        const std::string where = at(fileName, lines.number());
        if (openQuote > 0)
            fail(where + ", column " + std::to_string(openQuote) + ": a quote is not closed");
        if (count != values)
            fail(where + " has " + valuesText(count) + ", " + std::to_string(values) + " expected (the header's " +
                 shapeText(shape) + ")");
        if (++pairs > kPatternCapacity)
            continue;
        std::vector<double> a(static_cast<size_t>(shape.aLen())), b(static_cast<size_t>(shape.m));
        for (size_t k = 0; k < values; ++k) {
            const bool isA = k < static_cast<size_t>(shape.n);
            const size_t i = isA ? k : k - static_cast<size_t>(shape.n);
            const std::string column = where + ", column " + (isA ? "A" : "B") + std::to_string(i + 1);
            const std::string_view cell = trimmed(cells[k]);
            if (cell.empty())
                fail(column + " is empty");
            (isA ? a : b)[i] = valueOf(cell, column);
        }
        a.back() = parityOfValues(a.data(), shape.n);
        list.a.push_back(std::move(a));
        list.b.push_back(std::move(b));
    }
    checkPairCount(pairs, fileName);
    return list;
}

PatternPairs parseJobDataPair(std::string_view aText, std::string_view bText, std::string_view aName,
                             std::string_view bName)
{
    const JobDataFile a = parseJobDataFile(aText, aName, 'A');
    const JobDataFile b = parseJobDataFile(bText, bName, 'B');
    if (a.count != b.count)
        fail(std::string(aName) + " has " + std::to_string(a.count) + " pairs but " + std::string(bName) +
             " has " + std::to_string(b.count));
    checkPairCount(a.count, aName);
    PatternPairs list(a.count);
    for (size_t p = 0; p < a.count; ++p)
        list[p] = {a.patterns[p], b.patterns[p]};
    return list;
}

namespace {

// A job data file `text` read from `path`, with the other file of its pair.
PatternPairs readJobDataPair(const std::string& path, const std::string& text, std::string_view displayName)
{
    // The other file of the pair lies beside the chosen one.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string_view chosen = std::string_view(path).substr(folder.size());
    if (equalsIgnoringCase(chosen, kBDataFileName)) {
        const std::string aText = readWholeFile(folder + kADataFileName, kADataFileName);
        return parseJobDataPair(aText, text, kADataFileName, displayName);
    }
    const std::string bPath = folder + kBDataFileName;
    if (::access(bPath.c_str(), F_OK) != 0)
        fail(std::string(kBDataFileName) + " is missing beside " + std::string(displayName));
    const std::string bText = readWholeFile(bPath, kBDataFileName);
    return parseJobDataPair(text, bText, displayName, kBDataFileName);
}

} // namespace

PatternPairs readPatternListFile(const std::string& path, std::string_view displayName)
{
    const std::string text = readWholeFile(path, displayName);
    if (hasCsvExtension(path) || !looksLikeJobData(text))
        return parsePatternList(text, displayName);
    return readJobDataPair(path, text, displayName);
}

ShapedPairs readShapedListFile(const std::string& path, std::string_view displayName)
{
    const std::string text = readWholeFile(path, displayName);
    if (hasCsvExtension(path) || !looksLikeJobData(text))
        return parseShapedList(text, displayName);
    return shapedFromFixed(readJobDataPair(path, text, displayName));
}

std::string patternListText(const PatternList& list)
{
    std::string out(kPatternListHeader);
    out += '\n';
    char buffer[32];
    for (int p = 1; p <= list.patternCount; ++p) {
        for (int k = 0; k < kValuesPerPair; ++k) {
            const double value = k < 8 ? list.aPatterns[p][k + 1] : list.bPatterns[p][k - 7];
            if (!std::isfinite(value))
                fail("pair " + std::to_string(p) + ", " + columnName(k) +
                     " is too large to be saved; change it and press Update");
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
            if (k > 0)
                out += ',';
            out.append(buffer, result.ptr);
        }
        out += '\n';
    }
    return out;
}

} // namespace duolink
