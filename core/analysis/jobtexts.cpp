// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/jobtexts.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "core/support/numgrammar.h"
#include "core/support/numtext.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns/patterns.h"
#include "core/session/listshape.h"

namespace duolink::analysis {

namespace {

// What a reader's real read gives for the token `text`, when it reads it as
// one token; false when it would not.
bool readOf(std::string_view text, double& value, bool& ok)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    const std::string_view token = text.substr(first);
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    if (token.size() > TextReader::kMaxToken || std::any_of(token.begin(), token.end(), blank))
        return false;
    ok = parseRealToken(token, value);
    if (!ok)
        value = 0.0;
    return true;
}

} // namespace

std::string jobDataText(const PatternPairs& list, bool bSide, KnownReads* known)
{
    std::string out;
    out.reserve(list.size() * 96 + 8);
    if (known) {
        known->reads.clear();
        known->reads.reserve(list.size() * 9 + 1);
    }
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
        bool readable = false; // read as one token: as `value`, `ok`
        double value = 0;
        bool ok = false;
    };
    Kept kept[2];
    int older = 0;
    const auto textOf = [&](double value) -> const Kept& {
        // The kept text by a comparison rather than a branch: which of two
        // values comes next is not to be guessed.
        const auto bits = std::bit_cast<std::uint64_t>(value);
        const Kept& same = kept[kept[1].bits == bits];
        if (same.bits == bits)
            return same;
        Kept& fresh = kept[older];
        older = 1 - older;
        fresh.bits = bits;
        fresh.text.clear();
        appendRealTextWD(fresh.text, value, 9, 3);
        // A value filling its whole field would run into the one before.
        fresh.parted = fresh.text.front() != ' ';
        fresh.headLength = fresh.text.size() + fresh.parted;
        fresh.readable = readOf(fresh.text, fresh.value, fresh.ok);
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
            // A read from the end of the value before takes this one.
            if (known && k.readable) {
                const size_t start = out.size() + length;
                known->reads.push_back({start, start + k.headLength - skip, k.value, k.ok});
            }
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
    bool ok9999 = false;
    if (double value = 0; known && readOf("9999", value, ok9999))
        known->reads.push_back({out.size(), out.size() + 4, value, ok9999});
    out += "9999\r\n";
    if (known)
        known->text = out;
    return out;
}

void putDataTexts(JobTexts& job, const PatternPairs& list)
{
    auto aReads = std::make_shared<KnownReads>();
    auto bReads = std::make_shared<KnownReads>();
    job.aData = jobDataText(list, false, aReads.get());
    job.bData = jobDataText(list, true, bReads.get());
    job.aReads = std::move(aReads);
    job.bReads = std::move(bReads);
}

std::string parametersForShape(const std::string& parameters, ListShape shape)
{
    return shape.fixed() ? parameters : duolink::parametersForShape(parameters, shape);
}

std::string shapeLengthsClash(const ParametersEdit& given, ListShape shape, const std::string& source)
{
    ParametersEdit lengths = given;
    return takeListLengths(lengths, shape, source);
}

JobTexts shapedJob(const ShapedPairs& list, const JobTexts& settings)
{
    JobTexts job;
    job.parameters = settings.parameters;
    job.simulation = settings.simulation;
    job.options = settings.options;
    if (list.shape.fixed()) {
        putDataTexts(job, fixedFromShaped(list));
        return job;
    }
    if (job.parameters)
        job.parameters = parametersForShape(*job.parameters, list.shape);
    job.aData = shapedDataText(list.a, list.shape.aLen());
    job.bData = shapedDataText(list.b, list.shape.bLen());
    return job;
}

std::string patternListCsv(const PatternPairs& list)
{
    PatternList store;
    store.loadPatternList(list);
    return patternListText(store);
}

} // namespace duolink::analysis
