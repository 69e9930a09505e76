// The window's pattern list commands: Open and Save Pattern List and the
// list window.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include <new>
#include <string>
#include <string_view>

#include "core/support/errors.h"
#include "core/support/numtext.h"
#include "core/patterns/patternlist.h"
#include "gui/dialogs.h"
#include "gui/errortext.h"
#include "gui/form2.h"
#include "gui/savetarget.h"
#include "gui/patternlistwindow.h"
#include "gui/windowplacement.h"

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

void TForm2::openPatternList()
{
    const std::optional<QString> name = dialogs().openFileName(this, openFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return;
    lastPatternListName_ = *name;
    const QString shownName = QFileInfo(*name).fileName();

    // Read whole before anything changes: a bad file leaves the list as it was.
    PatternPairs list;
    try {
        list = readPatternListFile(QFile::encodeName(*name).toStdString(), shownName.toStdString());
    } catch (const PatternListError& e) {
        dialogs().errorBox(this, QString::fromStdString(e.what()));
        return;
    } catch (const std::bad_alloc&) {
        dialogs().errorBox(this, QString::fromLatin1(kOutOfMemory));
        return;
    }
    if (list_.listChangedSinceFiles() &&
        !dialogs().question(this, tr("Replace the %1 in the list?").arg(pairsText(list_.patternCount))))
        return;

    recordListChange(tr("Open Pattern List"), [&] {
        list_.loadPatternList(list);
        list_.noteListInFiles();
    });
    setEditText(Edit1, intText(list_.currentIndex));
    if (list_.currentIndex >= 1)
        showPattern(list_.currentIndex);
    emit patternListChanged();
    showListNotice(list_.patternCount == 0 ? tr("%1 held no pairs").arg(shownName)
                                           : tr("Opened %1 from %2").arg(pairsText(list_.patternCount), shownName));
}

void TForm2::savePatternList()
{
    std::string text;
    try {
        text = patternListText(list_);
    } catch (const PatternListError& e) {
        dialogs().errorBox(this, QString::fromStdString(e.what()));
        return;
    }
    const std::optional<QString> name = dialogs().saveFileName(this, saveFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return;
    QString path = *name;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    const QString shownName = QFileInfo(path).fileName();
    if (!mayReplace(this, dialogs(), path))
        return;

    // The old file stays whole until the new one is complete.
    if (const QString reason = replaceFileWith(path, text); !reason.isEmpty()) {
        dialogs().errorBox(this, fileErrorText(shownName, tr("not saved"), reason));
        return;
    }
    lastPatternListName_ = path;
    list_.noteListInFiles();
    showListNotice(tr("Saved %1 to %2").arg(pairsText(list_.patternCount), shownName));
}

void TForm2::showPatternList()
{
    if (!patternListWindow_) {
        patternListWindow_ = new PatternListWindow(this);
        placeAuxiliaryWindow(patternListWindow_, this, QStringLiteral("patternList"));
    }
    patternListWindow_->show();
    patternListWindow_->raise();
    patternListWindow_->activateWindow();
}

void TForm2::browseTo(int position)
{
    if (position < 1 || position > list_.patternCount || position == list_.currentIndex)
        return;
    list_.currentIndex = position;
    showBrowsedPair();
}

} // namespace duolink
