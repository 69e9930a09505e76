// SPDX-License-Identifier: GPL-3.0-or-later
#include "list/patterntablemodel.h"

#include "core/support/numtext.h"
#include "core/patterns/patterns.h"

namespace duolink {

PatternTableModel::PatternTableModel(const PatternList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), rows_(list.patternCount)
{
}

int PatternTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int PatternTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant PatternTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const int position = index.row() + 1;
    const int column = index.column();
    if (column == PositionColumn)
        return position;
    double value = 0;
    if (column < FirstBColumn)
        value = list_.aPatterns[position][column - FirstAColumn + 1];
    else if (column < AParityColumn)
        value = list_.bPatterns[position][column - FirstBColumn + 1];
    else
        value = (column == AParityColumn ? list_.aPatterns : list_.bPatterns)[position][9];
    return QString::fromStdString(realText(value)).trimmed();
}

QVariant PatternTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == PositionColumn)
        return tr("Pair");
    if (section < FirstBColumn)
        return QStringLiteral("A%1").arg(section - FirstAColumn + 1);
    if (section < AParityColumn)
        return QStringLiteral("B%1").arg(section - FirstBColumn + 1);
    return section == AParityColumn ? tr("A parity") : tr("B parity");
}

Qt::ItemFlags PatternTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void PatternTableModel::refresh()
{
    const int count = list_.patternCount;
    if (count > rows_) {
        beginInsertRows({}, rows_, count - 1);
        rows_ = count;
        endInsertRows();
    } else if (count < rows_) {
        beginRemoveRows({}, count, rows_ - 1);
        rows_ = count;
        endRemoveRows();
    }
    if (rows_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, kColumns - 1), {Qt::DisplayRole});
}

} // namespace duolink
