// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recall of a B pattern by the engine's own Predict, on a scratch engine
// holding a copy of the trained matrix, so that any number of recalls on any
// threads leave the user's engine as it was.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/state.h"
#include "core/patterns/patterns.h"
#include "core/patterns/patternlist.h"

namespace duolink {

// What a recall reads from the engine: the matrix, its shape, and the result
// store whose columns past B Len a recall leaves as they are.
struct RecallSnapshot {
    Matrix w{};
    Vector calc{};
    int aLen = 0;
    int bLen = 0;
    // How the engine that recalls does its arithmetic.
    EngineOptions options;

    // `engine`'s current state, in the window's shape (9 by 8) before any
    // job has set the lengths, as Predict would take it.
    static RecallSnapshot of(const EngineState& engine);
};

// The eight recalled B values, index 0 for B1.
using RecallValues = std::array<double, 8>;

// recall() is the engine's recallB on a quiet engine of its own holding the
// snapshot: the values Predict writes into b(1..8). Raises RunError on an
// arithmetic fault, as Predict does. One per thread.
class Recaller {
public:
    explicit Recaller(const RecallSnapshot& snapshot);
    ~Recaller();
    Recaller(Recaller&&) noexcept;
    Recaller& operator=(Recaller&&) noexcept;

    RecallValues recall(const TPatternVector& a);
    // The same for patterns of any length: `a` holds A Len values (the
    // parity last), the result B Len values. For 9 and 8 it is recall().
    std::vector<double> recallValues(const std::vector<double>& a);
    int aLen() const { return aLen_; }
    int bLen() const { return bLen_; }
    // recall(), with nothing where it would raise RunError for certain: for
    // callers that only count failures, which a matrix that diverged gives
    // at nearly every recall.
    std::optional<RecallValues> tryRecall(const TPatternVector& a);

private:
    // The engine, made when a recall first needs it, from what was kept.
    EngineState& engine();
    // Whether every kept cell is a whole number and every column's
    // magnitudes add up below 2^31: then a recall of inputs 0 and 1 adds up
    // the rows of the ones, exactly, and nothing in it can fail.
    bool wholeSmallMatrix() const;
    // Whether the cells are whole numbers that the steps for large weights
    // (largerows.h) may sum, on this processor and with these options.
    bool wholeLargeMatrix() const;

    int aLen_ = 0;
    int bLen_ = 0;
    std::vector<double> cells_; // the cells a recall reads, from cell 1 on
    Vector calc_{};             // the result store of the whole-number recalls
    bool whole_ = false;
    bool large_ = false;
    EngineOptions options_;
    std::unique_ptr<EngineState> engine_;
};

// One recall on a scratch engine of its own; for single recalls. Many
// recalls share a Recaller.
RecallValues recallExact(const RecallSnapshot& snapshot, const TPatternVector& a);

// A recall scored against the pair's B pattern.
struct RecallScore {
    double maxError = 0;  // the largest |recalled - expected|
    int outsideTol = 0;   // elements with |recalled - expected| > tol
    int nearest = 0;      // list position (1-based) of the stored B closest to the recall
};

// The B patterns of a list, held for finding the one nearest a recall
// quickly: the same one the search below finds.
class StoredBs {
public:
    explicit StoredBs(const PatternPairs& list);
    // The 1-based position of the nearest; 1 for an empty list.
    int nearest(const RecallValues& r) const;
    // Whether nearest(r) is own + 1; it stops at the first B that rules it out.
    bool isNearest(const RecallValues& r, std::size_t own) const;

private:
    // The distances of the four B's from p on, p a multiple of four.
    void distances(const RecallValues& r, std::size_t p, double out[4]) const;

    std::vector<double> columns_; // B(j) of every pattern, j after j, in blocks of four
    std::size_t count_;
    std::size_t stride_;
};

// How far a recall is from the B pattern `expected`; no nearest.
RecallScore scoreErrors(const RecallValues& r, const TPatternVector& expected, double tol);

// `own` is the pair's index in `list` (0-based). The nearest stored B is by
// Euclidean distance over B1..B8; ties go to the lower position. `stored`,
// when given, holds the list's B patterns.
RecallScore scoreRecall(const RecallValues& r, const PatternPairs& list, std::size_t own, double tol,
                        const StoredBs* stored = nullptr);

// Reals in the shortest form that reads back as the same double: plain
// decimals from 0.00001 to 10^16, else with an exponent ("1e+41").
void appendShortest(std::string& out, double value);

} // namespace duolink
