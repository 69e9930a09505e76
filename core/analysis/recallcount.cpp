#include "core/analysis/recallcount.h"

#include <algorithm>
#include <cmath>

#include "core/engine/errors.h"

namespace duolink::analysis {

namespace {

constexpr int kRecallUnity = 10000;

// The eight recalled values, exact: the product divided by UNITY.
bool recallValues(const TrainingResult& t, const TPatternVector& a, std::array<long double, 9>& out)
{
    try {
        Vector x{};
        for (int i = 1; i <= 9; ++i)
            x[i] = static_cast<double>(roundEven(static_cast<long double>(kRecallUnity) * a[i]));
        const long double u = kRecallUnity;
        out.fill(0);
        for (int j = 1; j <= std::min(t.bLen, 8); ++j) {
            double sum = 0;
            for (int i = 1; i <= t.aLen; ++i) {
                const long double p = static_cast<long double>(t.w[j + (i - 1) * t.bLen]) * x[i];
                if (std::isnan(p))
                    throw RunError(kInvalidOp);
                const long double s = fdiv(p, u) + sum;
                if (std::isnan(s))
                    throw RunError(kInvalidOp);
                sum = static_cast<double>(roundEven(storeDouble(s)));
            }
            out[j] = static_cast<long double>(sum) / kRecallUnity;
        }
        return true;
    } catch (const RunError&) {
        return false;
    }
}

bool sameB(const TPatternVector& x, const TPatternVector& y)
{
    for (int j = 1; j <= 8; ++j)
        if (x[j] != y[j])
            return false;
    return true;
}

} // namespace

RecallCounts countRecalls(const TrainingResult& trained, const PatternPairs& list)
{
    RecallCounts counts;
    if (trained.aLen < 1 || trained.bLen < 1)
        return counts;
    std::array<long double, 9> r{};
    for (const PatternPair& pair : list) {
        if (!recallValues(trained, pair.a, r))
            continue;
        bool within = true;
        for (int j = 1; j <= 8; ++j)
            if (std::fabs(r[j] - pair.b[j]) > trained.tol)
                within = false;
        counts.recalled += within;
        size_t nearest = 0;
        long double best = 0;
        for (size_t k = 0; k < list.size(); ++k) {
            long double d = 0;
            for (int j = 1; j <= 8; ++j)
                d += (r[j] - list[k].b[j]) * (r[j] - list[k].b[j]);
            if (k == 0 || d < best) {
                best = d;
                nearest = k;
            }
        }
        counts.nearestOwn += sameB(list[nearest].b, pair.b);
    }
    return counts;
}

} // namespace duolink::analysis
