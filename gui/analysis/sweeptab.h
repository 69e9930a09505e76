#pragma once
// The Sweep tab: the current list trained once per value of one parameter
// (a line chart) or per cell of a grid of two (a heat map), with the working
// folder's parameters.
#include <QWidget>

#include <vector>

#include "gui/analysis/analysisjob.h"

#include "core/analysis/sweepgrid.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace duolink {

class AnalysisJob;
class HeatMap;

class SweepTab : public QWidget {
    Q_OBJECT
public:
    explicit SweepTab(QWidget* parent = nullptr);
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
    QPushButton* stopButton_;
    QPushButton* csvButton_;
    QPushButton* pngButton_;
    QProgressBar* progress_;
    QLabel* status_;
    QStackedWidget* views_;
    QChartView* chartView_;
    HeatMap* heatMap_;
    AnalysisJob* job_;

    std::vector<analysis::SweepAxis> axes_;
    int pairs_ = 0;
    QStringList rows_;
    std::vector<QString> cellRows_; // by cell; empty until trained
};

} // namespace duolink
