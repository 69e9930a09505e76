// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One analysis run off the window's thread: a progress bar, a Stop button
// and a line that says how the run ended. The work runs on a thread of its
// own (and the threads it starts itself); a QFutureWatcher tells the window
// when it has ended, and the thread is joined before anything it wrote is
// read.
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "core/analysis/threadpool.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace duolink {

class AnalysisRun : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisRun(QWidget* parent = nullptr);
    // Stops a run and waits for it: the work may use what its owner holds.
    ~AnalysisRun() override;

    // Runs `work` on another thread; it counts its pieces in the progress it
    // is given and ends early when its `stop` is set. An exception ends the
    // run with its message. A run in progress is stopped first.
    void start(std::function<void(WorkProgress&)> work);
    bool isRunning() const;
    // Asks the run to stop; finished() follows.
    void stop();
    // Blocks until the run has ended (tests, and the destructor).
    void wait();

    // The line under the bar: the outcome, or what a tab wants to say.
    void setStatus(const QString& text);
    QString status() const;

    // What the bar's text counts ("rows" unless set).
    void setUnit(const QString& unit) { unit_ = unit; }

    // When the last run started and ended.
    std::chrono::system_clock::time_point startedAt() const { return startedAt_; }
    std::chrono::system_clock::time_point endedAt() const { return endedAt_; }

    QProgressBar* progressBar() const { return bar_; }
    QPushButton* stopButton() const { return stopButton_; }

signals:
    void started();
    // `completed` is false when the run was stopped or failed; `error` is the
    // failure's message.
    void finished(bool completed, const QString& error);

private:
    void showProgress();
    void runEnded();

    QProgressBar* bar_;
    QPushButton* stopButton_;
    QLabel* status_;
    QTimer* timer_;
    QElapsedTimer clock_;
    QString unit_;
    std::chrono::system_clock::time_point startedAt_, endedAt_;
    void joinWorker();

    QFutureWatcher<void> watcher_;
    std::thread worker_;
    std::shared_ptr<WorkProgress> progress_;
    std::shared_ptr<QString> error_; // written by the worker, read once it is joined
};

} // namespace duolink
