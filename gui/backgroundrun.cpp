#include "gui/backgroundrun.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <exception>
#include <thread>

#include "core/support/console.h"
#include "core/engine/state.h"
#include "gui/handoff.h"
#include "gui/qtsinks.h"

namespace duolink {
namespace {

// The engine's sinks for the length of a run, restored on every way out.
class SinksSwap {
public:
    SinksSwap(Console& console, ConsoleHandoff& handoff)
        : console_(console), pane_(console.consolePane), r2_(console.r2Edit), bar_(console.runProgressBar)
    {
        console.consolePane = handoff.paneSink();
        console.r2Edit = handoff.r2Sink();
        console.runProgressBar = handoff.barSink();
    }
    ~SinksSwap()
    {
        console_.consolePane = pane_;
        console_.r2Edit = r2_;
        console_.runProgressBar = bar_;
    }
    SinksSwap(const SinksSwap&) = delete;
    SinksSwap& operator=(const SinksSwap&) = delete;

private:
    Console& console_;
    ConsolePane* pane_;
    TextField* r2_;
    ProgressBar* bar_;
};

} // namespace

void runInBackground(EngineState& engine, LiveDisplay& live, const std::function<void()>& work)
{
    ConsoleHandoff handoff(live.progress());
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    {
        SinksSwap sinks(engine.console, handoff);
        // Nothing else touches the engine or the sinks until the join: the
        // thread's start and its join order everything the two sides share.
        std::thread worker([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            handoff.publish();
            done.store(true, std::memory_order_release);
        });

        ConsoleBatch batch;
        try {
            QEventLoop loop;
            QTimer tick;
            tick.setInterval(LiveDisplay::kRepaintIntervalMs);
            QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
                if (handoff.take(batch))
                    live.show(batch);
                if (done.load(std::memory_order_acquire))
                    loop.quit();
            });
            tick.start();
            loop.exec();
            if (!done.load(std::memory_order_acquire)) {
                // Something ended every event loop, so the program is
                // quitting: stop the run and wait for it.
                engine.requestStop();
                handoff.stopPacing();
            }
        } catch (...) {
            // The window could not take the output (out of memory): let the
            // run finish unpaced, then report the failure.
            engine.requestStop();
            handoff.stopPacing();
            worker.join();
            throw;
        }
        worker.join();
        if (handoff.take(batch))
            live.show(batch);
    }
    live.flush();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace duolink
