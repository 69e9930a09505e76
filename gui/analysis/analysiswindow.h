#pragma once
// The Analysis window: one tab per analysis.
#include <QWidget>

class QTabWidget;

namespace duolink {

class CapacityTab;
class SweepTab;
struct AnalysisSource;

class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisWindow(QWidget* parent = nullptr);
    void addTab(QWidget* tab, const QString& title);
    // Where the tabs find the folder and the list.
    void setSource(const AnalysisSource& source);
    QTabWidget* tabs() const { return tabs_; }
    CapacityTab* capacityTab() const { return capacity_; }
    SweepTab* sweepTab() const { return sweep_; }

private:
    QTabWidget* tabs_;
    CapacityTab* capacity_;
    SweepTab* sweep_;
};

} // namespace duolink
