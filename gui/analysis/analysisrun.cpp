// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysisrun.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QPromise>

#include <exception>
#include <new>

#include "core/support/progresstext.h"

namespace duolink {

namespace {
constexpr int kBarSteps = 1000;
constexpr int kRefreshMs = 50;
} // namespace

AnalysisRun::AnalysisRun(QWidget* parent)
    : QWidget(parent), bar_(new QProgressBar), stopButton_(new QPushButton(tr("Stop"))), status_(new QLabel),
      timer_(new QTimer(this)), unit_(tr("rows"))
{
    bar_->setRange(0, kBarSteps);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    bar_->setMaximumWidth(400);
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setToolTip(tr("Stop the analysis (Esc)"));
    stopButton_->setEnabled(false);
    status_->setObjectName(QStringLiteral("runStatus"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setWordWrap(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(status_, 1);
    layout->addWidget(bar_);
    layout->addWidget(stopButton_);

    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &AnalysisRun::showProgress);
    connect(stopButton_, &QPushButton::clicked, this, &AnalysisRun::stop);
    connect(&watcher_, &QFutureWatcher<void>::finished, this, &AnalysisRun::runEnded);
}

AnalysisRun::~AnalysisRun()
{
    if (progress_)
        progress_->stop = true;
    watcher_.disconnect(this);
    joinWorker();
}

void AnalysisRun::joinWorker()
{
    if (worker_.joinable())
        worker_.join();
}

void AnalysisRun::start(std::function<void(WorkProgress&)> work)
{
    if (isRunning()) {
        stop();
        wait();
    }
    joinWorker();
    progress_ = std::make_shared<WorkProgress>();
    error_ = std::make_shared<QString>();
    QPromise<void> promise;
    watcher_.setFuture(promise.future());
    // The worker holds its own references to what it writes.
    worker_ = std::thread([work = std::move(work), progress = progress_, error = error_,
                           promise = std::move(promise)]() mutable {
        promise.start();
        try {
            work(*progress);
        } catch (const std::bad_alloc&) {
            *error = tr("Out of memory.");
        } catch (const std::exception& e) {
            *error = QString::fromLocal8Bit(e.what());
        }
        promise.finish();
    });
    bar_->setValue(0);
    bar_->setFormat(QString());
    bar_->setTextVisible(true);
    clock_.start();
    startedAt_ = endedAt_ = std::chrono::system_clock::now();
    stopButton_->setEnabled(true);
    status_->setText(tr("Working\u2026"));
    timer_->start();
    emit started();
}

bool AnalysisRun::isRunning() const
{
    return progress_ && stopButton_->isEnabled();
}

void AnalysisRun::stop()
{
    if (progress_)
        progress_->stop = true;
}

void AnalysisRun::wait()
{
    watcher_.waitForFinished();
    joinWorker();
    // The finished signal is queued; deliver it now.
    if (isRunning())
        runEnded();
}

void AnalysisRun::setStatus(const QString& text)
{
    status_->setText(text);
}

QString AnalysisRun::status() const
{
    return status_->text();
}

void AnalysisRun::showProgress()
{
    if (!progress_)
        return;
    const std::size_t total = progress_->total.load();
    const std::size_t done = progress_->done.load();
    bar_->setValue(total ? static_cast<int>(done * kBarSteps / total) : 0);
    // Rows done of all rows, the rate and the time left, as the runner says.
    const double seconds = static_cast<double>(clock_.elapsed()) / 1000;
    bar_->setFormat(total ? QString::fromStdString(progressText(done, total, seconds, unit_.toStdString()))
                          : QString());
}

void AnalysisRun::runEnded()
{
    if (!stopButton_->isEnabled())
        return;
    joinWorker();
    endedAt_ = std::chrono::system_clock::now();
    timer_->stop();
    stopButton_->setEnabled(false);
    const QString error = *error_;
    const bool stopped = progress_->stop.load();
    bar_->setValue(stopped || !error.isEmpty() ? 0 : kBarSteps);
    bar_->setTextVisible(false);
    if (!error.isEmpty())
        status_->setText(tr("The analysis failed: %1").arg(error));
    else if (stopped)
        status_->setText(tr("Stopped. The table shows the last complete run."));
    emit finished(error.isEmpty() && !stopped, error);
}

} // namespace duolink
