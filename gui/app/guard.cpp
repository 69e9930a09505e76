// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/guard.h"

#include "common/dialogs.h"
#include "app/formnuminstances.h"

namespace duolink {

bool checkInstances(QWidget* owner, Dialogs& dialogs, ProcessSource& processes,
                    const std::function<void()>& beforeEnd)
{
    // Each check keeps its own window and log for the rest of the run.
    auto* window = new TFormNumInstances(owner, dialogs, processes);
    if (window->numInstancesValid()) {
        window->hide();
        return true;
    }
    dialogs.inputBox(owner, QStringLiteral("Only one instance of this program"),
                     QStringLiteral("may run at a time"), QStringLiteral("exiting program."));
    if (beforeEnd)
        beforeEnd();
    endProgramNow();
}

} // namespace duolink
