// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing to a stream whose reader may stall: a pipe, a FIFO, a terminal.
// A blocked write must not keep a stop request from ending the run.
#include <atomic>
#include <cstddef>
#include <string_view>

namespace duolink {

// What writeUnlessStopped returns when it gave up: a stop was requested
// while the reader took nothing. Not a system errno value.
inline constexpr int kWriteAbandoned = -1;

// Writes all of `data` to `fd`, waiting for the reader as long as no stop is
// requested (through `stop`, an engine's stop flag; null: never); once one
// is, a reader that takes nothing for a moment is given up. Returns 0, the
// errno of a failed write, or kWriteAbandoned; `written` tells how much went
// out. `regularKept`, when given, keeps whether `fd` is a regular file from one
// call to the next (-1: not known yet), so that it is asked once.
int writeUnlessStopped(int fd, std::string_view data, size_t& written,
                       const std::atomic<bool>* stop, int* regularKept = nullptr) noexcept;

} // namespace duolink
