// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Sweep tab: the current list trained once per value of one parameter
// (a line chart) or per cell of a grid of two (a heat map), with the working
// folder's parameters. Cells that did not end with every pair recalled are
// drawn as marks of their outcome, not as values.
#include <QElapsedTimer>

#include <chrono>

#include <vector>

#include "core/analysis/analysisrun.h"
#include "core/analysis/sweepgrid.h"
#include "analysis/trainingtab.h"

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace duolink {

class ChartExport;
class KeptRuns;
class HeatMap;

class SweepTab : public TrainingTab {
    Q_OBJECT
public:
    // What the chart shows, in the order of the Show box.
    enum Measure { kPresentations, kShareRecalled, kNearestOwn };
    // What the chart needs of a cell's record.
    struct Point {
        bool trained = false;
        analysis::Outcome outcome = analysis::Outcome::Terminated;
        int presentations = 0;
        int recalled = 0;
        int nearestOwn = 0;
    };

    SweepTab(AnalysisWindow& window, JobSource source);

    QString title() const override { return tr("Sweep"); }
    void run() override;
    // The chart or heat map as a figure (the format by the suffix); on
    // failure an error box says why.
    bool saveChart(const QString& path);
    ChartExport* chartExport() const { return export_; }

    // The cells of the last run, by their place in the grid.
    const std::vector<Point>& points() const { return points_; }
    int pairs() const { return pairs_; }
    QChartView* chartView() const { return chartView_; }
    HeatMap* heatMap() const { return heatMap_; }
    QLabel* cellsLabel() const { return cells_; }
    // The line charts kept for comparison, and the box that keeps this one.
    KeptRuns* keptRuns() const { return kept_; }
    QCheckBox* keepBox() const { return keepBox_; }

private:
    void recordsAdded(const std::vector<Record>& records) override;
    void rowsEnded(bool stopped) override;
    std::string header() const override;
    std::string rowText(const Record& record) const override;
    // The grid the fields ask for, or nullopt with the reason in `why`.
    std::optional<std::vector<analysis::SweepAxis>> readAxes(QString& why) const;
    void countCells();
    double measure(const Point& p) const;
    void redraw();
    void drawLine();
    void paintCell(size_t index);
    void setRunning(bool running);
    void refreshTol() override;
    // Keeps the current line beside the next run's, when asked to.
    void keepRun();
    void saveCsv();
    // Save Chart As, the box that keeps a run and the legend's menu.
    void setUpFigures();
    // What made the run that starts: for the caption and the provenance.
    void noteRun(const ShapedPairs& list, const analysis::JobTexts& settings);
    // Why a sweep cannot take `list` with `axes` ("" when it can).
    QString shapeRefusal(const ShapedPairs& list, const std::vector<analysis::SweepAxis>& axes) const;
    std::string provenance() const;

    QComboBox* name1_;
    QLineEdit* list1_;
    QComboBox* name2_;
    QLineEdit* list2_;
    QLabel* cells_;
    QLineEdit* overrides_;
    QLabel* tol_;
    QComboBox* measure_;
    QPushButton* runButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QStackedWidget* views_;
    QChartView* chartView_;
    HeatMap* heatMap_;
    ChartExport* export_ = nullptr;
    QString caption_; // the run's values, for a figure's caption
    KeptRuns* kept_;
    QCheckBox* keepBox_;
    analysis::AnalysisSpec request_;
    std::chrono::system_clock::time_point started_;
    bool stopped_ = false;
    QElapsedTimer sinceDrawn_;

    std::vector<analysis::SweepAxis> axes_;
    std::vector<double> xs_; // the first axis's values as numbers
    int pairs_ = 0;
    std::vector<Point> points_;
};

} // namespace duolink
