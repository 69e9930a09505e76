// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/analysis/splitmix64.h"
#include "core/support/console.h"
#include "core/support/numtext.h"
#include "core/support/progresstext.h"
#include "testsupport.h"

using namespace duolink;

TEST(NumberTexts, IntegersPadToFiveAndAreNeverCut)
{
    EXPECT_EQ(intText(0), "    0");
    EXPECT_EQ(intText(12), "   12");
    EXPECT_EQ(intText(123456), "123456");
    EXPECT_EQ(intText(-42), "  -42");
}

TEST(NumberTexts, RealsRoundHalfAwayFromZeroOnTheirDecimalForm)
{
    EXPECT_EQ(realText(0), "    0.000");
    EXPECT_EQ(realText(-1.5), "   -1.500");
    EXPECT_EQ(realText(123456.789), "123456.789");
    EXPECT_EQ(realText(0.5), "    0.500");
    EXPECT_EQ(realText(0.0004), "    0.000");
    EXPECT_EQ(realText(0.0005), "    0.001");   // 5.00000000000000010E-4
    EXPECT_EQ(realText(2.0005), "    2.001");   // the double lies below, 18 digits say ...500
    EXPECT_EQ(realText(-2.0005), "   -2.001");
    EXPECT_EQ(realTextWD(0.125, 0, 2), "0.13");
    EXPECT_EQ(realTextWD(-0.125, 0, 2), "-0.13");
    EXPECT_EQ(realTextWD(2.5, 4, 0), "   3");
    EXPECT_EQ(realTextWD(10, 9, 0), "       10");
    EXPECT_EQ(realTextWD(0.99999, 9, 3), "    1.000");
    EXPECT_EQ(realTextWD(1.0L / 3, 9, 5), "  0.33333");
    EXPECT_EQ(realTextWD(2.0L / 3, 9, 5), "  0.66667");
    EXPECT_EQ(realTextWD(1e20, 0, 1), "100000000000000000000.0");
}

// Away from halves the fixed form is the C library's: digits, sign, point and
// padding checked on values of every size the pane and the files show.
TEST(NumberTexts, FixedFormsMatchTheLibraryAwayFromHalves)
{
    SplitMix64 random(27);
    auto next = [&random] { return random.next(); };
    const long double units[] = {1, 10, 10000, 3, 1e6L};
    int checked = 0;
    for (int i = 0; i < 40000; ++i) {
        const uint64_t r = next();
        const int decimals = static_cast<int>(r % 10);
        const int width = static_cast<int>((r >> 8) % 14);
        const long long whole = static_cast<long long>((r >> 16) % 2000000001) - 1000000000;
        const long double value = static_cast<long double>(whole >> ((r >> 48) % 30)) / units[(r >> 56) % 5];
        const long double scaled = std::fabs(value) * std::pow(10.0L, decimals);
        const long double fraction = scaled - std::floor(scaled);
        if (std::fabs(fraction - 0.5L) < 1e-3L || std::floor(scaled + 0.5L) == 0)
            continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%*.*Lf", width, decimals, value);
        ASSERT_EQ(realTextWD(value, width, decimals), expected) << static_cast<double>(value);
        ++checked;
    }
    EXPECT_GT(checked, 30000);
}

