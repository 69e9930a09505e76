#pragma once
// The Sweep tab: the current list trained once per value of one parameter
// (a line chart) or per cell of a grid of two (a heat map), with the working
// folder's parameters.
#include <vector>

#include "core/analysis/sweepgrid.h"
#include "gui/trainingtab.h"

class QChartView;
class QComboBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace duolink {

class HeatMap;

class SweepTab : public TrainingTab {
    Q_OBJECT
public:
    SweepTab(AnalysisWindow& window, JobSource source);

    QString title() const override { return tr("Sweep"); }
    void run() override;
    // The chart or heat map as shown, as a PNG file; on failure an error box
    // says why.
    bool saveChart(const QString& path);

private:
    void rowAdded(size_t index, const QString& row) override;
    void rowsEnded(bool stopped) override;
    std::string header() const override;
    void redraw();
    void paintCell(size_t index);
    void setRunning(bool running);

    QComboBox* name1_;
    QLineEdit* list1_;
    QComboBox* name2_;
    QLineEdit* list2_;
    QLineEdit* overrides_;
    QComboBox* measure_;
    QPushButton* runButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QStackedWidget* views_;
    QChartView* chartView_;
    HeatMap* heatMap_;
    QString lastChartName_;

    std::vector<analysis::SweepAxis> axes_;
    int pairs_ = 0;
    std::vector<QString> cellRows_; // by cell; empty until trained
};

} // namespace duolink
