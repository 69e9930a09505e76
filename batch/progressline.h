// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress of an analysis on a terminal: one line on standard error,
// redrawn in place: rows done of all rows, the rate and the time left.
#include <chrono>
#include <cstddef>
#include <string>

namespace duolink::batch {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    // `live` false: the line is never drawn (not a terminal, --quiet).
    ProgressLine(bool live, std::size_t total) : live_(live), total_(total), start_(Clock::now()) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `done` rows finished; drawn at most a few times a second.
    void update(std::size_t done);
    // Takes the line away, before anything else goes to the terminal.
    void clear();

private:
    bool live_;
    bool shown_ = false;
    std::size_t total_;
    Clock::time_point start_;
    Clock::time_point last_{};
};

} // namespace duolink::batch
