#pragma once
// Asking a training run to stop. The request may come from any thread or from
// a signal handler; the run looks at it at the end of every presentation and,
// when set, leaves its presentation loop as if the limit had been reached
// there, reporting "*** JOB STOPPED BY USER ***" instead of the limit line.

namespace duolink {

// The report and pane line of a run that was stopped.
inline constexpr const char* kStoppedLine = "*** JOB STOPPED BY USER ***";

// Async-signal-safe and thread-safe.
void requestStop() noexcept;
bool stopRequested() noexcept;
// Forgets a request; for the start of a new run, before it begins.
void clearStopRequest() noexcept;

// The first SIGINT, SIGTERM or SIGHUP asks the run to stop; the handlers then
// give way to the default action, so a second signal ends the program at once.
void stopOnInterruptSignals();

} // namespace duolink
