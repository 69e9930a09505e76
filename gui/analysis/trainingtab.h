// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A tab whose run is many in-memory trainings of the working folder's job,
// one record each (Capacity, Sweep). The records come in in row order, in
// batches, while the run goes on; a stopped run keeps the rows it finished.
// The tab keeps what its chart needs; the CSV rows wait in a temporary file
// for Save, so a run of any length fits in bounded memory. These tabs train
// from the job's parameters, not from the window's matrix, so a new matrix
// leaves their results as they are.
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/analysis/memtrain.h"
#include "core/analysis/orderedrecords.h"
#include "core/analysis/provenance.h"
#include "core/analysis/records.h"
#include "core/patterns/shapedlist.h"
#include "analysis/analysiswindow.h"

class QLabel;
class QTemporaryFile;
class QTimer;

namespace duolink {

// Where the tabs find the job: the working folder and the list.
struct JobSource {
    std::function<QString()> folder;
    std::function<ShapedPairs()> pairs; // the list in use, of any shape
    EngineOptions options; // the window's engine's
    // Why the list cannot be analysed ("" when it can).
    std::function<QString()> listProblem;
    // Why a run cannot take the list `list` of pairs(): its shape, or that
    // it is empty ("" when it can).
    QString refusal(const ShapedPairs& list) const;
};

class RowQueue;

class TrainingTab : public AnalysisTab {
    Q_OBJECT
public:
    using Record = std::variant<analysis::CapacityRow, analysis::SweepCell>;

    TrainingTab(AnalysisWindow& window, JobSource source);
    ~TrainingTab() override;

    bool hasResults() const override { return false; }
    bool usesWindowTol() const override { return false; }
    bool running() const;
    // The rows of the last run so far.
    size_t rowCount() const { return rowCount_; }
    // The rows the last run was to train.
    size_t rowTotal() const { return rowTotal_; }
    // The header and the rows, as the runner writes them (read back from the
    // rows' file; for small runs and tests).
    std::string csvText() const;
    // The rows alone, without the header.
    std::string rowsText() const;

signals:
    // A run ended; `stopped` when Stop (Esc) or a failure cut it short.
    void runFinished(bool stopped);

protected:
    // Trains `count` rows with `task` on every core; false, with the reason
    // shown, when the rows' file cannot be made.
    bool startRows(size_t count, analysis::RecordTask<Record> task);
    // A batch of records, in row order.
    virtual void recordsAdded(const std::vector<Record>& records) = 0;
    virtual void rowsEnded(bool stopped) = 0;
    virtual std::string header() const = 0;
    virtual std::string rowText(const Record& record) const = 0;
    // The job's settings as a Solve in the working folder would read them,
    // with `overrides` ("beta=0.1 tol=0.2") set; nullopt with the reason shown.
    // With `report` false nothing is shown.
    std::optional<analysis::JobTexts> jobSettings(const QString& overrides, bool report = true);
    // The TOL the run uses and where it comes from.
    static QString tolText(const analysis::JobTexts& settings, const QString& overrides);
    void saveCsvAs();
    // What the run just started trains, for the sidecar of its CSV (a sweep's
    // list included).
    void recordRequest(analysis::AnalysisSpec request);
    // Shows in `label` the TOL a run with `overrides` would use, when the
    // working folder tells it.
    void showTol(QLabel* label, const QString& overrides);
    void showEvent(QShowEvent* event) override;
    // The tab's TOL line and its overrides, followed when the tab is shown.
    virtual void refreshTol() {}

    JobSource source_;

private:
    void takeRows();
    bool writeRows(const std::function<bool(std::string_view)>& write) const;

    std::shared_ptr<RowQueue> queue_;
    QTimer* timer_;
    std::unique_ptr<QTemporaryFile> rowsFile_;
    size_t rowCount_ = 0;
    size_t rowTotal_ = 0;
    QString lastCsvName_;
    analysis::Provenance provenance_;           // what made the rows
    std::vector<analysis::InputFile> readFiles_; // what jobSettings read last
};

} // namespace duolink
