// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A thread-safe store of the training statistics for a display: the engine's
// thread appends, a reader takes what is new whenever it likes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "core/engine/observer.h"

namespace duolink {

// The weights as a display shows them: rows x cols, in real units.
struct WeightMap {
    int rows = 0;
    int cols = 0;
    std::vector<double> values; // row by row
    double at(int row, int col) const { return values[static_cast<std::size_t>(row * cols + col)]; }
};

// Everything known of the last Solve (or Load Matrix). Stored as columns, 24
// bytes a presentation, so that ten million presentations fit.
struct TrainingData {
    std::uint64_t run = 0;           // changes with every Solve
    std::optional<TrainingStart> start;
    std::vector<double> r2;
    std::vector<double> berTotal;
    std::vector<std::int32_t> missedPairs;
    std::vector<std::int32_t> bitErrors;
    std::size_t notKept = 0;         // presentations beyond kMaxRecords
    std::optional<RunEnd> end;
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::duration elapsed{}; // once it has ended
    WeightMap weights;
    std::uint64_t weightsVersion = 0; // changes with every new map

    std::size_t size() const { return r2.size(); }
    // Presentation i (0-based) of the kept ones.
    PresentationRecord record(std::size_t i) const;
};

class EngineState;

// Records the runs of one engine, whose matrix it copies from inside the
// callbacks (on the engine's thread).
class TrainingRecorder final : public TrainingObserver {
public:
    explicit TrainingRecorder(const EngineState& engine) : engine_(engine) {}

    static constexpr std::size_t kMaxRecords = 10'000'000;
    // The live weight map is copied at most this often.
    static constexpr std::chrono::milliseconds kWeightsInterval{33};

    void solveStarted() override;
    void trainingStarted(const TrainingStart& start) override;
    void presentationMade(const PresentationRecord& record) override;
    void solveEnded(RunEnd end) override;
    void matrixLoaded() override;

    // Calls `reader` with the data, the store locked meanwhile: take what is
    // needed and return.
    void read(const std::function<void(const TrainingData&)>& reader) const;

private:
    // The engine's matrix, rows x cols at its current stride, divided by UNITY.
    void copyWeights(int rows, int cols);

    const EngineState& engine_;
    mutable std::mutex mutex_;
    TrainingData data_;
    std::chrono::steady_clock::time_point weightsCopied_;
};

// Keeps a long series drawable: the points fall into runs of equal length,
// each run kept as its smallest and largest value, and the runs double in
// length whenever there would be more than 2 x `columns` of them. Every
// value is added once; drawing the runs' extremes draws what a pixel column
// would show.
class MinMaxThinning {
public:
    explicit MinMaxThinning(std::size_t columns = 1024) : columns_(columns) {}

    void clear();
    void add(double value);

    struct Point {
        double x; // 1-based position of the value in the series
        double y;
    };
    // At most two points a run, in the order their values came.
    std::vector<Point> points() const;

    std::size_t size() const { return count_; }
    std::size_t runLength() const { return runLength_; }
    // Over every value added; 0 when there is none (for the positive one:
    // none above zero).
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    double smallestPositive() const { return smallestPositive_; }

private:
    struct Run {
        double low, high;
        std::size_t lowAt, highAt;
    };
    std::size_t columns_;
    std::size_t runLength_ = 1;
    std::size_t count_ = 0;
    std::vector<Run> runs_;
    double minimum_ = 0;
    double maximum_ = 0;
    double smallestPositive_ = 0;
};

} // namespace duolink
