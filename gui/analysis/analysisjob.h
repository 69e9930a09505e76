#pragma once
// Runs an analysis's trainings off the window's thread and hands each row
// back to it, in row order, as soon as it is ready.
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "core/analysis/memtrain.h"
#include "core/analysis/orderedrun.h"

namespace duolink {

class AnalysisJob : public QObject {
    Q_OBJECT
public:
    explicit AnalysisJob(QObject* parent = nullptr);
    ~AnalysisJob() override; // stops and waits

    bool running() const { return thread_.joinable() && !done_; }
    // Starts `count` tasks on every core. A running job must have ended.
    void start(size_t count, analysis::OrderedTask task);
    // Asks the job to stop; the finished rows still arrive, then finished().
    void stop() { stopRequested_ = true; }

signals:
    void rowReady(qulonglong index, const QString& text);
    void finished(bool stopped);

private:
    void join();
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    bool done_ = true;
};

// Where the tabs find the window's job: its working folder and its list.
struct AnalysisSource {
    std::function<QString()> folder;
    std::function<PatternPairs()> pairs;
};

// The job's settings as a Solve in `folder` would read them: the parameters
// file, with `overrides` ("beta=0.1 tol=0.2") set in it, and the simulation
// file. nullopt with `error` set when they cannot be had.
std::optional<analysis::JobTexts> workingFolderSettings(const QString& folder, const QString& overrides,
                                                        QString& error);

// The fields of a CSV row (no quoting: the analyses write none).
QStringList csvFields(const QString& row);

} // namespace duolink
