// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/threadpool.h"

#include <malloc.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace duolink {

void keepFreedMemoryForReuse()
{
    mallopt(M_TOP_PAD, 16 << 20);
}

ThreadPool::ThreadPool(unsigned threads)
    : threads_(threads ? threads : std::max(1u, std::thread::hardware_concurrency()))
{
}

bool ThreadPool::forEach(std::size_t count, const std::function<void(std::size_t)>& work,
                         WorkProgress* progress) const
{
    return forEachOnWorkers(count, [&work](std::size_t i, unsigned) { work(i); }, progress);
}

bool ThreadPool::forEachOnWorkers(std::size_t count, const std::function<void(std::size_t, unsigned)>& work,
                                  WorkProgress* progress) const
{
    if (progress)
        progress->total += count;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> completed{0};
    std::atomic<bool> failed{false};
    std::mutex failureMutex;
    std::size_t failureIndex = count;
    std::exception_ptr failure;

    const auto run = [&](unsigned worker) {
        for (;;) {
            if (failed.load(std::memory_order_relaxed) || (progress && progress->stopRequested()))
                return;
            const std::size_t i = next.fetch_add(1);
            if (i >= count)
                return;
            try {
                work(i, worker);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (i < failureIndex) {
                    failureIndex = i;
                    failure = std::current_exception();
                }
                failed = true;
            }
            completed.fetch_add(1, std::memory_order_relaxed);
            if (progress)
                progress->done.fetch_add(1, std::memory_order_relaxed);
        }
    };

    const std::size_t helpers = std::min<std::size_t>(threads_ - 1, count > 0 ? count - 1 : 0);
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t)
        threads.emplace_back(run, static_cast<unsigned>(t + 1));
    run(0);
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return completed.load() == count;
}

} // namespace duolink
