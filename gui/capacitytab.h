#pragma once
// The Capacity tab: random 0/1 pattern sets of growing size, trained with the
// working folder's parameters; the share of pairs recalled against n, with
// its min-max band, and the presentations used.
#include <vector>

#include "core/analysis/analyses.h"
#include "gui/trainingtab.h"

class QChartView;
class QDoubleSpinBox;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QSpinBox;
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

private:
    void rowAdded(size_t index, const QString& row) override;
    void rowsEnded(bool stopped) override;
    std::string header() const override { return analysis::kCapacityHeader; }
    void updateChart();
    void setRunning(bool running);

    QSpinBox* pairs_;
    QSpinBox* sets_;
    QDoubleSpinBox* density_;
    QLineEdit* seed_;
    QLineEdit* overrides_;
    QPushButton* runButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QChartView* chartView_;
    QLineSeries* mean_;
    QLineSeries* low_;
    QLineSeries* high_;
    QLineSeries* presentations_;
    QValueAxis* nAxis_;
    QValueAxis* presentationsAxis_;
    QString lastChartName_;

    analysis::CapacityOptions options_;
    std::vector<analysis::CapacitySummary> summary_;
};

} // namespace duolink
