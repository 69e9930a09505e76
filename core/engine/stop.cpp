#include "core/engine/stop.h"

#include <atomic>
#include <csignal>

namespace duolink {
namespace {

// A closed terminal (SIGHUP) stops the run as Ctrl-C does, so that its
// report is still finished.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onInterruptSignal(int)
{
    stopFlag.store(true, std::memory_order_relaxed);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    for (int signal : kStopSignals)
        sigaction(signal, &defaults, nullptr);
}

} // namespace

void requestStop() noexcept
{
    stopFlag.store(true, std::memory_order_relaxed);
}

bool stopRequested() noexcept
{
    return stopFlag.load(std::memory_order_relaxed);
}

void clearStopRequest() noexcept
{
    stopFlag.store(false, std::memory_order_relaxed);
}

void stopOnInterruptSignals()
{
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    // Without SA_RESTART: a write blocked on a stalled reader returns, so
    // that the run sees the request.
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

} // namespace duolink
