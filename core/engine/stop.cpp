// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/stop.h"

#include <csignal>

namespace duolink {
namespace {

// A closed terminal (SIGHUP) stops the run as Ctrl-C does, so that its
// report is still finished.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

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
    for (int signal : kStopSignals)
        sigaction(signal, &defaults, nullptr);
}

} // namespace

void stopOnInterruptSignals(std::atomic<bool>* flag)
{
    signalledFlag.store(flag, std::memory_order_relaxed);
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
