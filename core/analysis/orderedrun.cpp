#include "core/analysis/orderedrun.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace duolink::analysis {

int defaultJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

OrderedRunStats runOrdered(size_t count, int jobs, const OrderedTask& task,
                           const std::function<void(size_t, const std::string&)>& deliver,
                           const std::function<bool()>& stopRequested)
{
    std::atomic<bool> stop{false};
    jobs = std::max(1, jobs);
    const size_t window = static_cast<size_t>(jobs) * 64;
    std::mutex mutex;
    std::condition_variable claimable; // a worker may take the next task
    std::condition_variable finished;  // a result is in, or a worker left
    size_t nextClaim = 0, nextDeliver = 0;
    int running = jobs;
    // Results waiting for their turn; an empty optional marks a task that
    // did not finish.
    std::map<size_t, std::optional<std::string>> waiting;

    auto worker = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            claimable.wait(lock, [&] {
                return stop.load() || nextClaim >= count || nextClaim < nextDeliver + window;
            });
            if (stop.load() || nextClaim >= count)
                break;
            const size_t i = nextClaim++;
            lock.unlock();
            std::optional<std::string> result = task(i, stop);
            lock.lock();
            waiting.emplace(i, std::move(result));
            finished.notify_one();
        }
        --running;
        finished.notify_one();
    };

    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(jobs));
    for (int k = 0; k < jobs; ++k)
        threads.emplace_back(worker);

    OrderedRunStats stats;
    {
        std::unique_lock lock(mutex);
        for (;;) {
            // A stop may be asked for from a signal handler, which cannot
            // notify: look now and then.
            finished.wait_for(lock, std::chrono::milliseconds(50), [&] {
                return running == 0 || (!waiting.empty() && waiting.begin()->first == nextDeliver);
            });
            if (!stop.load() && stopRequested()) {
                stop.store(true);
                claimable.notify_all();
            }
            while (!waiting.empty() && waiting.begin()->first == nextDeliver) {
                std::optional<std::string> result = std::move(waiting.begin()->second);
                waiting.erase(waiting.begin());
                ++nextDeliver;
                claimable.notify_all();
                if (!result) {
                    stats.stopped = true;
                    continue;
                }
                lock.unlock();
                deliver(nextDeliver - 1, *result);
                ++stats.delivered;
                lock.lock();
            }
            if (running == 0)
                break;
        }
        // Stopped: what finished after a gap is still delivered, in order.
        for (auto& [i, result] : waiting) {
            if (!result)
                continue;
            lock.unlock();
            deliver(i, *result);
            ++stats.delivered;
            lock.lock();
        }
    }
    for (std::thread& t : threads)
        t.join();
    stats.stopped = stats.stopped || stats.delivered < count;
    return stats;
}

} // namespace duolink::analysis
