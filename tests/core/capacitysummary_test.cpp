// SPDX-License-Identifier: GPL-3.0-or-later
// The capacity summary: outcome counts, shares from integers, the Wilson
// band, and the divergence bound BETA x |a|^2 < 2 checked against trainings.
#include <gtest/gtest.h>

#include "core/analysis/analyses.h"
#include "core/analysis/capacitysummary.h"
#include "core/analysis/jobtexts.h"

namespace duolink::analysis {
namespace {

TEST(CapacitySummary, WilsonIntervalMatchesTheFormula)
{
    const struct {
        long long hits, trials;
        double low, high;
    } cases[] = {
        {0, 10, 0, 0.2775327998628892},  {10, 10, 0.7224672001371107, 1}, {5, 10, 0.2365931, 0.7634069},
        {23, 25, 0.7503389, 0.9777796}, {0, 0, 0, 1},
    };
    for (const auto& c : cases) {
        const ShareInterval band = wilsonInterval(c.hits, c.trials);
        EXPECT_NEAR(band.low, c.low, 1e-6) << c.hits << "/" << c.trials;
        EXPECT_NEAR(band.high, c.high, 1e-6) << c.hits << "/" << c.trials;
    }
}

TEST(CapacitySummary, CountsOutcomesAndReadsAsWhatItIs)
{
    CapacityRunSummary summary(5);
    const struct {
        int n, set;
        Outcome outcome;
        int recalled, presentations;
        double squared;
    } rows[] = {
        {5, 1, Outcome::Recalled, 5, 10, 4}, {5, 2, Outcome::Limit, 4, 60, 5},  {5, 3, Outcome::Error, 0, 7, 8},
        {5, 4, Outcome::Recalled, 5, 12, 3}, {5, 5, Outcome::Limit, 4, 60, 6},  {2, 1, Outcome::Terminated, 0, 0, 2},
    };
    for (const auto& r : rows) {
        CapacityRow row{r.n, r.set, r.squared, {}};
        row.result.outcome = r.outcome;
        row.result.recall.recalled = r.recalled;
        row.result.presentations = r.presentations;
        summary.add(row);
    }
    EXPECT_EQ(summary.trainings(), 6);
    EXPECT_EQ(summary.count(Outcome::Limit), 2);
    EXPECT_EQ(summary.largestSquaredLength(), 8);
    // 18 of 25 pairs: 0.72, not a sum of five shares.
    EXPECT_EQ(summary.csvLines(), "2,1,0,0,0,0,0,0,0,1,0,0.6576197724933469\n"
                                  "5,5,0.72,0,1,29.8,2,2,1,0,0.5242339480963842,0.8571614614904344\n");
    // One in six diverged: more than a tenth, so the note says why.
    EXPECT_EQ(summary.divergenceNote(0.5),
              "1 of 6 trainings diverged (error). Training converges only while BETA \u00d7 |a|\u00b2 < 2 for every A "
              "pattern; the largest |a|\u00b2 here is 8, so BETA 0.5 is too large: below 0.25 all would converge.");
    CapacityRunSummary calm(1);
    calm.add({1, 1, 4, {}});
    EXPECT_EQ(calm.divergenceNote(0.5), "");
}

// For one pair the bound is exact: just below 2 / |a|^2 the training
// converges, just above it diverges (or, at the edge, never settles).
TEST(CapacitySummary, TheDivergenceBoundHoldsForSinglePairs)
{
    const struct {
        TPatternVector a;
        double squared;
    } cases[] = {
        {{0, 1, 1, 1, 1, 1, 1, 1, 0, 1}, 8},
        {{0, 1, 1, 1, 1, 0, 0, 0, 0, 0}, 4},
        {{0, 1, 1, 1, 0, 0, 0, 0, 0, 1}, 4},
        {{0, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0}, 0.5},
    };
    for (const auto& c : cases) {
        const PatternPairs pair = {{c.a, {0, 1, 0, 1, 0, 1, 0, 1, 0, 0}}};
        EXPECT_EQ(largestSquaredLength(pair, 9), c.squared);
        for (const double factor : {0.95, 1.05}) {
            const double beta = factor * 2 / c.squared;
            JobTexts settings;
            std::string betaText;
            appendShortest(betaText, beta);
            settings.parameters = "2\n3000\n9\n8\n0\n" + betaText + "\n0\n2\n10000\n0.1\n";
            const std::optional<RowResult> r = trainAndCount(pair, settings, nullptr);
            ASSERT_TRUE(r);
            if (factor < 1)
                EXPECT_EQ(r->outcome, Outcome::Recalled) << "beta " << beta << " |a|^2 " << c.squared;
            else
                EXPECT_NE(r->outcome, Outcome::Recalled) << "beta " << beta << " |a|^2 " << c.squared;
        }
    }
}

} // namespace
} // namespace duolink::analysis
