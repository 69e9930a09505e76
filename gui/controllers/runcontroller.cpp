// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllers/runcontroller.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <new>

#ifdef __linux__
#include <sched.h>
#endif

#include "core/support/console.h"
#include "core/support/errors.h"
#include "pane/consolehandoff.h"
#include "pane/livedisplay.h"

namespace duolink {

namespace {

// Gives the calling thread a file table of its own, a copy of the process's.
// The kernel takes a reference and a lock on a file at every write of a
// thread that shares its table, which costs a run's hundreds of thousands
// of small report writes several percent; with a table of its own the run
// writes as the runner does. The thread sees the files open now, and the
// others never see the ones it opens; it refers to the open ones until it
// ends (the folder's lock is unlocked, not just closed).
void useOwnFileTable()
{
#ifdef __linux__
    (void)::unshare(CLONE_FILES);
#endif
}

} // namespace

RunController::RunController(LiveDisplay& live, QObject* parent) : QObject(parent), live_(live)
{
    // The switches of the arithmetic, read once for the window's engine.
    session_.engine().setOptions(engineOptionsFromEnvironment());
    tick_.setInterval(LiveDisplay::kRepaintIntervalMs);
    connect(&tick_, &QTimer::timeout, this, &RunController::showOutput);
    connect(&watcher_, &QFutureWatcher<Outcome>::finished, this, &RunController::endRun);
}

RunController::~RunController()
{
    if (!isRunning())
        return;
    // The program is ending during a run: stop it and wait for it, so that
    // the worker never outlives the engine.
    requestStop();
    handoff_->stopPacing();
    watcher_.waitForFinished();
    restoreSinks();
}

std::optional<Outcome> RunController::startSolve()
{
    if (isRunning())
        return std::nullopt;
    // The folder stays locked until the run has ended, so no other run (the
    // runner or another window) writes the same job files meanwhile.
    if (Outcome busy = session_.lockFolder(); !busy.ok())
        return busy;
    stopAsked_.store(false);
    displayFailed_ = false;
    live_.setRunning(true);
    handoff_ = std::make_unique<ConsoleHandoff>(live_.progress());
    Console& console = engine().consoleChannel();
    console.consolePane = handoff_->paneSink();
    console.r2Edit = handoff_->r2Sink();
    console.runProgressBar = handoff_->barSink();
    emit started();
    // Nothing on this thread touches the engine, its sinks or the list's
    // contents until finished: the task's start and its end order all that
    // the two sides share.
    ConsoleHandoff* handoff = handoff_.get();
    pool_ = std::make_unique<QThreadPool>();
    pool_->setMaxThreadCount(1);
    QThread* window = QThread::currentThread();
    watcher_.setFuture(QtConcurrent::run(pool_.get(), [this, handoff, window] {
        // The run's own thread, which ends with the run (not this thread,
        // when the window waits for a run that had not started yet).
        if (QThread::currentThread() != window)
            useOwnFileTable();
        Outcome outcome = session_.solve([this](const std::function<void()>& work) {
            if (stopAsked_.load())
                engine().requestStop();
            work();
        });
        handoff->publish();
        return outcome;
    }));
    tick_.start();
    return std::nullopt;
}

void RunController::requestStop()
{
    stopAsked_.store(true);
    engine().requestStop();
}

void RunController::showOutput()
{
    ConsoleBatch batch;
    try {
        if (handoff_->take(batch))
            live_.show(batch);
    } catch (const std::bad_alloc&) {
        // Let the run finish unpaced, then report the failure.
        displayFailed_ = true;
        tick_.stop();
        requestStop();
        handoff_->stopPacing();
    }
}

void RunController::endRun()
{
    tick_.stop();
    Outcome outcome = watcher_.result();
    if (!displayFailed_)
        showOutput();
    restoreSinks();
    handoff_.reset();
    pool_.reset(); // the run's thread ends, and its file table with it
    session_.unlockFolder();
    if (displayFailed_) {
        outcome.status = Outcome::Status::Failed;
        outcome.message = kOutOfMemory;
        outcome.outOfMemory = true;
        engine().consoleEndPendingLine();
    }
    live_.setRunning(false);
    live_.flush();
    emit finished(outcome);
}

void RunController::restoreSinks()
{
    Console& console = engine().consoleChannel();
    console.consolePane = live_.paneSink();
    console.r2Edit = live_.r2Sink();
    console.runProgressBar = live_.barSink();
}

Outcome RunController::predict(const TPatternVector& a, TPatternVector& b)
{
    return session_.predict(a, b);
}

Outcome RunController::loadMatrix(const std::string& path)
{
    return session_.loadMatrix(path);
}

Outcome RunController::saveMatrix(const std::string& path)
{
    return session_.saveMatrix(path);
}

} // namespace duolink
