// Pattern list files. The input is a .csv list; an input that holds a
// section separator is also read as a job data file pair (A file, B file).
// - A bad file raises PatternListError naming the file, nothing else.
// - A list read has at most 256 pairs with their parity elements computed.
// - A list read, put into the store and saved reads back bit for bit.
#include <cstring>

#include "core/patterns/patternlist.h"
#include "fuzzsupport.h"

using namespace duolink;
using namespace duolink::fuzz;

namespace {

void checkList(const PatternPairs& list)
{
    FUZZ_CHECK(list.size() <= static_cast<size_t>(kPatternCapacity));
    for (const PatternPair& pair : list) {
        FUZZ_CHECK(pair.a[9] == parityOf(pair.a));
        FUZZ_CHECK(pair.b[9] == parityOf(pair.b));
    }
}

bool sameBits(const PatternPairs& x, const PatternPairs& y)
{
    return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(PatternPair)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text = asText(data, size);
    PatternPairs list;
    try {
        list = parsePatternList(text, "in.csv");
    } catch (const PatternListError& e) {
        FUZZ_CHECK(std::string_view(e.what()).starts_with("in.csv"));
    }
    checkList(list);
    PatternList store;
    store.loadPatternList(list);
    FUZZ_CHECK(store.patternCount == static_cast<int>(list.size()));
    const PatternPairs again = parsePatternList(patternListText(store), "saved.csv");
    FUZZ_CHECK(sameBits(list, again));

    const std::vector<std::string_view> sections = splitSections(text);
    if (sections.size() >= 2) {
        try {
            checkList(parseJobDataPair(sections[0], sections[1], "a.dat", "b.dat"));
        } catch (const PatternListError& e) {
            const std::string_view message = e.what();
            FUZZ_CHECK(message.starts_with("a.dat") || message.starts_with("b.dat"));
        }
    }
    return 0;
}
