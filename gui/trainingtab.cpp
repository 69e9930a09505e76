#include "gui/trainingtab.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <mutex>
#include <utility>
#include <vector>

#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "gui/analysisrun.h"

namespace duolink {

// The rows a run has handed on, waiting for the window's thread.
class RowQueue {
public:
    void push(size_t index, const std::string& row)
    {
        const std::lock_guard lock(mutex_);
        rows_.emplace_back(index, row);
    }
    std::vector<std::pair<size_t, std::string>> take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(rows_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<size_t, std::string>> rows_;
};

namespace {
constexpr int kTakeMs = 100;
} // namespace

TrainingTab::TrainingTab(AnalysisWindow& window, JobSource source)
    : AnalysisTab(window), source_(std::move(source)), timer_(new QTimer(this))
{
    timer_->setInterval(kTakeMs);
    connect(timer_, &QTimer::timeout, this, &TrainingTab::takeRows);
    connect(run_, &AnalysisRun::finished, this, [this](bool completed, const QString& error) {
        timer_->stop();
        takeRows();
        const QString failure = run_->status();
        rowsEnded(!completed);
        if (!error.isEmpty())
            run_->setStatus(failure); // the reason outweighs the count
        emit runFinished(!completed);
    });
}

TrainingTab::~TrainingTab()
{
    // A run that ends now must not reach the tab's parts that are gone; the
    // run holds its own queue, and the AnalysisRun joins it.
    run_->disconnect(this);
    run_->stop();
}

bool TrainingTab::running() const
{
    return run_->isRunning();
}

void TrainingTab::startRows(size_t count, analysis::OrderedTask task)
{
    rows_.clear();
    queue_ = std::make_shared<RowQueue>();
    run_->start([count, task = std::move(task), queue = queue_](WorkProgress& progress) {
        analysis::runOrdered(
            count, ThreadPool(), task, [&queue](size_t i, const std::string& row) { queue->push(i, row); },
            progress);
    });
    timer_->start();
}

void TrainingTab::takeRows()
{
    if (!queue_)
        return;
    for (auto& [index, row] : queue_->take()) {
        rows_.append(QString::fromStdString(row));
        rowAdded(index, rows_.back());
    }
}

std::string TrainingTab::csvText() const
{
    std::string text = header() + '\n';
    for (const QString& row : rows_)
        text += row.toStdString();
    return text;
}

void TrainingTab::saveCsvAs()
{
    saveTextAs(tr("CSV file (*.csv)"), "csv", lastCsvName_, csvText());
}

std::optional<analysis::JobTexts> TrainingTab::jobSettings(const QString& overrides)
{
    const QDir dir(source_.folder ? source_.folder() : QString());
    QFile file(dir.filePath(QString::fromLatin1(kParametersFileName)));
    if (!file.open(QIODevice::ReadOnly)) {
        run_->setStatus(tr("The working folder has no parameters file %1.").arg(kParametersFileName));
        return std::nullopt;
    }
    ParametersEdit edit;
    for (const QString& item : overrides.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const std::optional<Parameter> parameter = parameterByName(item.left(equals).toStdString());
        const std::string value = item.mid(equals + 1).toStdString();
        double number = 0;
        if (equals < 0 || !parameter || !parameterValue(*parameter, value, number)) {
            run_->setStatus(tr("\"%1\" is not NAME=VALUE with a parameter name and a number.").arg(item));
            return std::nullopt;
        }
        edit.set(*parameter, value);
    }
    analysis::JobTexts settings;
    settings.options = source_.options;
    settings.parameters = editParameters(file.readAll().toStdString(), edit);
    // The simulation file as the engine finds it: nutest.dat, or the first
    // name that differs from it in letter case only.
    const QStringList simulation =
        dir.entryList({QStringLiteral("nutest.dat")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (!simulation.isEmpty()) {
        const QString exact = QStringLiteral("nutest.dat");
        QFile sim(dir.filePath(simulation.contains(exact) ? exact : simulation.first()));
        if (sim.open(QIODevice::ReadOnly))
            settings.simulation = sim.readAll().toStdString();
    }
    return settings;
}

QStringList csvFields(const QString& row)
{
    return row.trimmed().split(QLatin1Char(','));
}

} // namespace duolink
