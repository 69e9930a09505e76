#include "core/engine/stop.h"

#include <atomic>
#include <csignal>

namespace duolink {
namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onInterruptSignal(int)
{
    stopFlag.store(true, std::memory_order_relaxed);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(SIGINT, &defaults, nullptr);
    sigaction(SIGTERM, &defaults, nullptr);
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
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace duolink
