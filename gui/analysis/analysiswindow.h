// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Analysis window: a tab for each analysis of the trained matrix and the
// pattern list. Every analysis works on a copy of both, taken when it
// starts, so it changes neither, nor the pane, the report or the fields.
#include <QString>
#include <QWidget>

#include "core/analysis/provenance.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/analysis/exactrecall.h"

class QLabel;
class QLineEdit;
class QTabWidget;

namespace duolink {

class AnalysisRun;
class Dialogs;
class NoiseTab;
class RecallTab;

// What an analysis works on: copies, safe to read from any thread.
struct AnalysisInput {
    RecallSnapshot snapshot;
    PatternPairs list;  // an 8 + 8 list; empty for a list of another shape
    ShapedPairs shaped; // the list in use, of any shape
    double tol = 0;
    std::string folder, parameters; // the working folder and its parameters file's text
};

class AnalysisWindow;

// One tab. A tab builds its widgets in its constructor, computes on run()
// through its AnalysisRun, and keeps its results until the next run.
class AnalysisTab : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisTab(AnalysisWindow& window);

    virtual QString title() const = 0;
    // Computes the analysis anew on the window's current input.
    virtual void run() = 0;
    // Whether the tab shows results, to be recomputed when the matrix changes.
    virtual bool hasResults() const = 0;
    // Whether the tab's runs use the window's TOL (Recall, Noise); the others
    // show the TOL they use themselves.
    virtual bool usesWindowTol() const { return true; }
    AnalysisRun* analysisRun() const { return run_; }

protected:
    // The window's input; on nullptr the reason is already shown.
    std::shared_ptr<const AnalysisInput> takeInput();
    // Asks for a file name (the suffix is added when none is given) and
    // writes `text` there as a whole; on failure the error box says why.
    void saveTextAs(const QString& filter, const char* suffix, QString& lastName, const std::string& text);
    // The same for text that `write` hands over a piece at a time.
    using Writer = std::function<bool(const std::function<bool(std::string_view)>&)>;
    // With `provenance`, a CSV gets its FILE.json beside it, as the runner's
    // files do: what made its rows, this window's Save as the command.
    using ProvenanceSource = std::function<analysis::Provenance()>;
    void saveStreamAs(const QString& filter, const char* suffix, QString& lastName, const Writer& write,
                      const ProvenanceSource& provenance = {});
    void saveTextAs(const QString& filter, const char* suffix, QString& lastName, const std::string& text,
                    const ProvenanceSource& provenance);
    // What every sidecar of this tab holds: the command and the run's times.
    analysis::Provenance runProvenance() const;
    // A table's sidecar: `step` ("recall-table", "noise") made from `input`.
    analysis::Provenance tableProvenance(const char* step, const AnalysisInput& input) const;
    Dialogs& dialogs() const;

    AnalysisWindow& window_;
    AnalysisRun* run_;
};

class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    // Gives the matrix and the list as they are now, or std::nullopt with
    // the reason in `why`; the TOL is the window's.
    using InputSource = std::function<std::optional<AnalysisInput>(QString& why)>;

    AnalysisWindow(InputSource source, std::function<Dialogs&()> dialogs, QWidget* parent = nullptr);
    ~AnalysisWindow() override;

    // Adds a tab after the others; the window owns it.
    void addTab(AnalysisTab* tab);
    RecallTab* recallTab() const { return recallTab_; }
    NoiseTab* noiseTab() const { return noiseTab_; }
    QTabWidget* tabs() const { return tabs_; }
    QLineEdit* tolField() const { return tolField_; }

    // Test all pairs: shows the Recall tab and fills it.
    void testAllPairs();
    // Shows `tol` in the TOL field, and where it comes from ("from the last
    // Solve").
    void setTol(double tol, const QString& source = QString());
    QLabel* tolSource() const { return tolSource_; }
    QWidget* tolBar() const { return tolBar_; }
    // After a Solve: takes its TOL and recomputes the tabs that show results.
    void matrixChanged(double solveTol);
    // Whether an analysis runs; runningChanged() says when that may change.
    bool isRunning() const;
    // Stops every running analysis (Esc, from the program's Stop).
    void stopAll();

    // The input for a run, or nullptr with the reason in `why`.
    std::shared_ptr<const AnalysisInput> input(QString& why) const;
    Dialogs& dialogs() const { return dialogs_(); }

signals:
    // A row of a table was chosen: the list position of its pair.
    void pairChosen(int position);
    void runningChanged();

private:
    void tolEdited();

    InputSource source_;
    std::function<Dialogs&()> dialogs_;
    QTabWidget* tabs_;
    QLineEdit* tolField_;
    QLabel* tolSource_;
    QWidget* tolBar_;
    QString lastTolText_;
    RecallTab* recallTab_ = nullptr;
    NoiseTab* noiseTab_ = nullptr;
};

} // namespace duolink
