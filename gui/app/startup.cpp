// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/dialogs.h"
#include "app/guard.h"
#include "app/formnuminstances.h"

namespace duolink {

// Kept apart from checkInstances so that programs with dialogs of their own
// do not need the real ones.
QWidget* createInstanceWindow(QWidget* owner)
{
    return new TFormNumInstances(owner, qtDialogs());
}

} // namespace duolink
