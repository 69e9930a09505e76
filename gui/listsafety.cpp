// What keeps the user's pairs: undo and redo of the list commands, and the
// question before the program closes with pairs that are in no file.
#include <QAction>
#include <QLineEdit>

#include "core/support/numtext.h"
#include "core/patterns/patternlist.h"
#include "gui/dialogs.h"
#include "gui/form2.h"
#include "gui/listhistory.h"

namespace duolink {

void TForm2::setUpHistory()
{
    history_ = new ListHistory(list_, this);
    undoAction = history_->createUndoAction(this);
    redoAction = history_->createRedoAction(this);
    addActions({undoAction, redoAction});
    connect(history_, &ListHistory::listRestored, this, &TForm2::showRestoredList);
}

void TForm2::addPair()
{
    history_->record(tr("Add Pair %1").arg(list_.patternCount + 1), [this] { Button1Click(); });
}

void TForm2::updatePair()
{
    history_->record(tr("Update Pair %1").arg(list_.currentIndex), [this] { Button3Click(); });
}

void TForm2::deletePair()
{
    history_->record(tr("Delete Pair %1").arg(list_.currentIndex), [this] { Button2Click(); });
}

void TForm2::resetList()
{
    history_->record(tr("Reset List"), [this] { Button9Click(); });
}

void TForm2::recordListChange(const QString& name, const std::function<void()>& change)
{
    history_->record(name, change);
}

void TForm2::showRestoredList()
{
    setEditText(Edit1, intText(list_.currentIndex));
    if (list_.currentIndex >= 1)
        showPattern(list_.currentIndex);
    showListPosition();
    emit patternListChanged();
}

bool TForm2::confirmDiscardList()
{
    if (!list_.listChangedSinceFiles())
        return true;
    const QString question = list_.patternCount == 1 ? tr("Save the pair before closing?")
                                                      : tr("Save the %1 pairs before closing?").arg(list_.patternCount);
    switch (dialogs().unsavedQuestion(this, question)) {
    case Dialogs::UnsavedAnswer::Save:
        savePatternList();
        return !list_.listChangedSinceFiles();
    case Dialogs::UnsavedAnswer::Discard:
        return true;
    case Dialogs::UnsavedAnswer::Cancel:
        break;
    }
    return false;
}

} // namespace duolink
