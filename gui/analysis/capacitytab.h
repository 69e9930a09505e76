// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Capacity tab: random 0/1 pattern sets of growing size, trained with the
// working folder's parameters; the share of pairs recalled against n, with
// its 95 % Wilson band, the presentations used, and per n how the trainings
// ended. Only the per-n summary stays in memory.
#include <QElapsedTimer>

#include <chrono>

#include "core/analysis/analysisrun.h"
#include "core/analysis/capacitysummary.h"
#include "analysis/trainingtab.h"

class QAreaSeries;
class QCheckBox;
class QChartView;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QValueAxis;

namespace duolink {

class ChartExport;
class KeptRuns;

class CapacityTab : public TrainingTab {
    Q_OBJECT
public:
    CapacityTab(AnalysisWindow& window, JobSource source);

    QString title() const override { return tr("Capacity"); }
    void run() override;
    // The chart as a figure (the format by the suffix); on failure an error
    // box says why.
    bool saveChart(const QString& path);
    ChartExport* chartExport() const { return export_; }

    const analysis::CapacityRunSummary& summary() const { return summary_; }
    QChartView* chartView() const { return chartView_; }
    QTableWidget* sizesTable() const { return sizes_; }
    // The vertical line at A Len and the box that shows it.
    QLineSeries* aLenLine() const { return aLenLine_; }
    QCheckBox* aLenBox() const { return aLenBox_; }
    // The runs kept for comparison, and the box that keeps this one.
    KeptRuns* keptRuns() const { return kept_; }
    QCheckBox* keepBox() const { return keepBox_; }
    QLabel* noteLabel() const { return note_; }

private:
    void recordsAdded(const std::vector<Record>& records) override;
    void rowsEnded(bool stopped) override;
    std::string header() const override { return analysis::kCapacityHeader; }
    std::string rowText(const Record& record) const override;
    void updateChart();
    void updateTable();
    void setRunning(bool running);
    void refreshTol() override;
    // Keeps the current curve beside the next run's, when asked to.
    void keepRun();
    // Save Chart As, the A Len line, the box that keeps a run and the legend's menu.
    void setUpFigures();
    // The current curve's name in the legend: what sets it apart, with kept runs.
    void nameCurrentRun();
    void saveCsv();
    std::string provenance() const;
    // The N and M fields of the random pairs' shape (capacitytab_shape.cpp),
    // and the shape they give, if the engine takes it (a status says why not).
    QWidget* shapeFields();
    std::optional<ListShape> takenShape();

    QSpinBox* pairs_;
    QSpinBox* sets_;
    QSpinBox* aValues_ = nullptr;
    QSpinBox* bValues_ = nullptr;
    QDoubleSpinBox* density_;
    QLineEdit* seed_;
    QLineEdit* overrides_;
    QLabel* tol_;
    QPushButton* runButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QChartView* chartView_;
    QLineSeries* mean_;
    QLineSeries* low_;
    QLineSeries* high_;
    QLineSeries* presentations_;
    QLineSeries* aLenLine_;
    QCheckBox* aLenBox_;
    QValueAxis* nAxis_;
    QValueAxis* shareAxis_;
    QValueAxis* presentationsAxis_;
    QTableWidget* sizes_;
    QLabel* note_;
    ChartExport* export_ = nullptr;
    QString caption_; // the run's values, for a figure's caption
    KeptRuns* kept_;
    QCheckBox* keepBox_;
    analysis::AnalysisSpec request_;
    std::chrono::system_clock::time_point started_;
    bool stopped_ = false;
    QElapsedTimer sinceDrawn_;

    analysis::CapacityOptions options_;
    analysis::CapacityRunSummary summary_;
    double beta_ = 0;
    double tolUsed_ = 0;
    int aLen_ = 0;
};

} // namespace duolink
