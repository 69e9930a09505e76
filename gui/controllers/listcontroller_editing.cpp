// SPDX-License-Identifier: GPL-3.0-or-later
// The list window's edits: cells, pasted blocks, rows added and deleted. Each
// goes through the same undo stack as the form's list commands, on the list
// in use (the fixed one or the one of another shape).
#include <algorithm>

#include "core/patterns/fieldreading.h"
#include "form/fieldmarks.h"
#include "controllers/listcontroller.h"
#include "list/listhistory.h"

namespace duolink {
namespace {

// The name of value `value` (0-based) of a pair of n A values: "A3", "B1".
QString valueName(int value, int n)
{
    return value < n ? QStringLiteral("A%1").arg(value + 1) : QStringLiteral("B%1").arg(value - n + 1);
}

} // namespace

int ListController::valueCount() const
{
    return shaped_.active() ? shaped_.pairs.shape.n + shaped_.pairs.shape.m : 16;
}

double ListController::value(int row, int value) const
{
    if (shaped_.active()) {
        const int n = shaped_.pairs.shape.n;
        const size_t r = static_cast<size_t>(row);
        return value < n ? shaped_.pairs.a[r][static_cast<size_t>(value)]
                         : shaped_.pairs.b[r][static_cast<size_t>(value - n)];
    }
    return value < 8 ? list_.aPatterns[row + 1][value + 1] : list_.bPatterns[row + 1][value - 7];
}

bool ListController::readCell(int row, int value, const QString& text, double& read)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    const FieldReading reading = readField(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!reading.whole()) {
        const int n = shaped_.active() ? shaped_.pairs.shape.n : 8;
        showListNotice(tr("Pair %1, %2 not changed: %3")
                           .arg(row + 1)
                           .arg(valueName(value, n), readingTip(reading).section(QLatin1Char(':'), 1).trimmed()));
        return false;
    }
    read = reading.value;
    return true;
}

void ListController::putValue(int row, int value, double read)
{
    if (!shaped_.active()) {
        (value < 8 ? list_.aPatterns[row + 1][value + 1] : list_.bPatterns[row + 1][value - 7]) = read;
        putFixedParity(row);
        return;
    }
    const int n = shaped_.pairs.shape.n;
    std::vector<double>& a = shaped_.pairs.a[static_cast<size_t>(row)];
    if (value < n) {
        a[static_cast<size_t>(value)] = read;
        a.back() = parityOfValues(a.data(), n);
    } else {
        shaped_.pairs.b[static_cast<size_t>(row)][static_cast<size_t>(value - n)] = read;
    }
}

void ListController::putFixedParity(int row)
{
    TPatternVector& a = list_.aPatterns[row + 1];
    TPatternVector& b = list_.bPatterns[row + 1];
    a[9] = parityOf(a);
    b[9] = parityOf(b);
}

bool ListController::setCell(int row, int value, const QString& text)
{
    return pasteBlock(row, value, {QStringList{text}});
}

bool ListController::blockFits(int row, int value, qsizetype rows, qsizetype width)
{
    if (value + width > valueCount()) {
        showListNotice(tr("The block is %1 values wide; from %2 there is room for %3")
                           .arg(width)
                           .arg(valueName(value, valueCount() - (shaped_.active() ? shaped_.pairs.shape.m : 8)))
                           .arg(valueCount() - value));
        return false;
    }
    if (row + rows > kPatternCapacity) {
        showListNotice(QStringLiteral("The list is full (%1 pairs)").arg(kPatternCapacity));
        return false;
    }
    return true;
}

bool ListController::readBlock(int row, int value, const QList<QStringList>& block,
                               std::vector<std::vector<double>>& values)
{
    for (qsizetype r = 0; r < block.size(); ++r) {
        values.emplace_back();
        for (qsizetype c = 0; c < block[r].size(); ++c)
            if (!readCell(row + static_cast<int>(r), value + static_cast<int>(c), block[r][c],
                          values.back().emplace_back()))
                return false;
    }
    return true;
}

bool ListController::pasteBlock(int row, int value, const QList<QStringList>& block)
{
    if (locked_ || block.isEmpty() || row < 0 || row > pairCount() || value < 0)
        return false;
    qsizetype width = 0;
    for (const QStringList& cells : block)
        width = std::max(width, cells.size());
    // Every cell is read before anything changes: one refused cell refuses the block.
    std::vector<std::vector<double>> values;
    if (!blockFits(row, value, block.size(), width) || !readBlock(row, value, block, values))
        return false;
    const QString name = block.size() == 1 && width == 1 ? tr("Edit Pair %1").arg(row + 1) : tr("Paste");
    history_->record(name, [&] { putBlock(row, value, values); });
    // The fields show the stored pair again when the edit reached it.
    const int current = list_.currentIndex - 1;
    if (!shaped_.active() && current >= row && current < row + static_cast<int>(values.size()))
        emit pairShown(list_.currentIndex);
    showListPosition();
    emit changed();
    return true;
}

void ListController::putBlock(int row, int value, const std::vector<std::vector<double>>& values)
{
    for (size_t r = 0; r < values.size(); ++r) {
        const int target = row + static_cast<int>(r);
        if (target >= pairCount())
            appendZeroPair();
        for (size_t c = 0; c < values[r].size(); ++c)
            putValue(target, value + static_cast<int>(c), values[r][c]);
    }
}

void ListController::appendZeroPair()
{
    if (!shaped_.active()) {
        TPatternVector zero{};
        list_.listAdd(zero, zero);
        return;
    }
    shaped_.pairs.a.emplace_back(static_cast<size_t>(shaped_.pairs.shape.aLen()), 0.0);
    shaped_.pairs.b.emplace_back(static_cast<size_t>(shaped_.pairs.shape.bLen()), 0.0);
    shaped_.currentRow = shaped_.size();
}

void ListController::addRow()
{
    if (locked_)
        return;
    if (pairCount() >= kPatternCapacity) {
        showListNotice(QStringLiteral("The list is full (%1 pairs)").arg(kPatternCapacity));
        return;
    }
    history_->record(tr("Add Pair %1").arg(pairCount() + 1), [this] { appendZeroPair(); });
    emit indexShown(currentPosition());
    if (!shaped_.active())
        emit pairShown(list_.currentIndex);
    showListPosition();
    emit changed();
}

void ListController::removePairs(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (locked_ || rows.isEmpty() || rows.constFirst() < 0 || rows.constLast() >= pairCount())
        return;
    const QString name = rows.size() == 1 ? tr("Delete Pair %1").arg(rows.constFirst() + 1)
                                          : tr("Delete %1 Pairs").arg(rows.size());
    history_->record(name, [&] {
        // From the last to the first, so that the earlier pairs keep their places.
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            if (!shaped_.active()) {
                list_.currentIndex = *it + 1;
                list_.listDelete();
                continue;
            }
            shaped_.pairs.a.erase(shaped_.pairs.a.begin() + *it);
            shaped_.pairs.b.erase(shaped_.pairs.b.begin() + *it);
        }
        if (shaped_.active())
            shaped_.currentRow = std::min(rows.constFirst() + 1, shaped_.size());
        else
            list_.currentIndex = std::min(rows.constFirst() + 1, list_.patternCount);
    });
    emit indexShown(currentPosition());
    if (!shaped_.active() && list_.currentIndex >= 1)
        emit pairShown(list_.currentIndex);
    showListPosition();
    emit changed();
}

} // namespace duolink
