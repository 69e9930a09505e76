#include "core/analysis/exactrecall.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace duolink {

namespace {
constexpr long double kRecallUnity = 10000;
constexpr int kInputCount = 9;
} // namespace

RecallSnapshot RecallSnapshot::ofEngine()
{
    RecallSnapshot s;
    s.w = wMatrix;
    s.calc = calcVector;
    s.aLen = duolink::aLen;
    s.bLen = duolink::bLen;
    if (s.aLen == 0 && s.bLen == 0) {
        s.aLen = 9;
        s.bLen = 8;
    }
    return s;
}

RecallValues recallExact(const RecallSnapshot& s, const TPatternVector& a)
{
    Vector x{};
    for (int i = 1; i <= kInputCount; ++i)
        x[i] = static_cast<double>(roundEven(kRecallUnity * a[i]));

    // The engine's vector-matrix product at unity 10000: a running sum over
    // the rows, rounded after every row.
    Vector out = s.calc;
    for (int j = 1; j <= s.bLen; ++j) {
        out[j] = 0;
        for (int i = 1; i <= s.aLen; ++i) {
            const long double product = static_cast<long double>(s.w[j + (i - 1) * s.bLen]) * x[i];
            if (std::isnan(product))
                throw RunError(kInvalidOp);
            const long double t = product / kRecallUnity + out[j];
            // Well inside the double range the checked store and rounding
            // come down to the plain ones; the checks cost more than the sum.
            if (std::fabs(t) < 0x1p62L) {
                out[j] = std::rint(static_cast<double>(t)) + 0.0;
                continue;
            }
            if (std::isnan(t))
                throw RunError(kInvalidOp);
            out[j] = static_cast<double>(roundEven(storeDouble(t)));
        }
    }

    RecallValues r{};
    for (int j = 1; j <= 8; ++j)
        r[j - 1] = static_cast<double>(static_cast<long double>(out[j]) / kRecallUnity);
    return r;
}

RecallScore scoreRecall(const RecallValues& r, const PatternList& list, std::size_t own, double tol)
{
    RecallScore score;
    const TPatternVector& expected = list[own].b;
    for (int j = 0; j < 8; ++j) {
        const double error = std::fabs(r[j] - expected[j + 1]);
        score.maxError = std::max(score.maxError, error);
        if (error > tol)
            ++score.outsideTol;
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
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace duolink
