// SPDX-License-Identifier: GPL-3.0-or-later
// Predict on a list of another shape: the A values are those of the pair
// chosen in the Pattern List window, the recall goes to the pane. And why the
// analyses do not take such a list yet.
#include "core/session/session.h"
#include "form/form2.h"
#include "controllers/listcontroller.h"

namespace duolink {

void TForm2::predictFromListRow()
{
    const ShapedDocument& shaped = lists_->shapedList();
    if (shaped.currentRow < 1 || shaped.currentRow > shaped.size()) {
        emit statusMessage(tr("Predict: choose a pair in the Pattern List window first"), kNoticeMs);
        return;
    }
    std::vector<double> b;
    const Outcome outcome = session().predictShaped(shaped.pairs.a[static_cast<size_t>(shaped.currentRow - 1)], b);
    if (outcome.ok())
        emit statusMessage(tr("Predicted the B values of pair %1 (in the pane)").arg(shaped.currentRow), kNoticeMs);
    presentOutcome(outcome, QStringLiteral("Predict"));
}

} // namespace duolink
