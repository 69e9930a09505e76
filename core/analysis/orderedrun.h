#pragma once
// Many independent tasks on a thread pool, their results handed on in task
// order as soon as each is next: a slow task holds back the ones after it,
// never the other way round. At most a window of results waits at any time,
// so memory stays flat however many tasks there are.
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "core/analysis/threadpool.h"

namespace duolink::analysis {

struct OrderedRunStats {
    size_t delivered = 0; // results handed on
    bool stopped = false; // a stop ended the run early
};

// task(i, worker, stop): `worker` names the pool thread (for scratch state
// of one per thread); nullopt means the task did not finish (it saw `stop`).
using OrderedTask = std::function<std::optional<std::string>(size_t, unsigned, const std::atomic<bool>& stop)>;

// task(i) for i = 0 .. count-1 on `pool`. deliver(i, text) runs once a result
// is next, one call at a time, in ascending i, on whichever thread finished
// it. `progress.stop`, or `stopRequested` (asked before each task; for a
// signal handler's flag), ends the handing out of tasks; the finished results
// are still delivered, in ascending i, skipping the unfinished ones.
OrderedRunStats runOrdered(size_t count, const ThreadPool& pool, const OrderedTask& task,
                           const std::function<void(size_t, const std::string&)>& deliver, WorkProgress& progress,
                           const std::function<bool()>& stopRequested = {});

} // namespace duolink::analysis
