// SPDX-License-Identifier: GPL-3.0-or-later
// Lists of any shape: the limits, the saved text and the job data files.
#include "core/patterns/shapedlist.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/numtext.h"

namespace duolink {

std::string shapeProblem(ListShape shape)
{
    const std::string cells = std::to_string(shape.aLen()) + " x " + std::to_string(shape.m);
    if (shape.n < 1 || shape.m < 1)
        return "a pair needs at least one A value and one B value";
    if (shape.aLen() > kLongestPattern)
        return std::to_string(shape.n) + " A values are too many: a pair takes at most " +
               std::to_string(kLongestPattern - 1) + " (" + std::to_string(kLongestPattern) +
               " with the parity element)";
    if (shape.m > kLongestPattern)
        return std::to_string(shape.m) + " B values are too many: a pair takes at most " +
               std::to_string(kLongestPattern);
    if (shape.aLen() * shape.m > kLargestMatrix)
        return "pairs of " + std::to_string(shape.n) + " + " + std::to_string(shape.m) + " values need a matrix of " +
               cells + " = " + std::to_string(shape.aLen() * shape.m) + " cells; it holds at most " +
               std::to_string(kLargestMatrix) + " ((A values + 1) x B values)";
    return {};
}

double parityOfValues(const double* values, int count)
{
    const auto ones = std::count_if(values, values + count, [](double v) { return v > 0.5; });
    return ones % 2 == 1 ? 1.0 : 0.0;
}

ShapedPairs shapedFromFixed(const PatternPairs& pairs)
{
    ShapedPairs list;
    for (const PatternPair& pair : pairs) {
        list.a.emplace_back(pair.a.begin() + 1, pair.a.end());
        list.b.emplace_back(pair.b.begin() + 1, pair.b.begin() + 9);
    }
    return list;
}

PatternPairs fixedFromShaped(const ShapedPairs& list)
{
    PatternPairs pairs(list.size());
    for (size_t p = 0; p < list.size(); ++p) {
        std::copy(list.a[p].begin(), list.a[p].end(), pairs[p].a.begin() + 1);
        std::copy(list.b[p].begin(), list.b[p].end(), pairs[p].b.begin() + 1);
        pairs[p].b[9] = parityOf(pairs[p].b);
    }
    return pairs;
}

namespace {

PatternList fixedStore(const ShapedPairs& list)
{
    PatternList store;
    store.loadPatternList(fixedFromShaped(list));
    return store;
}

void appendShortest(std::string& out, double value, size_t pair, char side, int column)
{
    if (!std::isfinite(value))
        throw PatternListError("pair " + std::to_string(pair) + ", " + side + std::to_string(column) +
                               " is too large to be saved; change it and save again");
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

std::string shapedListText(const ShapedPairs& list)
{
    if (list.shape.fixed())
        return patternListText(fixedStore(list));
    std::string out;
    for (int k = 1; k <= list.shape.n + list.shape.m; ++k)
        (out += k > 1 ? "," : "") += (k <= list.shape.n ? "A" + std::to_string(k)
                                                        : "B" + std::to_string(k - list.shape.n));
    out += '\n';
    for (size_t p = 0; p < list.size(); ++p) {
        for (int k = 0; k < list.shape.n + list.shape.m; ++k) {
            const bool isA = k < list.shape.n;
            const int i = isA ? k : k - list.shape.n;
            if (k > 0)
                out += ',';
            appendShortest(out, (isA ? list.a : list.b)[p][static_cast<size_t>(i)], p + 1, isA ? 'A' : 'B', i + 1);
        }
        out += '\n';
    }
    return out;
}

std::string shapedDataText(const std::vector<std::vector<double>>& patterns, int length)
{
    // The engine reads min(length, 16) values from each line of a group: a
    // short last group is filled with zeros it reads but does not use.
    const int perLine = std::min(length, 16);
    const int groups = (length - 1) / 16 + 1;
    std::string text;
    std::string line;
    for (const std::vector<double>& pattern : patterns) {
        for (int g = 0; g < groups; ++g) {
            line.clear();
            for (int c = 0; c < perLine; ++c) {
                const size_t pos = static_cast<size_t>(16 * g + c);
                const size_t start = line.size();
                appendRealTextWD(line, pos < pattern.size() ? pattern[pos] : 0.0, 9, 3);
                // A value filling its whole field is kept apart from the one before.
                if (c > 0 && line[start] != ' ')
                    line.insert(start, 1, ' ');
            }
            (text += line) += "\r\n";
        }
    }
    return text + "9999\r\n";
}

void writeShapedJobFiles(const ShapedPairs& list, const std::filesystem::path& folder)
{
    if (list.shape.fixed()) {
        PatternList store = fixedStore(list);
        writeJobFiles(store, folder);
        return;
    }
    const auto path = [&](const char* name) { return folder.empty() ? std::string(name) : (folder / name).string(); };
    std::string failed;
    if (int error = replaceFilePair(path(kADataFileName), shapedDataText(list.a, list.shape.aLen()),
                                    path(kBDataFileName), shapedDataText(list.b, list.shape.bLen()), failed))
        throwIoError(error, failed == path(kADataFileName)   ? kADataFileName
                            : failed == path(kBDataFileName) ? kBDataFileName
                                                             : failed);
}

} // namespace duolink
