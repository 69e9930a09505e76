// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Noise tab: how much damage to the A patterns recall survives, as a
// table and a chart of the shares recalled within TOL and nearest to their
// own B, per number of flipped values (0/1 lists) or noise level.
#include <memory>
#include <optional>

#include "core/analysis/noise.h"
#include "analysis/analysiswindow.h"

class QCheckBox;
class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;
class QValueAxis;

namespace duolink {

class ChartExport;
class KeptRuns;
class NoiseTableModel;

class NoiseTab : public AnalysisTab {
    Q_OBJECT
public:
    explicit NoiseTab(AnalysisWindow& window);

    QString title() const override { return tr("Noise"); }
    void run() override;
    bool hasResults() const override;

    void saveCsvAs();
    void saveChartAs();
    // The chart as a figure (the format by the suffix); on failure an error
    // box says why.
    bool saveChart(const QString& path);
    ChartExport* chartExport() const { return export_; }

    // The table of the last complete run, or nullptr.
    const NoiseTable* table() const;

    QLineEdit* sigmaField() const { return sigmaField_; }
    QSpinBox* trialsField() const { return trialsField_; }
    QLineEdit* seedField() const { return seedField_; }
    QTableView* view() const { return view_; }
    QChartView* chartView() const { return chartView_; }
    QLineSeries* withinSeries() const { return withinSeries_; }
    QLineSeries* ownSeries() const { return ownSeries_; }
    QLabel* modeLabel() const { return modeLabel_; }
    // The runs kept for comparison, and the box that keeps this one.
    KeptRuns* keptRuns() const { return kept_; }
    QCheckBox* keepBox() const { return keepBox_; }

protected:
    // Greys σ, Trials and Seed when the list is of 0/1 patterns.
    void showEvent(QShowEvent* event) override;

private:
    // σ, Trials and Seed are used only on lists that are not of 0/1 patterns.
    void enableNoiseFields(bool used);
    void build();
    void runFinished(bool completed);
    void showChart(const NoiseTable& table);
    // The shown table as a kept run, before the next one replaces it.
    void keepRun();
    void saveCsv();
    std::string provenance() const;

    QLineEdit* sigmaField_;
    QSpinBox* trialsField_;
    QLineEdit* seedField_;
    QPushButton* runButton_;
    QPushButton* saveCsvButton_;
    QPushButton* saveChartButton_;
    QLabel* modeLabel_;
    NoiseTableModel* model_;
    QSortFilterProxyModel* proxy_;
    QTableView* view_;
    QChart* chart_;
    QChartView* chartView_;
    QLineSeries* withinSeries_;
    QLineSeries* ownSeries_;
    QValueAxis* levelAxis_;
    QValueAxis* shareAxis_;
    std::shared_ptr<std::optional<NoiseTable>> result_;
    std::shared_ptr<std::optional<NoiseTable>> pendingResult_;
    NoiseOptions lastOptions_, shownOptions_;
    std::shared_ptr<const AnalysisInput> pendingInput_, shownInput_; // what the run and the table came from
    QString lastCsvName_;
    ChartExport* export_ = nullptr;
    // The values of the run the chart shows, for a figure's caption.
    QString caption_;
    size_t pairs_ = 0;
    int flipValues_ = 8; // the A values (before the parity) that flips choose from
    size_t shownPairs_ = 0;
    KeptRuns* kept_ = nullptr;
    QCheckBox* keepBox_ = nullptr;
    bool keepAtEnd_ = false;
};

} // namespace duolink
