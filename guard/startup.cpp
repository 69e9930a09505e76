#include "app/dialogs.h"
#include "guard/guard.h"
#include "guard/instancewindow.h"

namespace duolink {

// Kept apart from checkInstances so that programs with dialogs of their own
// do not need the real ones.
QWidget* createInstanceWindow(QWidget* owner)
{
    return new TFormNumInstances(owner, qtDialogs());
}

} // namespace duolink
