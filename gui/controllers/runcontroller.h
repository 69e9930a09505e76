// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's session and its Solve, which trains on a worker thread while
// the window's event loop goes on. For the length of a run the worker owns
// the engine and its console channel; the window sees the run's output only
// through a ConsoleHandoff, shown about 30 times a second.
#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>

#include "core/session/session.h"

namespace duolink {

class ConsoleHandoff;
class LiveDisplay;

class RunController : public QObject {
    Q_OBJECT
public:
    // `live` shows the output of every command; it must outlive this.
    RunController(LiveDisplay& live, QObject* parent = nullptr);
    // A run still going is stopped and waited for.
    ~RunController() override;

    Session& session() { return session_; }
    EngineState& engine() { return session_.engine(); }

    // True from started() to finished().
    bool isRunning() const { return handoff_ != nullptr; }

    // Starts a Solve under the folder lock. When another run holds the
    // folder nothing starts and the FolderInUse outcome comes back at once;
    // otherwise started() is emitted now and finished() once the run ends.
    std::optional<Outcome> startSolve();
    // Asks a running Solve to stop after the presentation it is in.
    void requestStop();

    Outcome predict(const TPatternVector& a, TPatternVector& b);
    Outcome loadMatrix(const std::string& path);
    Outcome saveMatrix(const std::string& path);

signals:
    void started();
    // The run's output is all shown and the window may act again.
    void finished(const Outcome& outcome);

private:
    void showOutput();
    void endRun();
    // Hands the engine's sinks back to the window.
    void restoreSinks();

    Session session_;
    LiveDisplay& live_;
    std::unique_ptr<ConsoleHandoff> handoff_; // during a run
    // Each run gets a thread of its own, started after everything it shares
    // with this thread is in place (a pool thread kept from another task
    // would take the run through the pool's queue instead).
    std::unique_ptr<QThreadPool> pool_;
    QFutureWatcher<Outcome> watcher_;
    QTimer tick_;
    // A stop asked for before the worker started counts too.
    std::atomic<bool> stopAsked_{false};
    // The window could not take the output (out of memory).
    bool displayFailed_ = false;
};

} // namespace duolink
