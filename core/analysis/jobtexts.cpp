#include "core/analysis/jobtexts.h"

#include <bit>
#include <cstdint>

#include "core/support/numgrammar.h"
#include "core/support/numtext.h"
#include "core/patterns/patterns.h"

namespace duolink::analysis {

std::string jobDataText(const PatternPairs& list, bool bSide)
{
    std::string out;
    out.reserve(list.size() * 96 + 8);
    // Random sets hold few distinct values: the texts of the last two are
    // kept, the older one replaced first.
    struct Kept {
        std::uint64_t bits = ~0ull;
        std::string text;
    };
    Kept kept[2];
    int older = 0;
    const auto textOf = [&](double value) -> const std::string& {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (const Kept& k : kept)
            if (k.bits == bits)
                return k.text;
        Kept& fresh = kept[older];
        older = 1 - older;
        fresh.bits = bits;
        fresh.text.clear();
        appendRealTextWD(fresh.text, value, 9, 3);
        return fresh.text;
    };
    for (const PatternPair& pair : list) {
        const TPatternVector& v = bSide ? pair.b : pair.a;
        for (int e = 1; e <= 9; ++e) {
            const std::string& text = textOf(v[e]);
            // A value filling its whole field would run into the one before.
            if (e > 1 && text.front() != ' ')
                out += ' ';
            out += text;
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
