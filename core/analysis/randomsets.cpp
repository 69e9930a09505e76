// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/randomsets.h"

#include "core/analysis/splitmix64.h"
#include "core/patterns/patterns.h"

namespace duolink::analysis {

std::uint64_t setStartState(std::uint64_t seed, int n, int t)
{
    const std::uint64_t key = (static_cast<std::uint64_t>(n) << 32) + static_cast<std::uint32_t>(t);
    return seed ^ SplitMix64::mix(key + SplitMix64::kGamma);
}

PatternPairs randomSet(std::uint64_t seed, int n, int t, double p)
{
    SplitMix64 g(setStartState(seed, n, t));
    PatternPairs list(static_cast<size_t>(n));
    for (PatternPair& pair : list) {
        for (int e = 1; e <= 8; ++e)
            pair.a[e] = g.nextUnit() < p ? 1.0 : 0.0;
        for (int e = 1; e <= 8; ++e)
            pair.b[e] = g.nextUnit() < p ? 1.0 : 0.0;
        pair.a[9] = parityOf(pair.a);
        pair.b[9] = parityOf(pair.b);
    }
    return list;
}

ShapedPairs randomShapedSet(std::uint64_t seed, int n, int t, double p, ListShape shape)
{
    if (shape.fixed())
        return shapedFromFixed(randomSet(seed, n, t, p));
    SplitMix64 g(setStartState(seed, n, t));
    ShapedPairs list;
    list.shape = shape;
    list.a.assign(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(shape.aLen())));
    list.b.assign(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(shape.bLen())));
    for (size_t k = 0; k < list.size(); ++k) {
        for (int e = 0; e < shape.n; ++e)
            list.a[k][static_cast<size_t>(e)] = g.nextUnit() < p ? 1.0 : 0.0;
        for (double& value : list.b[k])
            value = g.nextUnit() < p ? 1.0 : 0.0;
        list.a[k].back() = parityOfValues(list.a[k].data(), shape.n);
    }
    return list;
}

} // namespace duolink::analysis
