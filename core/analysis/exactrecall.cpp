#include "core/analysis/exactrecall.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace duolink {

RecallSnapshot RecallSnapshot::of(const EngineState& engine)
{
    RecallSnapshot s;
    s.w = engine.wMatrix;
    s.calc = engine.calcVector;
    s.aLen = engine.aLen;
    s.bLen = engine.bLen;
    if (s.aLen == 0 && s.bLen == 0) {
        s.aLen = 9;
        s.bLen = 8;
    }
    return s;
}

Recaller::Recaller(const RecallSnapshot& snapshot) : engine_(std::make_unique<EngineState>())
{
    // No pane and no formatting: a quiet engine raises what printing would.
    engine_->quiet = true;
    engine_->wMatrix = snapshot.w;
    engine_->calcVector = snapshot.calc;
    engine_->aLen = snapshot.aLen;
    engine_->bLen = snapshot.bLen;
}

Recaller::~Recaller() = default;
Recaller::Recaller(Recaller&&) noexcept = default;
Recaller& Recaller::operator=(Recaller&&) noexcept = default;

RecallValues Recaller::recall(const TPatternVector& a)
{
    TPatternVector b{};
    engine_->recallB(a, b);
    RecallValues r{};
    std::copy(b.begin() + 1, b.begin() + 9, r.begin());
    return r;
}

RecallValues recallExact(const RecallSnapshot& snapshot, const TPatternVector& a)
{
    return Recaller(snapshot).recall(a);
}

RecallScore scoreRecall(const RecallValues& r, const PatternPairs& list, std::size_t own, double tol)
{
    RecallScore score;
    const TPatternVector& expected = list[own].b;
    for (int j = 0; j < 8; ++j) {
        const double error = std::fabs(r[j] - expected[j + 1]);
        score.maxError = std::max(score.maxError, error);
        if (error > tol)
            ++score.outsideTol;
    }
    // Squared distances, each summed in the order of B1..B8; a pattern is
    // left as soon as it cannot be nearer. The pair's own B, usually the
    // nearest, is measured first, which leaves most others early.
    const auto distanceTo = [&](std::size_t p, double best, std::size_t bestAt) {
        double distance = 0;
        for (int j = 0; j < 8; ++j) {
            const double d = r[j] - list[p].b[j + 1];
            distance += d * d;
            if (!(distance < best || (distance == best && p < bestAt)))
                return std::numeric_limits<double>::infinity();
        }
        return distance;
    };
    double best = 0;
    for (int j = 0; j < 8; ++j) {
        const double d = r[j] - expected[j + 1];
        best += d * d;
    }
    std::size_t bestAt = own;
    if (!std::isfinite(best)) {
        // Ties among infinite or undefined distances: the first pattern.
        best = std::numeric_limits<double>::infinity();
        bestAt = 0;
        for (std::size_t p = 0; p < list.size(); ++p) {
            double distance = 0;
            for (int j = 0; j < 8; ++j) {
                const double d = r[j] - list[p].b[j + 1];
                distance += d * d;
            }
            if (p == 0 || distance < best) {
                best = distance;
                bestAt = p;
            }
        }
    } else {
        for (std::size_t p = 0; p < list.size(); ++p) {
            if (p == own)
                continue;
            const double distance = distanceTo(p, best, bestAt);
            if (distance < best || (distance == best && p < bestAt)) {
                best = distance;
                bestAt = p;
            }
        }
    }
    score.nearest = static_cast<int>(bestAt) + 1;
    return score;
}

void appendShortest(std::string& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace duolink