// The engine's whole weights over unity: the integer path gives the general
// path's text or nothing.
TEST(NumberTexts, WholeRatiosMatchTheGeneralForm)
{
    struct Case {
        double value;
        int unity;
        bool taken;
    };
    const Case cases[] = {
        {0, 10000, true},          {-0.0, 10, true},           {1, 10000, true},         {-1, 10000, true},
        {123456789, 10000, true},  {-99999, 1, true},          {1e6 - 1, 10, true},      {9999999999, 1, false},
        {1e15, 10000, false},      {0.5, 10, false},           {7, 3, false},            {7, 0, false},
        {7, -10, false},           {std::nan(""), 10, false},  {INFINITY, 10, false},    {42, 100000, true},
        {42, 1000000, false},      {-20000, 8, true},          {5, 2, true},             {-3, 4, true},
    };
    for (const Case& c : cases) {
        std::string out = "x";
        const bool taken = appendWholeRatioText(out, c.value, c.unity, 9, 5);
        EXPECT_EQ(taken, c.taken) << c.value << " / " << c.unity;
        if (taken)
            EXPECT_EQ(out, "x" + realTextWD(static_cast<long double>(c.value) / c.unity, 9, 5)) << c.value;
        else
            EXPECT_EQ(out, "x");
    }
    for (int w = 0; w < 12; ++w) {
        std::string out;
        ASSERT_TRUE(appendWholeRatioText(out, -12345, 10, w, 3));
        EXPECT_EQ(out, realTextWD(-1234.5L, w, 3));
    }
    // The pane's five decimals have an integer path of their own: every width,
    // whole parts of every length, and runs that stop at a value not taken.
    const double values[] = {0, -0.0, 7, -7, 99999, -100000, 123456789, -9999999999, 1e10 - 1};
    for (const int unity : {1, 10, 10000, 100000, 8}) {
        for (int w = 0; w < 16; ++w) {
            const WholeRatioWriter writer(unity, w, 5);
            ASSERT_TRUE(writer.usable());
            for (const double v : values) {
                char text[WholeRatioWriter::kRoom];
                const char* end = writer.write(text, v);
                if (!end)
                    continue;
                EXPECT_EQ(std::string(text, static_cast<size_t>(end - text)), realTextWD(static_cast<long double>(v) / unity, w, 5)) << v;
                const auto behind = static_cast<size_t>(text + sizeof text - end);
                EXPECT_EQ(std::string(end, behind), std::string(behind, ' '));
            }
        }
    }
    const double run[] = {1, -2, 0.5, 3};
    char text[4 * (WholeRatioWriter::kRoom + 2) + WholeRatioWriter::kRoom];
    int taken = 0;
    const char* end = WholeRatioWriter(10, 9, 5).writeRun(text, run, 4, 2, taken);
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(std::string(text, static_cast<size_t>(end - text)), "  0.10000   -0.20000  ");
}

TEST(NumberTexts, WholeNumbersPadToTheirWidth)
{
    const struct {
        long long value;
        int width;
    } cases[] = {{0, 0}, {7, 6}, {-42, 5}, {123456, 3}, {-999999999999999999, 8}, {999999999999999999, 25}, {-1, 1}};
    for (const auto& c : cases) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<size_t>(writeWholeText(text, c.value, c.width) - text)),
                  realTextWD(static_cast<long double>(c.value), c.width, 0))
            << c.value;
    }
}

TEST(NumberTexts, BooleansAreSevenCharacters)
{
    EXPECT_EQ(boolText(true), " True  ");
    EXPECT_EQ(boolText(false), " False ");
}

TEST(NumberTexts, ExponentFormsCutByTheNextDigit)
{
    EXPECT_EQ(shortExpText(1234), " 1.2E+0003");
    EXPECT_EQ(shortExpText(-25), "-2.5E+0001");
    EXPECT_EQ(shortExpText(0), " 0.0E+0000");
    EXPECT_EQ(shortExpText(-0.0), "-0.0E+0000");
    EXPECT_EQ(shortExpText(1234.5), " 1.2E+0003");
    EXPECT_EQ(shortExpText(-0.00456), "-4.6E-0003");
    EXPECT_EQ(shortExpText(0.5), " 5.0E-0001");
    EXPECT_EQ(shortExpText(9.96), " 1.0E+0001");
    EXPECT_EQ(shortExpText(9960), " 1.0E+0004");
    EXPECT_EQ(shortExpText(125), " 1.3E+0002");
    EXPECT_EQ(shortExpText(10000), " 1.0E+0004");
    EXPECT_EQ(longExpText(0.001), " 1.00000000000000E-0003");
    EXPECT_EQ(longExpText(10), " 1.00000000000000E+0001");
    EXPECT_EQ(longExpText(0.05), " 5.00000000000000E-0002");
    EXPECT_EQ(shortExpText(HUGE_VALL), "+Inf");
}

