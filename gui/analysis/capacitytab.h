#pragma once
// The Capacity tab: random 0/1 pattern sets of growing size, trained with the
// working folder's parameters; the share of pairs recalled against n, with
// its min-max band, and the presentations used.
#include <QWidget>

#include <vector>

#include "gui/analysis/analysisjob.h"

#include "core/analysis/analyses.h"

class QChartView;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QValueAxis;

namespace duolink {

class AnalysisJob;

class CapacityTab : public QWidget {
    Q_OBJECT
public:
    explicit CapacityTab(QWidget* parent = nullptr);
    void setSource(AnalysisSource source) { source_ = std::move(source); }

    void run();
    void stop();
    bool saveCsv(const QString& path);
    bool savePng(const QString& path);
    bool running() const;
    const QStringList& rows() const { return rows_; }

signals:
    void runFinished(bool stopped);

private:
    AnalysisSource source_;
    void addRow(qulonglong index, const QString& text);
    void finish(bool stopped);
    void updateChart();
    void setRunning(bool running);

    QSpinBox* pairs_;
    QSpinBox* sets_;
    QDoubleSpinBox* density_;
    QLineEdit* seed_;
    QLineEdit* overrides_;
    QPushButton* runButton_;
    QPushButton* stopButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QProgressBar* progress_;
    QLabel* status_;
    QChartView* chartView_;
    QLineSeries* mean_;
    QLineSeries* low_;
    QLineSeries* high_;
    QLineSeries* presentations_;
    QValueAxis* nAxis_;
    QValueAxis* presentationsAxis_;
    AnalysisJob* job_;

    analysis::CapacityOptions options_;
    QStringList rows_;
    std::vector<analysis::CapacitySummary> summary_;
};

} // namespace duolink
