// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Capacity tab: random 0/1 pattern sets of growing size, trained with the
// working folder's parameters; the share of pairs recalled against n, with
// its 95 % Wilson band, the presentations used, and per n how the trainings
// ended. Only the per-n summary stays in memory.
#include <QElapsedTimer>

#include "core/analysis/capacitysummary.h"
#include "analysis/trainingtab.h"

class QAreaSeries;
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

class CapacityTab : public TrainingTab {
    Q_OBJECT
public:
    CapacityTab(AnalysisWindow& window, JobSource source);

    QString title() const override { return tr("Capacity"); }
    void run() override;
    // The chart as shown, as a PNG file; on failure an error box says why.
    bool saveChart(const QString& path);

    const analysis::CapacityRunSummary& summary() const { return summary_; }
    QChartView* chartView() const { return chartView_; }
    QTableWidget* sizesTable() const { return sizes_; }
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

    QSpinBox* pairs_;
    QSpinBox* sets_;
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
    QValueAxis* nAxis_;
    QValueAxis* shareAxis_;
    QValueAxis* presentationsAxis_;
    QTableWidget* sizes_;
    QLabel* note_;
    QString lastChartName_;
    QElapsedTimer sinceDrawn_;

    analysis::CapacityOptions options_;
    analysis::CapacityRunSummary summary_;
    double beta_ = 0;
    double tolUsed_ = 0;
};

} // namespace duolink
