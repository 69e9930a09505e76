// SPDX-License-Identifier: GPL-3.0-or-later
// The number grammar every reader shares: the longest number prefix (typed
// fields), whole-text numbers (job files, --predict) and the token reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/support/numgrammar.h"

using namespace duolink;

namespace {

TEST(NumberGrammar, PrefixesAndWholeTexts)
{
    const struct {
        const char* text;
        size_t prefix; // longest number prefix
        bool whole;    // the whole text is a number in range
        double value;  // its value when it is
    } cases[] = {
        {"1", 1, true, 1},
        {"-0.5", 4, true, -0.5},
        {"+2e-3", 5, true, 0.002},
        {"1.", 2, true, 1},
        {".5", 2, true, 0.5},
        {"1E+2x", 4, false, 0},
        {"1e", 1, false, 0},
        {"1e+", 1, false, 0},
        {"1,5", 1, false, 0},
        {".", 0, false, 0},
        {"-", 0, false, 0},
        {"e5", 0, false, 0},
        {"", 0, false, 0},
        {" 1", 0, false, 0},
        {"1e999", 5, false, 0},  // beyond the double range
        {"1e-999", 6, true, 0},  // below it: zero
        {"0x10", 1, false, 0},
        {"inf", 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decimalPrefix(c.text), c.prefix);
        double value = -1;
        EXPECT_EQ(parseRealToken(c.text, value), c.whole);
        if (c.whole)
            EXPECT_EQ(value, c.value);
    }
    double huge = 0;
    EXPECT_EQ(convertDecimal("-1e999", huge), DecimalRange::Overflow);
    EXPECT_TRUE(std::isinf(huge) && huge < 0);
    long long n = 0;
    EXPECT_TRUE(parseIntToken("+42", n) && n == 42);
    EXPECT_FALSE(parseIntToken("4.2", n) || parseIntToken("+", n) || parseIntToken("99999999999999999999", n));
}

// Short decimals are converted without the library: every count of digits
// around the last exact one, every place of the point, both signs, and the
// digit strings whose values lie nearest to halfway between two doubles.
TEST(NumberGrammar, ShortDecimalsReadAsTheLibraryReadsThem)
{
    const char* const digitRuns[] = {"0", "5", "000", "123456789012345", "999999999999999", "1234567890123456",
                                     "900719925474099", "100000000000001", "500000000000005", "333333333333333"};
    for (const std::string digits : digitRuns) {
        for (size_t point = 0; point <= digits.size(); ++point) {
            for (const char* sign : {"", "-", "+"}) {
                std::string text = sign + digits;
                text.insert(text.size() - digits.size() + point, ".");
                SCOPED_TRACE(text);
                double value = 7, expected = 7;
                ASSERT_EQ(convertDecimal(text, value), DecimalRange::InRange);
                expected = std::strtod(text.c_str(), nullptr);
                EXPECT_EQ(value, expected);
                EXPECT_EQ(std::signbit(value), std::signbit(expected));
            }
        }
    }
}

// Tokens are runs of bytes above the blank; control bytes separate them and
// a run longer than the limit goes on as the next token.
TEST(NumberGrammar, TokenReaderSplitsOnBlanksAndControlBytes)
{
    struct Source {
        std::string_view data;
        size_t pos = 0;
        int peek() const { return pos < data.size() ? static_cast<unsigned char>(data[pos]) : -1; }
        void advance() { ++pos; }
    } in{" 12\t\x01-3\r\n\xe9x 123456"};
    std::string tokens;
    char token[4];
    for (size_t n; (n = readToken(in, token, sizeof token)) > 0;)
        (tokens += std::string(token, n)) += '|';
    EXPECT_EQ(tokens, "12|-3|\xe9x|1234|56|");
}

} // namespace
