// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/orderedrun.h"

namespace duolink::analysis {

OrderedRunStats runOrdered(size_t count, const ThreadPool& pool, const OrderedTask& task,
                           const std::function<void(size_t, const std::string&)>& deliver, WorkProgress& progress,
                           const std::function<bool()>& stopRequested)
{
    return runOrderedOf<std::string>(count, pool, task, deliver, progress, stopRequested);
}

} // namespace duolink::analysis
