// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern list files. The input is a .csv list; an input that holds a
// section separator is also read as a job data file pair (A file, B file).
// - A bad file raises PatternListError naming the file, nothing else.
// - A list read has at most 256 pairs with their parity elements computed.
// - A list read, put into the store and saved reads back bit for bit.
// - A list of any shape (a header a1..aN,b1..bM) is within the engine's
//   limits, has the parity element on A, saves and reads back bit for bit,
//   and an 8 + 8 one is the list the fixed reader reads.
#include <cstring>

#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"
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

void checkShaped(std::string_view text, const PatternPairs& fixed, bool fixedRead)
{
    ShapedPairs list;
    try {
        list = parseShapedList(text, "in.csv");
    } catch (const PatternListError& e) {
        FUZZ_CHECK(std::string_view(e.what()).starts_with("in.csv"));
        return;
    }
    FUZZ_CHECK(shapeProblem(list.shape).empty() && list.size() <= static_cast<size_t>(kPatternCapacity));
    FUZZ_CHECK(list.a.size() == list.b.size());
    for (size_t p = 0; p < list.size(); ++p) {
        FUZZ_CHECK(list.a[p].size() == static_cast<size_t>(list.shape.aLen()));
        FUZZ_CHECK(list.b[p].size() == static_cast<size_t>(list.shape.bLen()));
        FUZZ_CHECK(list.a[p].back() == parityOfValues(list.a[p].data(), list.shape.n));
    }
    if (list.shape.fixed())
        FUZZ_CHECK(fixedRead && sameBits(fixedFromShaped(list), fixed));
    const ShapedPairs again = parseShapedList(shapedListText(list), "saved.csv");
    FUZZ_CHECK(again.shape == list.shape && again.a == list.a && again.b == list.b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text = asText(data, size);
    PatternPairs list;
    bool read = true;
    try {
        list = parsePatternList(text, "in.csv");
    } catch (const PatternListError& e) {
        FUZZ_CHECK(std::string_view(e.what()).starts_with("in.csv"));
        read = false;
    }
    checkList(list);
    checkShaped(text, list, read);
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
