// SPDX-License-Identifier: GPL-3.0-or-later
// The numbers on the training chart's axes.
#include <gtest/gtest.h>

#include <algorithm>

#include "training/chartaxes.h"

using namespace duolink;

TEST(ChartAxes, PowersOfTenReadAtAnyMagnitude)
{
    const struct {
        int exponent;
        const char* label;
    } cases[] = {
        {0, "1"},          {1, "10"},         {5, "100000"}, {6, "1e+06"}, {41, "1e+41"},
        {308, "1e+308"},   {-1, "0.1"},       {-3, "0.001"}, {-4, "1e-04"}, {-12, "1e-12"},
        {-307, "1e-307"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(powerOfTenLabel(c.exponent).toStdString(), c.label) << c.exponent;
}

TEST(ChartAxes, StepsAreWholeAndFewEnough)
{
    const struct {
        double span;
        int maxSteps;
        double step;
    } cases[] = {
        {1, 8, 1},   {4, 8, 1},       {8, 8, 1},      {9, 8, 2},          {15, 8, 2},     {17, 8, 5},
        {39, 8, 5},  {41, 8, 10},     {9999, 8, 2000}, {0, 8, 1},         {-3, 8, 1},     {0.5, 8, 1},
        {50, 6, 10}, {1e6, 8, 2e5},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(wholeStep(c.span, c.maxSteps), c.step) << c.span << " in " << c.maxSteps;
}

TEST(ChartAxes, LabelledDecadesAreMultiplesOfTheStep)
{
    const struct {
        int low, high;
        QList<int> exponents;
    } cases[] = {
        {-2, 1, {-2, -1, 0, 1}},
        {-9, 41, {0, 10, 20, 30, 40}},
        {3, 4, {3, 4}},
        {-30, -17, {-30, -28, -26, -24, -22, -20, -18}},
        {5, 4, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(labelledExponents(c.low, c.high, 8), c.exponents) << c.low << ".." << c.high;
}

TEST(ChartAxes, NiceStepsAreOneTwoOrFiveAtAnyPower)
{
    const struct {
        double span;
        int maxSteps;
        double step;
    } cases[] = {
        {1, 5, 0.2}, {1.5, 8, 0.2}, {0.3, 6, 0.05}, {35.2, 5, 10}, {262.5, 5, 100}, {0.0009, 3, 0.0005}, {0, 5, 1},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(niceStep(c.span, c.maxSteps), c.step) << c.span << " in " << c.maxSteps;
}

TEST(ChartAxes, ThinnedPointsKeepSmallSeriesAndBoundLargeOnes)
{
    QList<QPointF> few, many;
    for (int k = 0; k < 100; ++k)
        few.append({k * 0.1, k % 7 * 1.0});
    for (int k = 0; k < 100000; ++k)
        many.append({k * 1e-4, k % 3 * 1.0});
    EXPECT_EQ(thinnedPoints(few, 0, 10, 6), few);
    const QList<QPointF> kept = thinnedPoints(many, 0, 10, 2);
    EXPECT_LE(kept.size(), 3003);
    EXPECT_GE(kept.size(), 2000);
    EXPECT_EQ(kept.first(), many.first());
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
}