// Whole numbers take an integer path: the same text as the 18-digit form cut
// by the next digit, worked out here from the C library's digits.
TEST(NumberTexts, WholeExponentFormsMatchTheEighteenDigitForm)
{
    auto reference = [](double value, int digits) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17Le", std::fabs(static_cast<long double>(value)));
        std::string d = std::string(1, buf[0]) + std::string(buf + 2, 17);
        int exponent = std::atoi(buf + 20);
        std::string kept = d.substr(0, static_cast<size_t>(digits));
        if (d[static_cast<size_t>(digits)] >= '5') {
            int i = digits - 1;
            while (i >= 0 && kept[static_cast<size_t>(i)] == '9')
                kept[static_cast<size_t>(i--)] = '0';
            if (i >= 0)
                ++kept[static_cast<size_t>(i)];
            else
                kept = "1" + kept.substr(1), ++exponent;
        }
        char e[16];
        std::snprintf(e, sizeof e, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return std::string(std::signbit(value) ? "-" : " ") + kept[0] + "." + kept.substr(1) + e;
    };
    SplitMix64 random(5);
    auto next = [&random] { return random.next(); };
    const double edges[] = {1, 9, 10, 95, 949, 950, 999, 9999, 99950, 1e16 - 1, 99999999999999984.0, 1e17, 2e17};
    for (int i = 0; i < 60000; ++i) {
        const uint64_t r = next();
        double value = i < 13 * 17 ? edges[i / 17] : static_cast<double>((r >> 8) >> (r % 56));
        if (r & 0x80)
            value = -value;
        const int digits = i < 13 * 17 ? i % 17 + 1 : static_cast<int>((r >> 2) % 17) + 1;
        char text[kExpTextRoom];
        const std::string got(text, writeExpText(text, value, digits));
        ASSERT_EQ(got, reference(value, digits)) << value << " " << digits;
        ASSERT_EQ(expText(value, digits), got);
    }
}

TEST(ConsoleChannel, CollectsPiecesIntoOneLine)
{
    duolink::testing::RecordingPane pane;
    Console console;
    console.consolePane = &pane;
    console.write("A");
    console.write("B");
    EXPECT_TRUE(pane.lines.empty());
    console.writeLn("C");
    console.writeLn("");
    console.writeLn();
    EXPECT_EQ(pane.lines, (std::vector<std::string>{"ABC", "", ""}));
    EXPECT_TRUE(console.pendingLine.empty());

    // A block of lines is its lines, the first one behind what is pending.
    pane.lines.clear();
    console.writeBlock("a\n\nb\n");
    console.write("x");
    console.writeBlock("c\nd\n");
    console.writeBlock("");
    EXPECT_EQ(pane.lines, (std::vector<std::string>{"a", "", "b", "xc", "d"}));
    EXPECT_TRUE(console.pendingLine.empty());
}

TEST(ConsoleChannel, ProgressStaysInsideItsRange)
{
    ProgressState bar;
    bar.stepBy(-1000);
    EXPECT_EQ(bar.position, 0);
    bar.setMaximum(1000);
    bar.stepBy(100);
    bar.stepBy(2000);
    EXPECT_EQ(bar.position, 1000);
    bar.stepBy(-100);
    EXPECT_EQ(bar.position, 900);
}

// The runner's progress line and the window's bar: nothing but the count
// before the first row, the rate in two or one decimals, hours past 59:59,
// and no time left that wraps around when more came in than was counted.
TEST(ProgressText, CountRateAndTimeLeft)
{
    struct Case {
        size_t done, total;
        double seconds;
        const char* unit;
        const char* text;
    };
    const Case cases[] = {
        {0, 1280, 3, "rows", "rows 0 of 1280"},
        {120, 1280, 0, "rows", "rows 120 of 1280"},
        {120, 1280, 3.4, "rows", "rows 120 of 1280, 35.3 rows/s, 0:33 left"},
        {5, 10, 1, "parts", "parts 5 of 10, 5.00 parts/s, 0:01 left"},
        {7200, 14400, 3600, "rows", "rows 7200 of 14400, 2.00 rows/s, 1:00:00 left"},
        {12, 10, 1, "rows", "rows 12 of 10, 12.0 rows/s, 0:00 left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(progressText(c.done, c.total, c.seconds, c.unit), c.text);
}
