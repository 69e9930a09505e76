// SPDX-License-Identifier: GPL-3.0-or-later
// What a typed field is read as, and whether that is all it shows.
#include <gtest/gtest.h>

#include <cmath>
#include <string_view>

#include "core/patterns/fieldreading.h"
#include "core/patterns/patterns.h"

using namespace duolink;

namespace {

TEST(FieldReading, ValueIsTheFieldsAndTheIssueSaysWhatIsLeftOut)
{
    using enum FieldIssue;
    const struct {
        std::string_view text;
        double value;
        FieldIssue issue;
        std::string_view number; // the part read as the number
    } cases[] = {
        {"1", 1, None, "1"},
        {"-0.5", -0.5, None, "-0.5"},
        {"+2e-3", 0.002, None, "+2e-3"},
        {"1.", 1, None, "1."},
        {".5", 0.5, None, ".5"},
        {"1e-999", 0, None, "1e-999"}, // below the double range: 0, and that is the number
        {"  12.5  ", 12.5, None, "12.5"},
        {"", 0, None, ""},
        {"   ", 0, None, ""},
        {"0,5", 0, DecimalComma, "0"},
        {"-1,25", -1, DecimalComma, "-1"},
        {",5", 0, DecimalComma, ""},
        {"1,5e3", 1, DecimalComma, "1"},
        {"1.5,3", 1.5, TextAfter, "1.5"},
        {"1,x", 1, TextAfter, "1"},
        {"1.5x", 1.5, TextAfter, "1.5"},
        {"1E+2x", 100, TextAfter, "1E+2"},
        {"1e", 1, TextAfter, "1"},
        {"1e+", 1, TextAfter, "1"},
        {"1 5", 1, TextAfter, "1"},
        {"0x10", 0, TextAfter, "0"},
        {"abc", 0, NotANumber, ""},
        {"-", 0, NotANumber, ""},
        {".", 0, NotANumber, ""},
        {"e5", 0, NotANumber, ""},
        {"inf", 0, NotANumber, ""},
        {"\t1", 0, NotANumber, ""}, // only blanks are skipped
        {"1e400", 0, TooLarge, "1e400"},
        {"-1e999", 0, TooLarge, "-1e999"},
        {"1e400x", 0, TooLarge, "1e400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const FieldReading reading = readField(c.text);
        EXPECT_EQ(reading.value, c.value);
        // Bit for bit what the fields are read as, the sign of a zero too.
        EXPECT_EQ(reading.value, textToReal(c.text));
        EXPECT_EQ(std::signbit(reading.value), std::signbit(textToReal(c.text)));
        EXPECT_EQ(reading.issue, c.issue);
        EXPECT_EQ(reading.whole(), c.issue == None);
        EXPECT_EQ(reading.number, c.number);
    }
}

} // namespace
