#include "app/patterns.h"

#include "engine/textfile.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace duolink {

std::array<TPatternVector, kPatternCapacity + 1> aPatterns{};
std::array<TPatternVector, kPatternCapacity + 1> bPatterns{};
int patternCount = 0;
int currentIndex = 0;

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

double textToReal(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        size_t j = i + 1;
        size_t frac = 0;
        while (j < text.size() && isDigit(text[j]))
            ++j, ++frac;
        // A lone point counts only with digits on one side of it.
        if (digits + frac > 0) {
            digits += frac;
            i = j;
        }
    }
    if (digits == 0)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        size_t expDigits = 0;
        while (j < text.size() && isDigit(text[j]))
            ++j, ++expDigits;
        if (expDigits > 0)
            i = j;
    }
    double value = 0.0;
    convertDecimal(text.substr(start, i - start), value);
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

bool listAdd(const TPatternVector& a, const TPatternVector& b)
{
    if (patternCount >= kPatternCapacity)
        return false;
    ++patternCount;
    currentIndex = patternCount;
    aPatterns[patternCount] = a;
    bPatterns[patternCount] = b;
    return true;
}

bool listUpdate(const TPatternVector& a, const TPatternVector& b)
{
    if (currentIndex < 1 || currentIndex > patternCount)
        return false;
    aPatterns[currentIndex] = a;
    bPatterns[currentIndex] = b;
    return true;
}

bool listDelete()
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

bool listNext()
{
    if (currentIndex == 0 || currentIndex + 1 > kPatternCapacity)
        return false;
    ++currentIndex;
    return true;
}

bool listPrevious()
{
    if (currentIndex <= 1)
        return false;
    --currentIndex;
    return true;
}

void listReset()
{
    patternCount = 0;
    currentIndex = 0;
}

} // namespace duolink
