// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/exactrecall.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/engine/largerows.h"
#include "core/engine/widerows.h"
#include "core/predict/recall.h"

namespace duolink {

RecallSnapshot RecallSnapshot::of(const EngineState& engine)
{
    RecallSnapshot s;
    s.w = engine.state().wMatrix;
    s.calc = engine.state().calcVector;
    s.aLen = engine.state().aLen;
    s.bLen = engine.state().bLen;
    s.options = engine.options();
    if (s.aLen == 0 && s.bLen == 0) {
        s.aLen = 9;
        s.bLen = 8;
    }
    return s;
}

Recaller::Recaller(const RecallSnapshot& snapshot)
    : aLen_(snapshot.aLen), bLen_(snapshot.bLen), calc_(snapshot.calc), options_(snapshot.options)
{
    // A recall reads the block of the rows and columns it takes, in the
    // window's shape before any job has set one.
    int rows = aLen_, cols = bLen_;
    if (rows == 0 && cols == 0) {
        rows = 9;
        cols = 8;
    }
    const int cells = rows < 0 || cols < 0 ? 0 : std::min(rows * cols, kMatrixCells);
    cells_.assign(&snapshot.w[1], &snapshot.w[1] + cells);
    whole_ = !options_.referenceArithmetic && wholeSmallMatrix();
    large_ = !whole_ && wholeLargeMatrix();
}

EngineState& Recaller::engine()
{
    if (!engine_) {
        engine_ = std::make_unique<EngineState>();
        engine_->setOptions(options_);
        // No pane and no formatting: a quiet engine raises what printing would.
        engine_->setQuiet(true);
        for (size_t k = 0; k < cells_.size(); ++k)
            engine_->setWeight(static_cast<int>(k) + 1, cells_[k]);
        engine_->setCalcVector(calc_);
        engine_->setPatternLengths(aLen_, bLen_);
    }
    return *engine_;
}

bool Recaller::wholeSmallMatrix() const
{
    if (aLen_ < 1 || bLen_ < 1 || bLen_ > kVectorSize || static_cast<size_t>(aLen_) * bLen_ != cells_.size())
        return false;
    for (int j = 0; j < bLen_; ++j) {
        double size = 0;
        for (int i = 0; i < aLen_; ++i) {
            const double w = cells_[static_cast<size_t>(i * bLen_ + j)];
            if (!(std::fabs(w) < 0x1p31) || std::nearbyint(w) != w)
                return false;
            size += std::fabs(w);
        }
        if (!(size < 0x1p31))
            return false;
    }
    return true;
}

bool Recaller::wholeLargeMatrix() const
{
    if (options_.referenceArithmetic || options_.portableOnly || !widerows::available() ||
        !largerows::largeStepsFit(kRecallUnity) || aLen_ < 1 || bLen_ < 1 || bLen_ > kVectorSize ||
        static_cast<size_t>(aLen_) * bLen_ != cells_.size())
        return false;
    for (const double w : cells_)
        if (!std::isfinite(w) || std::trunc(w) != w)
            return false;
    return true;
}

std::optional<RecallValues> Recaller::tryRecall(const TPatternVector& a)
{
    // Inputs 0 and 1 scale to 0 and the recall's unity: the product is the
    // sum of the rows of the ones, which largerows::sumRows makes, or finds
    // failing, as the engine's product would.
    int rows[9];
    int rowCount = 0;
    bool zeroOne = large_;
    for (int i = 1; i <= 9 && zeroOne; ++i) {
        zeroOne = a[i] == 0 || a[i] == 1;
        if (a[i] == 1 && i <= aLen_)
            rows[rowCount++] = (i - 1) * bLen_;
    }
    if (!zeroOne)
        return recall(a);
    Vector& store = calc_;
    const largerows::RowSums sums = largerows::sumRows(cells_.data(), rows, rowCount, bLen_, &store[1]);
    if (sums == largerows::RowSums::Fails)
        return std::nullopt;
    if (sums == largerows::RowSums::Unknown)
        return recall(a);
    RecallValues r{};
    for (int j = 1; j <= 8; ++j)
        r[static_cast<size_t>(j) - 1] = recalledValue(store[static_cast<size_t>(j)]);
    return r;
}

Recaller::~Recaller() = default;
Recaller::Recaller(Recaller&&) noexcept = default;
Recaller& Recaller::operator=(Recaller&&) noexcept = default;

RecallValues Recaller::recall(const TPatternVector& a)
{
    // Inputs 0 and 1 scale to 0 and the recall's unity: the product of a
    // whole, small matrix is then the sum of the rows of the ones, as the
    // engine's recallB makes it, without its checks at every recall.
    bool zeroOne = whole_;
    for (int i = 1; i <= 9 && zeroOne; ++i)
        zeroOne = a[i] == 0 || a[i] == 1;
    if (zeroOne) {
        // Every recall writes calcVector(1..bLen) before it reads it, and
        // none writes the rest: the engine's copy need not follow this one.
        Vector& store = calc_;
        double* const calc = &store[1];
        std::fill_n(calc, bLen_, 0.0);
        for (int i = 1; i <= std::min(aLen_, 9); ++i) {
            if (a[i] != 1)
                continue;
            const double* row = &cells_[static_cast<size_t>((i - 1) * bLen_)];
            for (int j = 0; j < bLen_; ++j)
                calc[j] += row[j]; // from +0: never negative zero
        }
        RecallValues r{};
        for (int j = 1; j <= 8; ++j)
            r[static_cast<size_t>(j) - 1] = recalledValue(store[static_cast<size_t>(j)]);
        return r;
    }
    TPatternVector b{};
    engine().recallB(a, b);
    RecallValues r{};
    std::copy(b.begin() + 1, b.begin() + 9, r.begin());
    return r;
}

std::vector<double> Recaller::recallValues(const std::vector<double>& a)
{
    if (aLen_ == 9 && bLen_ == 8 && a.size() == 9) {
        TPatternVector fixed{};
        std::copy(a.begin(), a.end(), fixed.begin() + 1);
        const RecallValues r = recall(fixed);
        return {r.begin(), r.end()};
    }
    std::vector<double> inputs(a);
    inputs.resize(static_cast<size_t>(std::clamp(aLen_, 0, kVectorSize)), 0.0);
    std::vector<double> out(static_cast<size_t>(std::clamp(bLen_, 0, kVectorSize)), 0.0);
    recallAnyLength(engine(), inputs.data(), out.data());
    return out;
}

RecallValues recallExact(const RecallSnapshot& snapshot, const TPatternVector& a)
{
    return Recaller(snapshot).recall(a);
}

StoredBs::StoredBs(const PatternPairs& list) : count_(list.size()), stride_((list.size() + 3) / 4 * 4)
{
    columns_.assign(8 * stride_, 0.0);
    for (std::size_t p = 0; p < count_; ++p)
        for (int j = 0; j < 8; ++j)
            columns_[static_cast<std::size_t>(j) * stride_ + p] = list[p].b[j + 1];
}

void StoredBs::distances(const RecallValues& r, std::size_t p, double out[4]) const
{
    // Four distances at a time, each summed in the order of B1..B8 as one
    // at a time would.
    using Four = double __attribute__((vector_size(4 * sizeof(double))));
    Four distance = {};
    for (int j = 0; j < 8; ++j) {
        Four b;
        std::memcpy(&b, &columns_[static_cast<std::size_t>(j) * stride_ + p], sizeof b);
        const Four d = r[j] - b;
        distance += d * d;
    }
    std::memcpy(out, &distance, sizeof distance);
}

int StoredBs::nearest(const RecallValues& r) const
{
    // The first of the least, as below.
    double best = 0;
    std::size_t bestAt = 0;
    for (std::size_t p = 0; p < stride_; p += 4) {
        double distance[4];
        distances(r, p, distance);
        for (std::size_t k = 0; k < 4 && p + k < count_; ++k) {
            if (p + k == 0 || distance[k] < best) {
                best = distance[k];
                bestAt = p + k;
            }
        }
    }
    return static_cast<int>(bestAt) + 1;
}

bool StoredBs::isNearest(const RecallValues& r, std::size_t own) const
{
    if (own >= count_)
        return count_ == 0 && own == 0;
    // nearest() ends at own when own's distance d is below every earlier
    // one that is a number (the first one a number too), and no later one
    // is below d.
    double distance[4];
    distances(r, 0, distance);
    const bool firstIsNumber = !std::isnan(distance[0]);
    distances(r, own / 4 * 4, distance);
    const double d = distance[own % 4];
    if (own > 0 && (std::isnan(d) || !firstIsNumber))
        return false;
    for (std::size_t p = 0; p < stride_; p += 4) {
        distances(r, p, distance);
        for (std::size_t k = 0; k < 4 && p + k < count_; ++k) {
            const std::size_t at = p + k;
            if (at < own ? distance[k] <= d : at > own && distance[k] < d)
                return false;
        }
    }
    return true;
}

RecallScore scoreErrors(const RecallValues& r, const TPatternVector& expected, double tol)
{
    RecallScore score;
    for (int j = 0; j < 8; ++j) {
        const double error = std::fabs(r[j] - expected[j + 1]);
        score.maxError = std::max(score.maxError, error);
        if (error > tol)
            ++score.outsideTol;
    }
    return score;
}

RecallScore scoreRecall(const RecallValues& r, const PatternPairs& list, std::size_t own, double tol,
                        const StoredBs* stored)
{
    RecallScore score = scoreErrors(r, list[own].b, tol);
    if (stored) {
        score.nearest = stored->nearest(r);
        return score;
    }
    // Squared distances; a pattern is left as soon as it cannot be nearer.
    double best = 0;
    for (std::size_t p = 0; p < list.size(); ++p) {
        double distance = 0;
        int j = 0;
        for (; j < 8 && (p == 0 || distance < best); ++j) {
            const double d = r[j] - list[p].b[j + 1];
            distance += d * d;
        }
        if (p == 0 || (j == 8 && distance < best)) {
            best = distance;
            score.nearest = static_cast<int>(p) + 1;
        }
    }
    return score;
}

void appendShortest(std::string& out, double value)
{
    // Plain decimals where they read easily (0.0001, not 1e-04), the
    // exponent form for the very large and very small.
    char buffer[64];
    const double size = std::fabs(value);
    const bool plain = size == 0 || (size >= 1e-5 && size < 1e16);
    const auto result = plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                              : std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace duolink
