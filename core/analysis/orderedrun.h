#pragma once
// Runs many independent tasks on worker threads and hands their results on in
// task order as soon as each is next: a slow task holds back the ones after
// it, never the other way round. At most a window of results waits at any
// time, so memory stays flat however many tasks there are.
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace duolink::analysis {

struct OrderedRunStats {
    size_t delivered = 0; // results handed on
    bool stopped = false; // the stop flag ended the run early
};

using OrderedTask = std::function<std::optional<std::string>(size_t, const std::atomic<bool>& stop)>;

// `task(i, stop)` for i = 0 .. count-1 on `jobs` threads; nullopt means the
// task did not finish (it saw `stop` set). `deliver(i, text)` runs on the
// calling thread, in ascending i. The calling thread asks `stopRequested`
// every 50 ms or so; once it says yes, no new task starts, and the finished
// results are still delivered, in ascending i, skipping the unfinished ones.
OrderedRunStats runOrdered(size_t count, int jobs, const OrderedTask& task,
                           const std::function<void(size_t, const std::string&)>& deliver,
                           const std::function<bool()>& stopRequested);

// The number of threads to use by default: every core.
int defaultJobs();

} // namespace duolink::analysis
