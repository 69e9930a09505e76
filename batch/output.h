// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard output of the runner. A failed write never stops the job: a
// reader that leaves early (a closed pipe) just ends the output, as does one
// that stalls while the run is being stopped; any other failure is
// remembered for the end of the run.
#include <atomic>
#include <algorithm>
#include <memory>
#include <string_view>

namespace duolink::batch {

// Puts /dev/null on standard input, output and error where they are closed,
// so that no file the run opens takes their place. Returns false when
// standard output was closed.
bool reserveStandardStreams();

class StandardOutput {
public:
    // `open` false: standard output was closed before the run.
    explicit StandardOutput(bool open);
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    void write(std::string_view text);
    // The line and a line feed, kept together in the buffer.
    void writeLine(std::string_view line)
    {
        if (line.size() < kBufferSize - used_) {
            std::copy_n(line.data(), line.size(), buffer_.get() + used_); // an empty line may have no data
            used_ += line.size();
            buffer_[used_++] = '\n';
            return;
        }
        writeLongLine(line);
    }
    // Whole lines, each with its line feed: in one copy when they all fit
    // in the buffer, else one by one as writeLine takes them, so that the
    // buffer goes out at the same places.
    void writeBlock(std::string_view lines)
    {
        if (lines.size() <= kBufferSize - used_) {
            std::copy_n(lines.data(), lines.size(), buffer_.get() + used_);
            used_ += lines.size();
            return;
        }
        writeLinesOfBlock(lines);
    }
    void flush();

    // The errno of the first failure other than a closed pipe, or 0.
    int error() const { return error_; }
    // The run's stop flag: once it is set, a stalled reader is left behind.
    void watchStop(const std::atomic<bool>* stop) { stop_ = stop; }

private:
    static constexpr size_t kBufferSize = 1 << 18;
    void writeLongLine(std::string_view line);
    void writeLinesOfBlock(std::string_view lines);
    void send(std::string_view data);

    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    const std::atomic<bool>* stop_ = nullptr;
    bool stopped_ = false;
    int error_ = 0;
    int regular_ = -1; // whether standard output is a regular file; -1: not asked yet
};

} // namespace duolink::batch
