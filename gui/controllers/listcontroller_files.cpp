// SPDX-License-Identifier: GPL-3.0-or-later
// The list's files: Open, Save and Save As Pattern List, the recent lists,
// and the question before the list is replaced or the program closes with
// pairs that are in no file.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <string>
#include <string_view>

#include "core/session/session.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "controllers/listcontroller.h"
#include "list/listhistory.h"
#include "common/savetarget.h"

namespace duolink {
namespace {

constexpr const char* kRecentKey = "recentPatternLists";

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

QStringList ListController::recentPatternLists()
{
    return QSettings().value(QLatin1String(kRecentKey)).toStringList();
}

void ListController::clearRecentPatternLists()
{
    QSettings().remove(QLatin1String(kRecentKey));
}

void ListController::rememberRecent(const QString& path)
{
    QStringList recent = recentPatternLists();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kRecentCount)
        recent.removeLast();
    QSettings().setValue(QLatin1String(kRecentKey), recent);
}

bool ListController::mayReplaceList(const QString& question)
{
    if (!documentModified())
        return true;
    switch (dialogs_().unsavedQuestion(window_, question)) {
    case Dialogs::UnsavedAnswer::Save: return savePatternList();
    case Dialogs::UnsavedAnswer::Discard: return true;
    case Dialogs::UnsavedAnswer::Cancel: break;
    }
    return false;
}

bool ListController::mayOpenAnotherList()
{
    return !locked_ && mayReplaceList(pairCount() == 1
                                          ? tr("Save the pair before opening another list?")
                                          : tr("Save the %1 pairs before opening another list?").arg(pairCount()));
}

void ListController::openPatternList()
{
    if (!mayOpenAnotherList())
        return;
    const std::optional<QString> name = dialogs_().openFileName(window_, openFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return;
    lastPatternListName_ = *name;
    loadFile(*name);
}

void ListController::openPatternListFile(const QString& path)
{
    if (!mayOpenAnotherList())
        return;
    loadFile(path);
}

void ListController::loadFile(const QString& path)
{
    const QString shownName = QFileInfo(path).fileName();
    // Read whole before anything changes: a bad file leaves the list as it was.
    ShapedPairs list;
    if (const Outcome read =
            session_.readShapedList(QFile::encodeName(path).toStdString(), shownName.toStdString(), list);
        !read.ok()) {
        dialogs_().errorBox(window_, QString::fromStdString(read.message));
        return;
    }
    if (!list.shape.fixed() && list.size() > static_cast<size_t>(kPatternCapacity)) {
        dialogs_().errorBox(window_, tr("%1 holds %2; a list takes at most %3")
                                         .arg(shownName, pairsText(static_cast<int>(list.size())))
                                         .arg(kPatternCapacity));
        return;
    }
    history_->record(tr("Open Pattern List"), [&] {
        if (list.shape.fixed()) {
            shaped_.close();
            list_.loadPatternList(fixedFromShaped(list));
            list_.noteListInFiles();
        } else {
            shaped_.open(std::move(list));
        }
    });
    documentPath_ = QFileInfo(path).absoluteFilePath();
    rememberRecent(documentPath_);
    emit indexShown(currentPosition());
    if (!shaped_.active() && list_.currentIndex >= 1)
        emit pairShown(list_.currentIndex);
    emit changed();
    emit documentChanged();
    showListNotice(pairCount() == 0 ? tr("%1 held no pairs").arg(shownName)
                                    : tr("Opened %1 from %2").arg(pairsText(pairCount()), shownName));
}

bool ListController::savePatternList()
{
    // A .dat list (the job files) is no list file: Save asks for one.
    if (documentPath_.isEmpty() || QFileInfo(documentPath_).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive))
        return savePatternListAs();
    return saveTo(documentPath_);
}

bool ListController::savePatternListAs()
{
    const std::optional<QString> name = dialogs_().saveFileName(window_, saveFilter(), lastPatternListName_);
    if (!name || name->isEmpty())
        return false;
    QString path = *name;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    if (!mayReplace(window_, dialogs_(), path))
        return false;
    return saveTo(path);
}

bool ListController::saveTo(const QString& path)
{
    std::string text;
    if (const Outcome made = session_.patternListText(text); !made.ok()) {
        dialogs_().errorBox(window_, QString::fromStdString(made.message));
        return false;
    }
    const QString shownName = QFileInfo(path).fileName();
    // The old file stays whole until the new one is complete.
    if (const QString reason = replaceFileWith(path, text); !reason.isEmpty()) {
        dialogs_().errorBox(window_, fileErrorText(shownName, tr("not saved"), reason));
        return false;
    }
    lastPatternListName_ = path;
    documentPath_ = QFileInfo(path).absoluteFilePath();
    rememberRecent(documentPath_);
    if (shaped_.active())
        shaped_.inFiles = shaped_.pairs;
    else
        list_.noteListInFiles();
    emit documentChanged();
    showListNotice(tr("Saved %1 to %2").arg(pairsText(pairCount()), shownName));
    return true;
}

bool ListController::confirmDiscardList()
{
    return mayReplaceList(pairCount() == 1 ? tr("Save the pair before closing?")
                                           : tr("Save the %1 pairs before closing?").arg(pairCount()));
}

} // namespace duolink

namespace duolink {
namespace {

constexpr const char* kRecoveryOfferedKey = "recoveryListsOffered";

} // namespace

QString ListController::writeRecoveryList(const QString& folder)
{
    if (!documentModified())
        return {};
    std::string text;
    QString problem;
    if (const Outcome made = session_.patternListText(text); !made.ok())
        problem = QString::fromStdString(made.message);
    // Never over another file: a second one within the same second gets a number.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = QDir(folder).absoluteFilePath(QStringLiteral("recovered-%1.csv").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(folder).absoluteFilePath(QStringLiteral("recovered-%1-%2.csv").arg(stamp).arg(n));
    if (problem.isEmpty())
        problem = replaceFileWith(path, text);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "duolink: the unsaved pairs could not be kept in %s: %s\n",
                     QFile::encodeName(QDir::toNativeSeparators(path)).constData(), problem.toLocal8Bit().constData());
        return {};
    }
    std::fprintf(stderr, "duolink: the unsaved pairs were kept in %s\n",
                 QFile::encodeName(QDir::toNativeSeparators(path)).constData());
    return path;
}

void ListController::offerRecoveryList(const QString& folder)
{
    QStringList found = QDir(folder).entryList({QStringLiteral("recovered-*.csv")}, QDir::Files, QDir::Name);
    if (found.isEmpty())
        return;
    const QString path = QDir(folder).absoluteFilePath(found.constLast());
    QSettings settings;
    QStringList offered = settings.value(QLatin1String(kRecoveryOfferedKey)).toStringList();
    if (offered.contains(path))
        return;
    // Asked once for each file: the answer stands.
    offered.append(path);
    while (offered.size() > kRecentCount)
        offered.removeFirst();
    settings.setValue(QLatin1String(kRecoveryOfferedKey), offered);
    if (dialogs_().question(window_, tr("The pairs that were not saved when Duolink last ended are in %1.\n"
                                        "Open them?")
                                         .arg(found.constLast())))
        openPatternListFile(path);
}

} // namespace duolink
