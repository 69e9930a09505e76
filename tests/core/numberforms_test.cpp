// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in the analyses' files read as what they are: the shortest text
// that reads back exactly, computed from the fixed-point integers.
#include <gtest/gtest.h>

#include "core/analysis/analyses.h"
#include "core/analysis/recalltable.h"

namespace duolink {
namespace {

TEST(NumberForms, ShortestTextsArePlainWhereTheyReadEasily)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0001, "0.0001"}, {23.0 / 25, "0.92"}, {0.1 + 0.2, "0.30000000000000004"}, {0, "0"},
        {-2.5, "-2.5"},     {1e-5, "0.00001"},  {1e-6, "1e-06"},                     {1e16, "1e+16"},
        {123456789, "123456789"},
    };
    for (const auto& c : cases) {
        std::string text;
        appendShortest(text, c.value);
        EXPECT_EQ(text, c.text);
    }
}

TEST(NumberForms, ErrorsComeFromTheFixedPointIntegers)
{
    const TPatternVector b{0, 1, 0, 0.9, 0.5, 0, 0, 0, 0.0987, 0};
    const struct {
        RecallValues recalled;
        const char* text;
    } cases[] = {
        {{0.9999, 0, 0.9, 0.5, 0, 0, 0, 0.0987}, "0.0001"},
        {{1, 0, 0.9, 0.5, 0, 0, 0, 0}, "0.0987"},
        {{1, 0, 0.9, 0.5, 0, 0, 0.3, 0.0987}, "0.3"},
    };
    for (const auto& c : cases) {
        std::string text;
        appendShortest(text, largestError(c.recalled, b));
        EXPECT_EQ(text, c.text);
    }
    // A diverged R2 in the shortest exact form; an ordinary one as the
    // engine wrote it.
    analysis::RowResult r;
    r.finalR2 = "452884825832531582000000000000000000000000000000000000000000.000";
    EXPECT_EQ(analysis::resultColumns(r), "terminated,0,4.528848258325316e+59,0,0,0");
    r.finalR2 = "1.000";
    EXPECT_EQ(analysis::resultColumns(r), "terminated,0,1.000,0,0,0");
}

} // namespace
} // namespace duolink
