#include "core/engine/stop.h"

#include <csignal>

namespace duolink {
namespace {

// The flag the handler sets: a signal reaches the process, not one engine.
std::atomic<std::atomic<bool>*> signalledFlag{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free, "read in a signal handler");

extern "C" void onInterruptSignal(int)
{
    if (std::atomic<bool>* flag = signalledFlag.load(std::memory_order_relaxed))
        flag->store(true, std::memory_order_relaxed);
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(SIGINT, &defaults, nullptr);
    sigaction(SIGTERM, &defaults, nullptr);
}

} // namespace

void stopOnInterruptSignals(std::atomic<bool>* flag)
{
    signalledFlag.store(flag, std::memory_order_relaxed);
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace duolink
