// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work split over threads for the analyses. Results never depend on the
// number of threads: every piece of work writes only its own slot, and the
// caller reduces the slots in index order afterwards.
#include <atomic>
#include <cstddef>
#include <functional>

namespace duolink {

// How far a run of pieces has come, and the request to stop it; shared
// with another thread (the window polls `done` and sets `stop`).
struct WorkProgress {
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    // Another stop request to heed, as a signal handler's flag; null: none.
    const std::atomic<bool>* signalStop = nullptr;

    bool stopRequested() const
    {
        return stop.load(std::memory_order_relaxed) ||
               (signalStop && signalStop->load(std::memory_order_relaxed));
    }
};

// For a program that runs many trainings on threads: each one allocates and
// frees about as much as the one before, and a heap that hands freed memory
// back to the system at once makes the next one fault it in again. Keeps
// some free memory at the top of each heap instead. Call once, early.
void keepFreedMemoryForReuse();

class ThreadPool {
public:
    // `threads` threads at most, the caller's included; 0 takes one per core.
    explicit ThreadPool(unsigned threads = 0);

    unsigned threadCount() const { return threads_; }

    // Runs work(i) for every i in [0, count): indexes are handed out in
    // increasing order to the calling thread and up to threadCount() - 1
    // threads started for the call. `progress`, when given, has `total`
    // raised by count and `done` counted up; a stop request ends the handing
    // out, and forEach returns false. An exception from a piece ends the
    // handing out too; once every thread is done, the exception of the lowest
    // index is rethrown, so that the same input fails the same way.
    bool forEach(std::size_t count, const std::function<void(std::size_t)>& work,
                 WorkProgress* progress = nullptr) const;
    // The same with work(i, worker): `worker`, in [0, threadCount()), names
    // the thread that runs the piece, for scratch state of one per thread.
    bool forEachOnWorkers(std::size_t count, const std::function<void(std::size_t, unsigned)>& work,
                          WorkProgress* progress = nullptr) const;

private:
    unsigned threads_;
};

} // namespace duolink
