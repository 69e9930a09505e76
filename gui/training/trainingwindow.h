// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The training window: R2 and missed pairs per presentation as a chart, the
// weight map, and a summary of the run. It reads the recorder that the main
// window plugs into the engine, up to 10 times a second while it is shown.
#include <QString>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/stats/recorder.h"

class QAction;
class QCategoryAxis;
class QHBoxLayout;
class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QPushButton;
class QTimer;
class QValueAxis;

namespace duolink {

class ChartExport;
class Dialogs;
class WeightMapView;

class TrainingWindow : public QWidget {
    Q_OBJECT
public:
    // While it is shown the window follows a run up to 10 times a second:
    // the chart, the weight map and the summary together. It waits at least
    // kWaitPerDrawn times as long as its last refresh and paint took, so that
    // drawing it takes at most a few percent of the window's thread
    // however slow the display, and refreshes at least once a second.
    static constexpr int kRefreshIntervalMs = 100;
    static constexpr int kMaxRefreshIntervalMs = 1000;
    static constexpr int kWaitPerDrawn = 40;
    // Columns of the chart's thinning: each series holds at most 4 points a
    // column (two runs of two extremes) whatever the run's length, so that a
    // refresh of a long run costs no more than one of 500 presentations.
    // The chart is a few hundred pixels wide.
    static constexpr std::size_t kChartColumns = 256;
    // Above this ratio of its largest to its smallest positive value, R2 is
    // drawn on a logarithmic axis.
    static constexpr double kLogScaleRatio = 100;

    TrainingWindow(const TrainingRecorder& recorder, std::function<Dialogs&()> dialogs, QWidget* parent = nullptr);
    ~TrainingWindow() override;

    // Adds a Stop button, for the owner to connect.
    QPushButton* addStopButton();
    QPushButton* stopButton() const { return stopButton_; }

    // Takes what is new in the recorder and shows it, the chart included.
    void refresh();

    // Export; on failure an error box says why and false is returned.
    bool saveChart(const QString& path);
    bool saveStatistics(const QString& path);
    void saveChartAs();
    void saveStatisticsAs();

    // The parts, for a look from outside (tests, screenshots).
    QChart* chart() const { return chart_; }
    QChartView* chartView() const { return chartView_; }
    QLineSeries* r2Series() const { return r2Series_; }
    QLineSeries* missedSeries() const { return missedSeries_; }
    QValueAxis* presentationAxis() const { return xAxis_; }
    QValueAxis* missedAxis() const { return missedAxis_; }
    // The axis R2 is drawn on now: linear or logarithmic.
    bool r2OnLogScale() const { return logScale_; }
    QValueAxis* r2LinearAxis() const { return r2Axis_; }
    // The log axis maps R2 and stays hidden; its labels are drawn by the
    // second axis, readable at any magnitude ("1e+41").
    QLogValueAxis* r2LogAxis() const { return r2LogAxis_; }
    QCategoryAxis* r2LogLabels() const { return r2LogLabels_; }
    WeightMapView* weightMap() const { return weightMap_; }
    QLabel* summaryLabel() const { return summary_; }
    QLabel* pointLabel() const { return pointText_; }
    QPushButton* saveChartButton() const { return saveChartButton_; }
    // Save Chart As of the chart and of the weight map (its context menu).
    ChartExport* chartExport() const { return chartExport_; }
    ChartExport* weightMapExport() const { return mapExport_; }
    QPushButton* saveStatisticsButton() const { return saveStatisticsButton_; }
    // The text for presentation `presentation` (1-based), as hovering shows it.
    QString presentationText(std::int64_t presentation) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void build();
    void restart();
    // The timer's refresh, which sets the wait for the next one.
    void refreshOnTimer();
    void updateChart();
    void setLogScale(bool on);
    QString summaryText(const TrainingData& data) const;
    // The caption of a saved figure: the last run's values.
    QString figureCaption() const;
    // Save Chart As of the chart and of the weight map.
    void buildExports();

    const TrainingRecorder& recorder_;
    std::function<Dialogs&()> dialogs_;

    QChart* chart_ = nullptr;
    QChartView* chartView_ = nullptr;
    QLineSeries* r2Series_ = nullptr;
    QLineSeries* missedSeries_ = nullptr;
    QValueAxis* xAxis_ = nullptr;
    QValueAxis* r2Axis_ = nullptr;
    QLogValueAxis* r2LogAxis_ = nullptr;
    QCategoryAxis* r2LogLabels_ = nullptr;
    QValueAxis* missedAxis_ = nullptr;
    WeightMapView* weightMap_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* pointText_ = nullptr;
    QLabel* cellText_ = nullptr;
    QPushButton* saveChartButton_ = nullptr;
    ChartExport* chartExport_ = nullptr;
    ChartExport* mapExport_ = nullptr;
    QPushButton* saveStatisticsButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QHBoxLayout* buttons_ = nullptr;
    QTimer* timer_ = nullptr;
    // Time spent refreshing and painting since the timer's last refresh.
    std::int64_t drawnNs_ = 0;

    // What has been taken from the recorder.
    std::uint64_t run_ = 0;
    std::uint64_t weightsVersion_ = 0;
    MinMaxThinning r2Points_{kChartColumns};
    MinMaxThinning missedPoints_{kChartColumns};
    int patternCount_ = 0;
    bool logScale_ = false;
    QString lastChartName_;
    QString lastStatisticsName_;
};

} // namespace duolink
