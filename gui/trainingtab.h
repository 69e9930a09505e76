#pragma once
// A tab whose run is many in-memory trainings of the working folder's job,
// one CSV row each (Capacity, Sweep). The rows come in in row order while the
// run goes on; a stopped run keeps the rows it finished. These tabs train
// from the job's parameters, not from the window's matrix, so a new matrix
// leaves their results as they are.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/analysis/memtrain.h"
#include "core/analysis/orderedrun.h"
#include "gui/analysiswindow.h"

class QTimer;

namespace duolink {

// Where the tabs find the job: the working folder and the list.
struct JobSource {
    std::function<QString()> folder;
    std::function<PatternPairs()> pairs;
    EngineOptions options; // the window's engine's
};

class RowQueue;

class TrainingTab : public AnalysisTab {
    Q_OBJECT
public:
    TrainingTab(AnalysisWindow& window, JobSource source);
    ~TrainingTab() override;

    bool hasResults() const override { return false; }
    bool running() const;
    // The CSV rows of the last run, each ended by '\n', in row order.
    const QStringList& rows() const { return rows_; }
    // The header and the rows, as the runner writes them.
    std::string csvText() const;

signals:
    // A run ended; `stopped` when Stop (Esc) or a failure cut it short.
    void runFinished(bool stopped);

protected:
    // Trains `count` rows with `task` on every core.
    void startRows(size_t count, analysis::OrderedTask task);
    virtual void rowAdded(size_t index, const QString& row) = 0;
    virtual void rowsEnded(bool stopped) = 0;
    virtual std::string header() const = 0;
    // The job's settings as a Solve in the working folder would read them,
    // with `overrides` ("beta=0.1 tol=0.2") set; nullopt with the reason shown.
    std::optional<analysis::JobTexts> jobSettings(const QString& overrides);
    void saveCsvAs();

    JobSource source_;
    QStringList rows_;

private:
    void takeRows();

    std::shared_ptr<RowQueue> queue_;
    QTimer* timer_;
    QString lastCsvName_;
};

// The fields of a CSV row (no quoting: the analyses write none).
QStringList csvFields(const QString& row);

} // namespace duolink
