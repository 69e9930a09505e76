// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/predict/recall.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::repeat;

namespace {

using Recall = duolink::testing::EngineTest;

} // namespace

// Before any job the lengths are the window's, so the recall reads the same
// cells Load Matrix fills; a job's own lengths are kept.
TEST_F(Recall, BeforeAnySolveTheWindowShapeIsUsed)
{
    wMatrix[9] = 20000; // cell (2, 1) at B Len 8
    TPatternVector a{0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    TPatternVector b;
    b.fill(7);
    recallB(a, b);
    EXPECT_EQ(unity, 10000);
    EXPECT_EQ(aLen, 9);
    EXPECT_EQ(bLen, 8);
    EXPECT_EQ(pane.lines[1], " RESULT   2.00000 " + repeat("  0.00000 ", 7));
    EXPECT_EQ(b, (TPatternVector{7, 2, 0, 0, 0, 0, 0, 0, 0, 7}));

    aLen = 3;
    bLen = 2;
    recallB(a, b);
    EXPECT_EQ(aLen, 3);
    EXPECT_EQ(bLen, 2);
}

TEST_F(Recall, MapsTheScaledInputThroughTheMatrix)
{
    aLen = 9;
    bLen = 8;
    wMatrix[cellIndex(1, 1)] = 10000; //  1.0
    wMatrix[cellIndex(2, 1)] = -5000; // -0.5
    wMatrix[cellIndex(3, 2)] = 3333;
    wMatrix[cellIndex(9, 8)] = 20000; //  2.0
    calcVector[9] = 42;               // beyond bLen: kept

    // 0.03125 scales to the half 312.5 and goes to the even 312; 0.00025 lies
    // just above 2.5 in extended precision and goes up.
    TPatternVector a{0, 0.5, 0.25, 0.3, 0.03125, 0.00025, -1.23456, 0, 0, 1};
    TPatternVector b{};
    recallB(a, b);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{
                              " INPUT   0.50000   0.25000   0.30000   0.03120   0.00030  -1.23460 "
                              "  0.00000   0.00000   1.00000 ",
                              // 5000 - 1250; 999.9 rounds to 1000; 2.0
                              " RESULT   0.37500   0.10000 " + repeat("  0.00000 ", 5) + "  2.00000 ", ""}));
    EXPECT_EQ(b, (TPatternVector{0, 0.375, 0.1, 0, 0, 0, 0, 0, 2.0, 0}));
    EXPECT_EQ(calcVector[9], 42);
}
