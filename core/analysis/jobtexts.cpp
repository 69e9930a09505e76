#include "core/analysis/jobtexts.h"

#include "core/support/numgrammar.h"
#include "core/support/numtext.h"
#include "core/patterns/patterns.h"

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
    PatternList store;
    store.loadPatternList(list);
    return patternListText(store);
}

} // namespace duolink::analysis
