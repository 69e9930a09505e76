// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/recallcount.h"

#include "core/support/errors.h"

namespace duolink::analysis {

void checkAnalysisShape(int aLen)
{
    if (aLen != kAnalysisALen)
        throw RunError("the analyses take jobs of A Len " + std::to_string(kAnalysisALen) +
                       " (eight values and the parity); this job has A Len " + std::to_string(aLen));
}

RecallCounts countRecalls(const TrainingResult& trained, const PatternPairs& list)
{
    RecallCounts counts;
    if (trained.matrix.aLen < 1 || trained.matrix.bLen < 1)
        return counts;
    Recaller recaller(trained.matrix);
    const StoredBs stored(list);
    for (size_t k = 0; k < list.size(); ++k) {
        try {
            const std::optional<RecallValues> r = recaller.tryRecall(list[k].a);
            if (!r)
                continue;
            counts.recalled += scoreErrors(*r, list[k].b, trained.tol).outsideTol == 0;
            counts.nearestOwn += stored.isNearest(*r, k);
        } catch (const RunError&) {
        }
    }
    return counts;
}

} // namespace duolink::analysis
