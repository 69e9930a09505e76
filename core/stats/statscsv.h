// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The training statistics as CSV: one line per presentation, each real in the
// shortest form that reads back to the same double.
#include <atomic>
#include <string>
#include <string_view>

#include "core/engine/observer.h"

namespace duolink {

inline constexpr const char* kStatsHeader = "presentation,r2,missed_pairs,bit_errors,ber_total,all_recalled";

// Appends one line, '\n' included.
void appendStatsLine(std::string& out, const PresentationRecord& record);

// Writes the lines as the run goes, each one flushed, so that a file being
// followed (`tail -f`) or a run that ends early keeps every presentation made.
// A failed write raises RunError and so ends the run. The file may be a FIFO
// or a terminal: it is written into, never replaced, and a reader that stalls
// while the run is being stopped is left behind.
class StatsFileWriter final : public TrainingObserver {
public:
    StatsFileWriter() = default;
    StatsFileWriter(const StatsFileWriter&) = delete;
    StatsFileWriter& operator=(const StatsFileWriter&) = delete;
    ~StatsFileWriter();

    // Creates (or empties) the file and writes the header.
    void open(const std::string& path);
    void close() noexcept;
    // The run's stop flag: once it is set, a stalled reader is left behind.
    void watchStop(const std::atomic<bool>* stop) { stop_ = stop; }

    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& record) override;
    void solveEnded(RunEnd) override {}

private:
    void write(std::string_view text);

    int fd_ = -1;
    const std::atomic<bool>* stop_ = nullptr;
    std::string path_;
    std::string line_;
};

} // namespace duolink
