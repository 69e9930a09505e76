// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/patterns/patterns.h"

#include <algorithm>
#include <cstring>

#include "core/support/numgrammar.h"

namespace duolink {

double textToReal(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    text.remove_prefix(start);
    double value = 0.0;
    // A number beyond the range of a double reads as 0 like any other text
    // that gives no number: an infinity would be shown and written to the job
    // files, but the engine reads that text back as 0.
    if (size_t length = decimalPrefix(text))
        if (convertDecimal(text.substr(0, length), value) == DecimalRange::Overflow)
            value = 0.0;
    return value;
}

double parityOf(const TPatternVector& v)
{
    int count = 0;
    for (int i = 1; i <= 8; ++i)
        if (v[i] > 0.5)
            ++count;
    return (count % 2) ? 1.0 : 0.0;
}

TPatternVector vectorFromTexts(const std::array<std::string_view, 8>& texts)
{
    TPatternVector v{};
    for (int i = 1; i <= 8; ++i)
        v[i] = textToReal(texts[i - 1]);
    v[9] = parityOf(v);
    return v;
}

bool PatternList::listAdd(const TPatternVector& a, const TPatternVector& b)
{
    if (patternCount >= kPatternCapacity)
        return false;
    ++patternCount;
    currentIndex = patternCount;
    aPatterns[patternCount] = a;
    bPatterns[patternCount] = b;
    return true;
}

bool PatternList::listUpdate(const TPatternVector& a, const TPatternVector& b)
{
    if (currentIndex < 1 || currentIndex > patternCount)
        return false;
    aPatterns[currentIndex] = a;
    bPatterns[currentIndex] = b;
    return true;
}

bool PatternList::listDelete()
{
    if (currentIndex < 1 || currentIndex > patternCount)
        return false;
    for (int p = currentIndex; p < patternCount; ++p) {
        aPatterns[p] = aPatterns[p + 1];
        bPatterns[p] = bPatterns[p + 1];
    }
    --patternCount;
    if (currentIndex > patternCount)
        currentIndex = patternCount;
    return true;
}

bool PatternList::listNext()
{
    if (currentIndex == 0 || currentIndex + 1 > kPatternCapacity)
        return false;
    ++currentIndex;
    return true;
}

bool PatternList::listPrevious()
{
    if (currentIndex <= 1)
        return false;
    --currentIndex;
    return true;
}

void PatternList::listReset()
{
    patternCount = 0;
    currentIndex = 0;
}

void PatternList::loadPatternList(const PatternPairs& list)
{
    const int count = static_cast<int>(std::min<size_t>(list.size(), kPatternCapacity));
    for (int p = 1; p <= count; ++p) {
        aPatterns[p] = list[p - 1].a;
        bPatterns[p] = list[p - 1].b;
    }
    patternCount = count;
    currentIndex = count > 0 ? 1 : 0;
}

PatternPairs PatternList::pairs() const
{
    PatternPairs out(static_cast<size_t>(patternCount));
    for (int p = 1; p <= patternCount; ++p)
        out[p - 1] = {aPatterns[p], bPatterns[p]};
    return out;
}

namespace {
bool sameBits(const TPatternVector& x, const TPatternVector& y)
{
    return std::memcmp(x.data(), y.data(), sizeof(double) * x.size()) == 0;
}
} // namespace

bool PatternList::listChangedSinceFiles() const
{
    if (patternCount == 0)
        return false;
    if (listInFiles.size() != static_cast<size_t>(patternCount))
        return true;
    for (int p = 1; p <= patternCount; ++p)
        if (!sameBits(listInFiles[p - 1].a, aPatterns[p]) || !sameBits(listInFiles[p - 1].b, bPatterns[p]))
            return true;
    return false;
}

} // namespace duolink
