// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// runOrdered (core/analysis/orderedrun.h) for tasks whose results are
// records rather than texts: each finished record waits in a slot of its own
// until its turn, and is handed on as it is, never as text.
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "core/analysis/orderedrun.h"

namespace duolink::analysis {

template <class Record>
using RecordTask = std::function<std::optional<Record>(size_t, unsigned, const std::atomic<bool>& stop)>;

// As runOrdered: task(i) for i = 0 .. count-1, deliver(i, record) in
// ascending i, one call at a time; what a stop leaves unfinished is skipped.
template <class Record>
OrderedRunStats runOrderedRecords(size_t count, const ThreadPool& pool, const RecordTask<Record>& task,
                                  const std::function<void(size_t, Record&&)>& deliver, WorkProgress& progress,
                                  const std::function<bool()>& stopRequested = {})
{
    // Bounded as runOrdered bounds the results that wait.
    std::mutex mutex;
    std::map<size_t, Record> waiting;
    const OrderedTask slotTask = [&](size_t i, unsigned worker,
                                     const std::atomic<bool>& stop) -> std::optional<std::string> {
        std::optional<Record> record = task(i, worker, stop);
        if (!record)
            return std::nullopt;
        const std::lock_guard lock(mutex);
        waiting.emplace(i, std::move(*record));
        return std::string();
    };
    return runOrdered(
        count, pool, slotTask,
        [&](size_t i, const std::string&) {
            std::unique_lock lock(mutex);
            auto node = waiting.extract(i);
            lock.unlock();
            deliver(i, std::move(node.mapped()));
        },
        progress, stopRequested);
}

} // namespace duolink::analysis
