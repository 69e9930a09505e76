#include "gui/backgroundrun.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <exception>
#include <thread>

#include "core/console.h"
#include "core/engine/stop.h"
#include "core/handoff.h"
#include "gui/qtsinks.h"

namespace duolink {
namespace {

// The engine's sinks for the length of a run, restored on every way out.
class SinksSwap {
public:
    explicit SinksSwap(ConsoleHandoff& handoff)
        : pane_(consolePane), r2_(r2Edit), bar_(runProgressBar)
    {
        consolePane = handoff.paneSink();
        r2Edit = handoff.r2Sink();
        runProgressBar = handoff.barSink();
    }
    ~SinksSwap()
    {
        consolePane = pane_;
        r2Edit = r2_;
        runProgressBar = bar_;
    }
    SinksSwap(const SinksSwap&) = delete;
    SinksSwap& operator=(const SinksSwap&) = delete;

private:
    ConsolePane* pane_;
    TextField* r2_;
    ProgressBar* bar_;
};

} // namespace

void runInBackground(LiveDisplay& live, const std::function<void()>& work)
{
    ConsoleHandoff handoff(live.progress());
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    {
        SinksSwap sinks(handoff);
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
                requestStop();
                handoff.stopPacing();
            }
        } catch (...) {
            // The window could not take the output (out of memory): let the
            // run finish unpaced, then report the failure.
            requestStop();
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
