// The list's files: Open and Save Pattern List, and the question before the
// program closes with pairs that are in no file.
#include <QFile>
#include <QFileInfo>

#include <string>
#include <string_view>

#include "core/session/session.h"
#include "gui/dialogs.h"
#include "gui/errortext.h"
#include "gui/listcontroller.h"
#include "gui/listhistory.h"
#include "gui/savetarget.h"

namespace duolink {
namespace {


const QString& openFilter()
{
    static const QString filter = QStringLiteral("Pattern lists (*.csv);;Job data files (*.dat);;All files (*)");
    return filter;
}

const QString& saveFilter()
{
    static const QString filter = QStringLiteral("Pattern lists (*.csv)");
    return filter;
}

QString pairsText(int count)
{
    return count == 1 ? QObject::tr("1 pair") : QObject::tr("%1 pairs").arg(count);
}

} // namespace

void ListController::openPatternList()
{
    if (locked_)
        return;
    const std::optional<QString> name = dialogs_().openFileName(window_, openFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return;
    lastPatternListName_ = *name;
    const QString shownName = QFileInfo(*name).fileName();

    // Read whole before anything changes: a bad file leaves the list as it was.
    PatternPairs list;
    if (const Outcome read =
            session_.readPatternList(QFile::encodeName(*name).toStdString(), shownName.toStdString(), list);
        !read.ok()) {
        dialogs_().errorBox(window_, QString::fromStdString(read.message));
        return;
    }
    if (list_.listChangedSinceFiles() &&
        !dialogs_().question(window_, tr("Replace the %1 in the list?").arg(pairsText(list_.patternCount))))
        return;

    history_->record(tr("Open Pattern List"), [&] {
        list_.loadPatternList(list);
        list_.noteListInFiles();
    });
    emit indexShown(list_.currentIndex);
    if (list_.currentIndex >= 1)
        emit pairShown(list_.currentIndex);
    emit changed();
    showListNotice(list_.patternCount == 0 ? tr("%1 held no pairs").arg(shownName)
                                     : tr("Opened %1 from %2").arg(pairsText(list_.patternCount), shownName));
}

void ListController::savePatternList()
{
    std::string text;
    if (const Outcome made = session_.patternListText(text); !made.ok()) {
        dialogs_().errorBox(window_, QString::fromStdString(made.message));
        return;
    }
    const std::optional<QString> name = dialogs_().saveFileName(window_, saveFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return;
    QString path = *name;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    const QString shownName = QFileInfo(path).fileName();
    if (!mayReplace(window_, dialogs_(), path))
        return;

    // The old file stays whole until the new one is complete.
    if (const QString reason = replaceFileWith(path, text); !reason.isEmpty()) {
        dialogs_().errorBox(window_, fileErrorText(shownName, tr("not saved"), reason));
        return;
    }
    lastPatternListName_ = path;
    list_.noteListInFiles();
    showListNotice(tr("Saved %1 to %2").arg(pairsText(list_.patternCount), shownName));
}

bool ListController::confirmDiscardList()
{
    if (!list_.listChangedSinceFiles())
        return true;
    const QString question = list_.patternCount == 1 ? tr("Save the pair before closing?")
                                                      : tr("Save the %1 pairs before closing?").arg(list_.patternCount);
    switch (dialogs_().unsavedQuestion(window_, question)) {
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
