// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asking a training run to stop. Each engine state has its own request flag
// (EngineState::stopFlag). The request may come from any thread or from a
// signal handler; the run looks at it at the end of every presentation and,
// when set, leaves its presentation loop as if the limit had been reached
// there, reporting "*** JOB STOPPED BY USER ***" instead of the limit line.
#include <atomic>

namespace duolink {

// The report and pane line of a run that was stopped.
inline constexpr const char* kStoppedLine = "*** JOB STOPPED BY USER ***";

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

// The first SIGINT, SIGTERM or SIGHUP sets `flag`; the handlers then give
// way to the default action, so a second signal ends the program at once.
// The flag must outlive the handlers (the program's run).
void stopOnInterruptSignals(std::atomic<bool>* flag);

} // namespace duolink
