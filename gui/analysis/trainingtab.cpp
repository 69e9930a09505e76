// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/trainingtab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimer>

#include <mutex>
#include <utility>
#include <vector>

#include "core/patterns/shapedlist.h"
#include "core/analysis/jobtexts.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "analysis/analysisrun.h"

namespace duolink {

// The records a run has handed on, waiting for the window's thread.
class RowQueue {
public:
    void push(TrainingTab::Record&& record)
    {
        const std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
    }
    std::vector<TrainingTab::Record> take()
    {
        const std::lock_guard lock(mutex_);
        return std::exchange(records_, {});
    }

private:
    std::mutex mutex_;
    std::vector<TrainingTab::Record> records_;
};

namespace {
constexpr int kTakeMs = 100;
constexpr qint64 kCopyBytes = 1 << 16;
} // namespace

TrainingTab::TrainingTab(AnalysisWindow& window, JobSource source)
    : AnalysisTab(window), source_(std::move(source)), timer_(new QTimer(this))
{
    timer_->setInterval(kTakeMs);
    connect(timer_, &QTimer::timeout, this, &TrainingTab::takeRows);
    connect(run_, &AnalysisRun::finished, this, [this](bool completed, const QString& error) {
        timer_->stop();
        takeRows();
        if (rowsFile_)
            rowsFile_->flush();
        const QString failure = run_->status();
        provenance_.stopped = !completed;
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

bool TrainingTab::startRows(size_t count, analysis::RecordTask<Record> task)
{
    auto file = std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("duolink-rows-XXXXXX.csv")));
    if (!file->open()) {
        run_->setStatus(tr("Cannot keep the rows in the temporary folder %1: %2")
                            .arg(QDir::toNativeSeparators(QDir::tempPath()), file->errorString()));
        return false;
    }
    rowsFile_ = std::move(file);
    rowCount_ = 0;
    rowTotal_ = count;
    provenance_ = {};
    queue_ = std::make_shared<RowQueue>();
    run_->start([count, task = std::move(task), queue = queue_](WorkProgress& progress) {
        analysis::runOrderedRecords<Record>(
            count, ThreadPool(), task, [&queue](size_t, Record&& record) { queue->push(std::move(record)); },
            progress);
    });
    timer_->start();
    return true;
}

void TrainingTab::takeRows()
{
    if (!queue_)
        return;
    const std::vector<Record> records = queue_->take();
    if (records.empty())
        return;
    std::string text;
    for (const Record& r : records)
        text += rowText(r);
    if (rowsFile_ && rowsFile_->write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
        run_->setStatus(tr("Cannot keep the rows in %1: %2. Save CSV will not have them all.")
                            .arg(QDir::toNativeSeparators(rowsFile_->fileName()), rowsFile_->errorString()));
    rowCount_ += records.size();
    for (const Record& r : records)
        ++provenance_.outcomes[static_cast<size_t>(std::visit([](const auto& row) { return row.result.outcome; }, r))];
    recordsAdded(records);
}

bool TrainingTab::writeRows(const std::function<bool(std::string_view)>& write) const
{
    if (!write(header() + '\n'))
        return false;
    if (!rowsFile_)
        return true;
    QFile rows(rowsFile_->fileName());
    if (!rows.open(QIODevice::ReadOnly))
        return false;
    for (QByteArray chunk = rows.read(kCopyBytes); !chunk.isEmpty(); chunk = rows.read(kCopyBytes))
        if (!write(std::string_view(chunk.constData(), static_cast<size_t>(chunk.size()))))
            return false;
    return rows.error() == QFileDevice::NoError;
}

std::string TrainingTab::csvText() const
{
    std::string text;
    writeRows([&text](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

std::string TrainingTab::rowsText() const
{
    return rowCount_ == 0 ? std::string() : csvText().substr(header().size() + 1);
}

void TrainingTab::saveCsvAs()
{
    saveStreamAs(
        tr("CSV file (*.csv)"), "csv", lastCsvName_,
        [this](const std::function<bool(std::string_view)>& write) { return writeRows(write); },
        [this] {
            analysis::Provenance p = provenance_;
            const analysis::Provenance run = runProvenance();
            p.command = run.command;
            p.started = run.started;
            p.ended = run.ended;
            return p;
        });
}

void TrainingTab::recordRequest(analysis::AnalysisSpec request)
{
    provenance_.folder = QFile::encodeName(QDir(source_.folder ? source_.folder() : QString()).absolutePath()).toStdString();
    provenance_.jobs = ThreadPool(request.jobs).threadCount();
    provenance_.inputs = readFiles_;
    if (request.kind == analysis::AnalysisKind::Sweep) {
        // The list as the window held it, in the form Save List writes.
        provenance_.list = tr("the window's list").toStdString();
        provenance_.listSha256 = analysis::sha256Hex(shapedListText(request.list));
    }
    provenance_.request = std::move(request);
}

void TrainingTab::showTol(QLabel* label, const QString& overrides)
{
    if (const std::optional<analysis::JobTexts> settings = jobSettings(overrides, false))
        label->setText(tolText(*settings, overrides));
}

void TrainingTab::showEvent(QShowEvent* event)
{
    AnalysisTab::showEvent(event);
    if (!running())
        refreshTol();
}

QString TrainingTab::tolText(const analysis::JobTexts& settings, const QString& overrides)
{
    const ParameterValues values = readParameterValues(settings.parameters.value_or(std::string()));
    std::string tol;
    appendShortest(tol, values[Parameter::Tol]);
    const bool set = overrides.contains(QRegularExpression(QStringLiteral("(^|\\s)tol=")));
    return set ? tr("TOL %1, set in Parameter changes").arg(QString::fromStdString(tol))
               : tr("TOL %1, from %2").arg(QString::fromStdString(tol), QString::fromLatin1(kParametersFileName));
}

std::optional<analysis::JobTexts> TrainingTab::jobSettings(const QString& overrides, bool report)
{
    const auto setStatus = [&](const QString& text) {
        if (report)
            run_->setStatus(text);
    };
    const QDir dir(source_.folder ? source_.folder() : QString());
    QFile file(dir.filePath(QString::fromLatin1(kParametersFileName)));
    if (!file.open(QIODevice::ReadOnly)) {
        setStatus(tr("The working folder has no parameters file %1.").arg(kParametersFileName));
        return std::nullopt;
    }
    const QByteArray parameters = file.readAll();
    readFiles_ = {{"parameters", QFile::encodeName(QFileInfo(file).absoluteFilePath()).toStdString(),
                   analysis::sha256Hex(std::string_view(parameters.constData(), static_cast<size_t>(parameters.size())))}};
    ParametersEdit edit;
    for (const QString& item : overrides.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const std::optional<Parameter> parameter = parameterByName(item.left(equals).toStdString());
        const std::string value = item.mid(equals + 1).toStdString();
        double number = 0;
        if (equals < 0 || !parameter || !parameterValue(*parameter, value, number)) {
            setStatus(tr("\"%1\" is not NAME=VALUE with a parameter name and a number.").arg(item));
            return std::nullopt;
        }
        edit.set(*parameter, value);
    }
    analysis::JobTexts settings;
    settings.options = source_.options;
    settings.parameters = editParameters(parameters.toStdString(), edit);
    // The simulation file as the engine finds it: nutest.dat, or the first
    // name that differs from it in letter case only.
    const QStringList simulation =
        dir.entryList({QStringLiteral("nutest.dat")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (!simulation.isEmpty()) {
        const QString exact = QStringLiteral("nutest.dat");
        QFile sim(dir.filePath(simulation.contains(exact) ? exact : simulation.first()));
        if (sim.open(QIODevice::ReadOnly)) {
            settings.simulation = sim.readAll().toStdString();
            readFiles_.push_back({"simulation", QFile::encodeName(QFileInfo(sim).absoluteFilePath()).toStdString(),
                                  analysis::sha256Hex(*settings.simulation)});
        }
    }
    return settings;
}

QString JobSource::refusal(const ShapedPairs& list) const
{
    if (QString problem = listProblem ? listProblem() : QString(); !problem.isEmpty())
        return problem;
    if (list.size() == 0)
        return TrainingTab::tr("The list is empty: add pairs or open a pattern list first.");
    return {};
}

} // namespace duolink
