// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/stats/recorder.h"

#include <algorithm>

#include "core/engine/state.h"

namespace duolink {

PresentationRecord TrainingData::record(std::size_t i) const
{
    return {static_cast<int>(i + 1), r2[i], missedPairs[i], bitErrors[i], berTotal[i], missedPairs[i] == 0};
}

void TrainingRecorder::solveStarted()
{
    const std::lock_guard lock(mutex_);
    const std::uint64_t run = data_.run + 1;
    const std::uint64_t weightsVersion = data_.weightsVersion;
    data_ = TrainingData{};
    data_.run = run;
    data_.weightsVersion = weightsVersion;
    data_.started = std::chrono::steady_clock::now();
}

void TrainingRecorder::trainingStarted(const TrainingStart& start)
{
    const std::lock_guard lock(mutex_);
    data_.start = start;
    copyWeights(engine_.state().aLen, engine_.state().bLen);
}

void TrainingRecorder::presentationMade(const PresentationRecord& record)
{
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    if (data_.size() < kMaxRecords) {
        data_.r2.push_back(record.r2);
        data_.berTotal.push_back(record.berTotal);
        data_.missedPairs.push_back(record.missedPairs);
        data_.bitErrors.push_back(record.bitErrors);
    } else {
        ++data_.notKept;
    }
    if (now - weightsCopied_ >= kWeightsInterval)
        copyWeights(engine_.state().aLen, engine_.state().bLen);
}

void TrainingRecorder::solveEnded(RunEnd end)
{
    const std::lock_guard lock(mutex_);
    data_.end = end;
    data_.elapsed = std::chrono::steady_clock::now() - data_.started;
    if (data_.start)
        copyWeights(engine_.state().aLen, engine_.state().bLen);
}

void TrainingRecorder::matrixLoaded()
{
    const std::lock_guard lock(mutex_);
    copyWeights(9, 8);
}

void TrainingRecorder::read(const std::function<void(const TrainingData&)>& reader) const
{
    const std::lock_guard lock(mutex_);
    reader(data_);
}

void TrainingRecorder::copyWeights(int rows, int cols)
{
    weightsCopied_ = std::chrono::steady_clock::now();
    // Before the first Solve the scale is the default one.
    const double scale = engine_.state().unity > 0 ? engine_.state().unity : 10000;
    WeightMap& map = data_.weights;
    map.rows = std::max(rows, 0);
    map.cols = std::max(cols, 0);
    map.values.resize(static_cast<std::size_t>(map.rows) * static_cast<std::size_t>(map.cols));
    for (int i = 1; i <= map.rows; ++i)
        for (int j = 1; j <= map.cols; ++j) {
            const int cell = engine_.cellIndex(i, j);
            const double value = cell >= 1 && cell <= kMatrixCells ? engine_.state().wMatrix[cell] : 0.0;
            map.values[static_cast<std::size_t>((i - 1) * map.cols + (j - 1))] = value / scale;
        }
    ++data_.weightsVersion;
}

// --- MinMaxThinning -------------------------------------------------------------

void MinMaxThinning::clear()
{
    runLength_ = 1;
    count_ = 0;
    runs_.clear();
    minimum_ = maximum_ = smallestPositive_ = 0;
}

void MinMaxThinning::add(double value)
{
    const std::size_t at = ++count_;
    if (at == 1) {
        minimum_ = maximum_ = value;
    } else {
        minimum_ = std::min(minimum_, value);
        maximum_ = std::max(maximum_, value);
    }
    if (value > 0 && (smallestPositive_ == 0 || value < smallestPositive_))
        smallestPositive_ = value;

    if ((at - 1) % runLength_ != 0) {
        Run& run = runs_.back();
        if (value < run.low) {
            run.low = value;
            run.lowAt = at;
        }
        if (value > run.high) {
            run.high = value;
            run.highAt = at;
        }
        return;
    }
    if (runs_.size() == 2 * columns_) {
        // Every pair of runs becomes one run twice as long.
        for (std::size_t k = 0; k < columns_; ++k) {
            const Run& a = runs_[2 * k];
            const Run& b = runs_[2 * k + 1];
            Run merged = a;
            if (b.low < merged.low) {
                merged.low = b.low;
                merged.lowAt = b.lowAt;
            }
            if (b.high > merged.high) {
                merged.high = b.high;
                merged.highAt = b.highAt;
            }
            runs_[k] = merged;
        }
        runs_.resize(columns_);
        runLength_ *= 2;
    }
    runs_.push_back({value, value, at, at});
}

std::vector<MinMaxThinning::Point> MinMaxThinning::points() const
{
    std::vector<Point> out;
    out.reserve(2 * runs_.size());
    for (const Run& run : runs_) {
        if (run.lowAt == run.highAt) {
            out.push_back({static_cast<double>(run.lowAt), run.low});
        } else if (run.lowAt < run.highAt) {
            out.push_back({static_cast<double>(run.lowAt), run.low});
            out.push_back({static_cast<double>(run.highAt), run.high});
        } else {
            out.push_back({static_cast<double>(run.highAt), run.high});
            out.push_back({static_cast<double>(run.lowAt), run.low});
        }
    }
    return out;
}

} // namespace duolink
