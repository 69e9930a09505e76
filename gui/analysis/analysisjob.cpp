#include "gui/analysis/analysisjob.h"

#include <QDir>
#include <QFile>

#include "core/analysis/jobtexts.h"
#include "core/parameters/paramsfile.h"
#include "core/engine/solve.h"

namespace duolink {

AnalysisJob::AnalysisJob(QObject* parent) : QObject(parent) {}

AnalysisJob::~AnalysisJob()
{
    stopRequested_ = true;
    join();
}

void AnalysisJob::join()
{
    if (thread_.joinable())
        thread_.join();
}

void AnalysisJob::start(size_t count, analysis::OrderedTask task)
{
    join();
    stopRequested_ = false;
    done_ = false;
    thread_ = std::thread([this, count, task = std::move(task)] {
        const analysis::OrderedRunStats stats = analysis::runOrdered(
            count, analysis::defaultJobs(), task,
            [this](size_t i, const std::string& text) {
                QMetaObject::invokeMethod(
                    this, [this, i, row = QString::fromStdString(text)] { emit rowReady(i, row); },
                    Qt::QueuedConnection);
            },
            [this] { return stopRequested_.load(); });
        QMetaObject::invokeMethod(
            this,
            [this, stopped = stats.stopped] {
                done_ = true;
                join();
                emit finished(stopped);
            },
            Qt::QueuedConnection);
    });
}

std::optional<analysis::JobTexts> workingFolderSettings(const QString& folder, const QString& overrides,
                                                        QString& error)
{
    const QDir dir(folder);
    QFile file(dir.filePath(QString::fromLatin1(kParametersFileName)));
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("The working folder has no parameters file veld200gSetup.dat.");
        return std::nullopt;
    }
    ParametersEdit edit;
    for (const QString& item : overrides.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const std::optional<Parameter> parameter = parameterByName(item.left(equals).toStdString());
        const std::string value = item.mid(equals + 1).toStdString();
        double number = 0;
        if (equals < 0 || !parameter || !parameterValue(*parameter, value, number)) {
            error = QStringLiteral("\"%1\" is not NAME=VALUE with a parameter name and a number.").arg(item);
            return std::nullopt;
        }
        edit.set(*parameter, value);
    }
    analysis::JobTexts settings;
    settings.parameters = editParameters(file.readAll().toStdString(), edit);
    const QStringList simulation =
        dir.entryList({QStringLiteral("nutest.dat")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    if (!simulation.isEmpty()) {
        QFile sim(dir.filePath(QFile::exists(dir.filePath(QStringLiteral("nutest.dat"))) ? QStringLiteral("nutest.dat")
                                                                                       : simulation.first()));
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
