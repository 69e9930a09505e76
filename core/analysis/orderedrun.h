// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Many independent tasks on a thread pool, their results handed on in task
// order as soon as each is next: a slow task holds back the ones after it,
// never the other way round. At most a window of results waits at any time,
// so memory stays flat however many tasks there are.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
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

// The same for results of any type T: task returns std::optional<T>, and
// deliver(i, const T&) takes them in ascending i.
template <class T, class Task, class Deliver>
OrderedRunStats runOrderedOf(size_t count, const ThreadPool& pool, const Task& task, const Deliver& deliver,
                             WorkProgress& progress, const std::function<bool()>& stopRequested = {})
{
    const size_t window = static_cast<size_t>(pool.threadCount()) * 64;
    std::mutex mutex;
    std::condition_variable advanced; // the next result to deliver moved on
    size_t nextDeliver = 0;
    bool delivering = false; // one thread at a time hands results on
    // Results waiting for their turn; an empty optional marks a task that
    // did not finish.
    std::map<size_t, std::optional<T>> waiting;
    OrderedRunStats stats;

    pool.forEachOnWorkers(
        count,
        [&](size_t i, unsigned worker) {
            if (stopRequested && stopRequested())
                progress.stop = true;
            std::unique_lock lock(mutex);
            // A stop may come from another thread that cannot notify: look
            // now and then.
            while (i >= nextDeliver + window && !progress.stop.load())
                advanced.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            std::optional<T> result;
            std::exception_ptr failure;
            try {
                if (!progress.stop.load())
                    result = task(i, worker, progress.stop);
            } catch (...) {
                // The others stop rather than wait for this row; the pool
                // raises the failure once they are done.
                failure = std::current_exception();
                progress.stop = true;
            }
            lock.lock();
            waiting.emplace(i, std::move(result));
            if (delivering) {
                // The thread that delivers takes this one too.
                lock.unlock();
                if (failure)
                    std::rethrow_exception(failure);
                return;
            }
            delivering = true;
            while (!waiting.empty() && waiting.begin()->first == nextDeliver) {
                auto next = waiting.extract(waiting.begin());
                ++nextDeliver;
                lock.unlock();
                if (next.mapped()) {
                    deliver(next.key(), *next.mapped());
                    ++stats.delivered;
                }
                lock.lock();
            }
            delivering = false;
            advanced.notify_all();
            lock.unlock();
            if (failure)
                std::rethrow_exception(failure);
        },
        &progress);
    // Stopped: what finished after a gap is still delivered, in order.
    for (auto& [i, result] : waiting) {
        if (!result)
            continue;
        deliver(i, *result);
        ++stats.delivered;
    }
    stats.stopped = stats.delivered < count;
    return stats;
}


} // namespace duolink::analysis
