// SPDX-License-Identifier: GPL-3.0-or-later
// The form's side of the Analysis window: what the analyses work on,
// browsing to the pair of a chosen row, and the one Stop for every run.
#include <QDir>
#include <QFile>

#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns/patterns.h"
#include "core/patterns/shapedlist.h"
#include "controllers/listcontroller.h"
#include "analysis/analysiswindow.h"
#include "analysis/capacitytab.h"
#include "analysis/sweeptab.h"
#include "form/form2.h"
#include "app/formactions.h"
#include "controllers/listcontroller.h"
#include "controllers/runcontroller.h"
#include "app/windowplacement.h"

namespace duolink {

void TForm2::showAnalysis()
{
    if (!analysisWindow_) {
        const auto source = [this](QString& why) -> std::optional<AnalysisInput> {
            if (isRunning()) {
                why = tr("A Solve is running. Test again when it has ended.");
                return std::nullopt;
            }
            const EngineState& engine = this->engine();
            if (engine.state().aLen == 0 && engine.state().bLen == 0) {
                why = tr("There is no matrix yet: Solve or Load Matrix first.");
                return std::nullopt;
            }
            const ShapedDocument& shaped = lists_->shapedList();
            if (shaped.active() ? shaped.size() == 0 : patternList().patternCount == 0) {
                why = tr("The list is empty: add pairs or open a pattern list first.");
                return std::nullopt;
            }
            AnalysisInput input;
            input.snapshot = RecallSnapshot::of(engine);
            if (shaped.active()) {
                input.shaped = shaped.pairs;
            } else {
                input.list = patternList().pairs();
                input.shaped = shapedFromFixed(input.list);
            }
            // For the sidecars of the tables: where the matrix was trained.
            input.folder = QFile::encodeName(workingFolder()).toStdString();
            std::string readError;
            readParametersFile(input.folder + "/" + kParametersFileName, input.parameters, readError);
            return input;
        };
        analysisWindow_ = new AnalysisWindow(source, [this]() -> Dialogs& { return dialogs(); }, this);
        // Capacity and sweeps train the working folder's job anew, in memory.
        const JobSource job{[this] { return workingFolder(); },
                            [this] {
                                const ShapedDocument& shaped = lists_->shapedList();
                                return shaped.active() ? shaped.pairs : shapedFromFixed(patternList().pairs());
                            },
                            engine().options(), {}};
        analysisWindow_->addTab(new CapacityTab(*analysisWindow_, job));
        analysisWindow_->addTab(new SweepTab(*analysisWindow_, job));
        // The TOL of the last Solve; before any, the one the next would read.
        if (engine().state().tol != 0) {
            analysisWindow_->setTol(engine().state().tol, tr("from the last Solve"));
        } else if (std::string text, error; readParametersFile(
                       QFile::encodeName(QDir(workingFolder()).filePath(QString::fromLatin1(kParametersFileName)))
                           .toStdString(),
                       text, error)) {
            if (const ParameterValues values = readParameterValues(text); values.valid(Parameter::Tol))
                analysisWindow_->setTol(values[Parameter::Tol], tr("from %1").arg(QString::fromLatin1(kParametersFileName)));
        }
        // Beside the main window when it fits, else on the screen; where the
        // user last left it.
        placeAuxiliaryWindow(analysisWindow_, this, QStringLiteral("analysis"));
        analysisWindow_->setProperty(kHelpSectionProperty, QStringLiteral("the-analysis-window"));
        connect(analysisWindow_, &AnalysisWindow::pairChosen, lists_, &ListController::browseTo);
        connect(analysisWindow_, &AnalysisWindow::runningChanged, this, &TForm2::updateStopAction);
        // A new matrix: the tabs that show results follow it.
        connect(this, &TForm2::runFinished, analysisWindow_, [this] { analysisWindow_->matrixChanged(engine().state().tol); });
    }
    analysisWindow_->show();
    analysisWindow_->raise();
    analysisWindow_->activateWindow();
}

// Esc and Run > Stop, from any of the program's windows: one action, so that
// no window has two commands for the key.
void TForm2::stopRuns()
{
    if (isRunning())
        runs_->requestStop();
    if (analysisWindow_)
        analysisWindow_->stopAll();
}

void TForm2::updateStopAction()
{
    if (stopAction_)
        stopAction_->setEnabled(isRunning() || (analysisWindow_ && analysisWindow_->isRunning()));
}

void TForm2::testAllPairs()
{
    if (isRunning())
        return;
    showAnalysis();
    analysisWindow_->testAllPairs();
}

} // namespace duolink
