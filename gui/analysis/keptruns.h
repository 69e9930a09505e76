// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs kept on a chart beside the one that follows them, for comparison.
// Each kept run is a curve in its own colour and marker, named in the legend
// by the values that made it, with its CSV rows and its provenance; the
// legend's context menu removes one. Saved figures draw them as they show,
// and a saved CSV gets a `run` column for them.
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <array>
#include <optional>
#include <chrono>
#include <string>
#include <vector>

#include "core/analysis/analysisrun.h"

class QChartView;
class QLineSeries;
class QScatterSeries;
class QWidget;

namespace duolink {

class Dialogs;

class KeptRuns : public QObject {
    Q_OBJECT
public:
    struct Run {
        QString label;            // the values that made it, as the legend shows them
        QList<QList<QPointF>> curves; // what it can show (one per measure of the tab)
        std::string header;       // its CSV header, without the line end
        std::string rows;         // its CSV rows, without the header, each ending in '\n'
        std::string provenance;   // one JSON object, or ""
        int style = 0;            // its colour and marker
        QPointer<QLineSeries> line;
        QPointer<QScatterSeries> marks;
    };

    // The runs are drawn on `view`'s chart, against its first horizontal
    // and first vertical axis.
    KeptRuns(QChartView* view, QObject* parent);

    // Keeps a run of its own; it shows curves[shown()].
    void keep(const QString& label, QList<QList<QPointF>> curves, std::string header, std::string rows,
              std::string provenance);
    void remove(int index);
    void clear();
    const std::vector<Run>& runs() const { return runs_; }
    bool empty() const { return runs_.empty(); }
    // Which of each run's curves the chart shows.
    int shown() const { return shown_; }
    void setShown(int curve);
    // The current run's label. The legend names each run by the values that
    // set it apart from the others ("BETA 0.05"), the caption says the rest.
    void setCurrentLabel(const QString& label);
    QString legendName(const QString& label) const;
    // The values `label` shares with every kept run: a figure's caption.
    QString sharedValues(const QString& label) const;
    // Draws the runs anew, after the tab has rebuilt its chart.
    void redraw();

    // The CSV of the kept runs and the current one (`rows`, unless empty),
    // numbered from 1 in a first `run` column; nullopt when their headers
    // differ (sweeps of other parameters).
    std::optional<std::string> csv(const std::string& header, const std::string& rows) const;
    // The sidecar: every run's number, label and provenance.
    std::string sidecar(const QString& label, const std::string& provenance) const;

    // The legend's context menu: one Remove item per kept run. Returns
    // whether `scenePos` lies on the legend (and the menu was shown).
    bool showLegendMenu(QPoint globalPos, QPointF scenePos);

    // Save CSV As with kept runs: the CSV with its `run` column and, beside
    // it as FILE.json, the sidecar. On failure an error box says why.
    void saveCsvAs(QWidget* parent, Dialogs& dialogs, const std::string& header, const std::string& rows,
                   const QString& label, const std::string& provenance);

signals:
    void changed();

private:
    void draw(Run& run);
    void undraw(Run& run);

    QChartView* view_;
    std::vector<Run> runs_;
    int made_ = 0; // runs kept so far, for their colours and markers
    int shown_ = 0;
    QString current_;
    QString lastCsvName_;
};

// The provenance of a run of the window, as the runner's sidecar gives it.
std::string windowRunProvenance(const analysis::AnalysisSpec& request, const QString& folder,
                                std::chrono::system_clock::time_point started, bool stopped,
                                const std::array<size_t, 4>& outcomes);

// `rows`, each line prefixed with `run,`.
std::string numberedRows(int run, const std::string& rows);

} // namespace duolink
