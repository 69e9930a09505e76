#include "core/analysis/jobtexts.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/support/numgrammar.h"
#include "core/support/numtext.h"
#include "core/patterns/patterns.h"

namespace duolink::analysis {

std::string jobDataText(const PatternPairs& list, bool bSide)
{
    std::string out;
    out.reserve(list.size() * 96 + 8);
    constexpr size_t kShort = 32;
    // Random sets hold few distinct values: the texts of the last two are
    // kept, the older one replaced first, each with the blank that parts it
    // from the value before when it fills its whole field, and room to be
    // copied a fixed number of bytes at a time.
    struct Kept {
        std::uint64_t bits = ~0ull;
        std::string text;
        bool parted = false;
        char head[40] = {}; // a text of up to 32 characters, blank first when parted
        size_t headLength = 0;
    };
    Kept kept[2];
    int older = 0;
    const auto textOf = [&](double value) -> const Kept& {
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (const Kept& k : kept)
            if (k.bits == bits)
                return k;
        Kept& fresh = kept[older];
        older = 1 - older;
        fresh.bits = bits;
        fresh.text.clear();
        appendRealTextWD(fresh.text, value, 9, 3);
        // A value filling its whole field would run into the one before.
        fresh.parted = fresh.text.front() != ' ';
        fresh.headLength = fresh.text.size() + fresh.parted;
        if (fresh.headLength <= kShort) {
            fresh.head[0] = ' ';
            std::memcpy(fresh.head + fresh.parted, fresh.text.data(), fresh.text.size());
        }
        return fresh;
    };
    for (const PatternPair& pair : list) {
        const TPatternVector& v = bSide ? pair.b : pair.a;
        char line[9 * kShort + 2];
        size_t length = 0;
        for (int e = 1; e <= 9; ++e) {
            const Kept& k = textOf(v[e]);
            const size_t skip = e == 1 && k.parted; // the first value has none before it
            if (k.headLength <= kShort) {
                std::memcpy(line + length, k.head + skip, kShort);
                length += k.headLength - skip;
                continue;
            }
            out.append(line, length);
            length = 0;
            if (!skip && k.parted)
                out += ' ';
            out += k.text;
        }
        line[length++] = '\r';
        line[length++] = '\n';
        out.append(line, length);
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
