// The form's side of the Analysis window: what the analyses work on, and
// browsing to the pair of a chosen row.
#include "core/engine/state.h"
#include "core/patterns/patterns.h"
#include "gui/analysiswindow.h"
#include "gui/form2.h"
#include "gui/listcontroller.h"

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
            if (engine.aLen == 0 && engine.bLen == 0) {
                why = tr("There is no matrix yet: Solve or Load Matrix first.");
                return std::nullopt;
            }
            const PatternList& list = patternList();
            if (list.patternCount == 0) {
                why = tr("The list is empty: add pairs or open a pattern list first.");
                return std::nullopt;
            }
            AnalysisInput input;
            input.snapshot = RecallSnapshot::of(engine);
            input.list = list.pairs();
            return input;
        };
        analysisWindow_ = new AnalysisWindow(source, [this]() -> Dialogs& { return dialogs(); }, this);
        analysisWindow_->setTol(engine().tol);
        analysisWindow_->move(window()->frameGeometry().bottomLeft() + QPoint(0, 8));
        connect(analysisWindow_, &AnalysisWindow::pairChosen, lists_, &ListController::browseTo);
        // A new matrix: the tabs that show results follow it.
        connect(this, &TForm2::runFinished, analysisWindow_, [this] { analysisWindow_->matrixChanged(engine().tol); });
    }
    analysisWindow_->show();
    analysisWindow_->raise();
    analysisWindow_->activateWindow();
}

void TForm2::testAllPairs()
{
    if (isRunning())
        return;
    showAnalysis();
    analysisWindow_->testAllPairs();
}

} // namespace duolink
