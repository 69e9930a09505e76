#include "core/analysis/jobtexts.h"

#include <charconv>

#include "core/numgrammar.h"
#include "core/numtext.h"

namespace duolink::analysis {

std::string jobDataText(const PatternPairs& list, bool bSide)
{
    std::string out;
    out.reserve(list.size() * 96 + 8);
    for (const PatternPair& pair : list) {
        const TPatternVector& v = bSide ? pair.b : pair.a;
        const size_t lineStart = out.size();
        for (int e = 1; e <= 9; ++e) {
            const size_t start = out.size();
            appendRealTextWD(out, v[e], 9, 3);
            // A value filling its whole field would run into the one before.
            if (start > lineStart && out[start] != ' ')
                out.insert(start, 1, ' ');
        }
        out += "\r\n";
    }
    out += "9999\r\n";
    return out;
}

std::string patternListCsv(const PatternPairs& list)
{
    std::string out(kPatternListHeader);
    out += '\n';
    char buffer[32];
    for (const PatternPair& pair : list) {
        for (int k = 0; k < 16; ++k) {
            const double value = k < 8 ? pair.a[k + 1] : pair.b[k - 7];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
            if (k > 0)
                out += ',';
            out.append(buffer, result.ptr);
        }
        out += '\n';
    }
    return out;
}

} // namespace duolink::analysis
