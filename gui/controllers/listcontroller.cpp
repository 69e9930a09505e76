// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllers/listcontroller.h"

#include <QTimer>
#include <QWidget>

#include "core/session/session.h"
#include "list/listhistory.h"

namespace duolink {
namespace {

QString pairsText(int count)
{
    return count == 1 ? QStringLiteral("1 pair") : QStringLiteral("%1 pairs").arg(count);
}

QString pastTheEndText(int position, int patternCount)
{
    return QStringLiteral("Position %1 is past the end of the list (%2)").arg(position).arg(pairsText(patternCount));
}

} // namespace

ListController::ListController(Session& session, std::function<Dialogs&()> dialogs, QWidget* window)
    : QObject(window), session_(session), list_(session.patterns()), shaped_(session.shapedList()),
      dialogs_(std::move(dialogs)), window_(window), history_(new ListHistory(list_, this)),
      noticeEnd_(new QTimer(this))
{
    history_->alsoRecord(shaped_);
    noticeEnd_->setObjectName(QStringLiteral("noticeEnd"));
    noticeEnd_->setSingleShot(true);
    connect(noticeEnd_, &QTimer::timeout, this, &ListController::showListPosition);
    connect(history_, &ListHistory::listRestored, this, &ListController::showRestoredList);
}

QAction* ListController::createUndoAction(QObject* parent) const
{
    return history_->createUndoAction(parent);
}

QAction* ListController::createRedoAction(QObject* parent) const
{
    return history_->createRedoAction(parent);
}

void ListController::showListPosition()
{
    emit statusMessage(QStringLiteral("Pair %1 of %2").arg(currentPosition()).arg(pairCount()), 0);
}

void ListController::endNotice()
{
    noticeEnd_->stop();
}

void ListController::showListNotice(const QString& text)
{
    // The lasting position first, so that it is current under the notice.
    showListPosition();
    emit statusMessage(text, kNoticeMs);
    noticeEnd_->start(kNoticeMs);
}

// Why Update or Delete cannot act on the current position.
QString ListController::refusalText(const QString& command) const
{
    if (list_.patternCount == 0)
        return command + QStringLiteral(": the list is empty");
    return command + QStringLiteral(": position %1 is past the end of the list (%2)")
                         .arg(list_.currentIndex)
                         .arg(pairsText(list_.patternCount));
}

void ListController::add(const TPatternVector& a, const TPatternVector& b)
{
    if (locked_)
        return;
    if (shaped_.active()) {
        showListNotice(shapedFieldsText(tr("Add")));
        return;
    }
    history_->record(tr("Add Pair %1").arg(list_.patternCount + 1), [&] { addNow(a, b); });
}

void ListController::update(const TPatternVector& a, const TPatternVector& b)
{
    if (locked_)
        return;
    if (shaped_.active()) {
        showListNotice(shapedFieldsText(tr("Update")));
        return;
    }
    history_->record(tr("Update Pair %1").arg(list_.currentIndex), [&] { updateNow(a, b); });
}

void ListController::remove()
{
    if (locked_)
        return;
    if (shaped_.active()) {
        if (shaped_.currentRow < 1)
            showListNotice(QStringLiteral("Delete: the list is empty"));
        else
            removePairs({shaped_.currentRow - 1});
        return;
    }
    history_->record(tr("Delete Pair %1").arg(list_.currentIndex), [this] { removeNow(); });
}

void ListController::reset()
{
    if (locked_)
        return;
    if (!mayReplaceList(pairCount() == 1 ? tr("Save the pair before the reset?")
                                         : tr("Save the %1 pairs before the reset?").arg(pairCount())))
        return;
    history_->record(tr("Reset List"), [this] { resetNow(); });
}

void ListController::addNow(const TPatternVector& a, const TPatternVector& b)
{
    if (!list_.listAdd(a, b)) {
        showListNotice(QStringLiteral("The list is full (%1)").arg(pairsText(kPatternCapacity)));
        return;
    }
    emit indexShown(list_.patternCount);
    showListPosition();
    emit changed();
}

void ListController::removeNow()
{
    if (!list_.listDelete()) {
        showListNotice(refusalText(QStringLiteral("Delete")));
        return;
    }
    emit indexShown(list_.currentIndex);
    if (list_.currentIndex >= 1)
        emit pairShown(list_.currentIndex);
    showListPosition();
    emit changed();
}

void ListController::updateNow(const TPatternVector& a, const TPatternVector& b)
{
    if (list_.currentIndex < 1 || list_.currentIndex > list_.patternCount) {
        showListNotice(refusalText(QStringLiteral("Update")));
        return;
    }
    list_.listUpdate(a, b);
    showListPosition();
    emit changed();
}

void ListController::resetNow()
{
    // A list of another shape goes with its pairs: the form's list is back.
    shaped_.close();
    list_.listReset();
    emit indexShown(0);
    emit r2Cleared();
    showListPosition();
    emit changed();
}

void ListController::next()
{
    if (locked_)
        return;
    if (shaped_.active()) {
        browseShaped(1, QStringLiteral("Next: this is the last pair"));
        return;
    }
    if (!list_.listNext()) {
        showListNotice(list_.currentIndex == 0 ? QStringLiteral("Next: the list is empty")
                                               : QStringLiteral("Next: %1 is the last position").arg(kPatternCapacity));
        return;
    }
    showBrowsedPair();
}

void ListController::previous()
{
    if (locked_)
        return;
    if (shaped_.active()) {
        browseShaped(-1, QStringLiteral("Previous: this is the first pair"));
        return;
    }
    if (!list_.listPrevious()) {
        showListNotice(list_.currentIndex == 0 ? QStringLiteral("Previous: the list is empty")
                                               : QStringLiteral("Previous: this is the first position"));
        return;
    }
    showBrowsedPair();
}

void ListController::browseTo(int position)
{
    if (shaped_.active()) {
        if (!locked_ && position >= 1 && position <= shaped_.size() && position != shaped_.currentRow)
            browseShaped(position - shaped_.currentRow, {});
        return;
    }
    if (locked_ || position < 1 || position > list_.patternCount || position == list_.currentIndex)
        return;
    list_.currentIndex = position;
    showBrowsedPair();
}

void ListController::showBrowsedPair()
{
    emit indexShown(list_.currentIndex);
    emit pairShown(list_.currentIndex);
    // What the fields show past the end is left over or zero, not part of the list.
    if (list_.currentIndex > list_.patternCount)
        showListNotice(pastTheEndText(list_.currentIndex, list_.patternCount));
    else
        showListPosition();
    emit changed();
}

void ListController::showRestoredList()
{
    emit indexShown(currentPosition());
    if (!shaped_.active() && list_.currentIndex >= 1)
        emit pairShown(list_.currentIndex);
    showListPosition();
    emit changed();
}

int ListController::currentPosition() const
{
    return shaped_.active() ? shaped_.currentRow : list_.currentIndex;
}

int ListController::pairCount() const
{
    return shaped_.active() ? shaped_.size() : list_.patternCount;
}

QString ListController::shapedFieldsText(const QString& command) const
{
    return tr("%1: the list holds pairs of %2 + %3 values; edit them in the Pattern List window")
        .arg(command)
        .arg(shaped_.pairs.shape.n)
        .arg(shaped_.pairs.shape.m);
}

void ListController::browseShaped(int step, const QString& refusal)
{
    const int row = shaped_.currentRow + step;
    if (shaped_.size() == 0 || row < 1 || row > shaped_.size()) {
        showListNotice(shaped_.size() == 0 ? tr("The list is empty") : refusal);
        return;
    }
    shaped_.currentRow = row;
    emit indexShown(row);
    showListPosition();
    emit changed();
}

} // namespace duolink
