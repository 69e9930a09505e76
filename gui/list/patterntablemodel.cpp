// SPDX-License-Identifier: GPL-3.0-or-later
#include "list/patterntablemodel.h"

#include <charconv>

#include "core/patterns/patterns.h"
#include "core/support/numtext.h"
#include "controllers/listcontroller.h"

namespace duolink {
namespace {

// The value as the shortest text that reads back as the same double: what
// an edit starts from, so that opening a cell and leaving it changes nothing.
QString exactText(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

int columnsOf(const ListController& lists)
{
    return 1 + lists.valueCount() + (lists.shapedList().active() ? 1 : 2);
}

ListShape shapeOf(const ListController& lists)
{
    return lists.shapedList().active() ? lists.shapedList().pairs.shape : ListShape{};
}

} // namespace

PatternTableModel::PatternTableModel(ListController& lists, QObject* parent)
    : QAbstractTableModel(parent), lists_(lists), rows_(lists.pairCount()), columns_(columnsOf(lists)), shape_(shapeOf(lists))
{
}

int PatternTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int PatternTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columns_;
}

int PatternTableModel::aCount() const
{
    return lists_.shapedList().active() ? lists_.shapedList().pairs.shape.n : 8;
}

int PatternTableModel::valueOfColumn(int column) const
{
    return column >= FirstAColumn && column <= lists_.valueCount() ? column - FirstAColumn : -1;
}

QVariant PatternTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const int row = index.row();
    const int column = index.column();
    if (column == PositionColumn)
        return row + 1;
    double value = 0;
    if (const int v = valueOfColumn(column); v >= 0) {
        value = lists_.value(row, v);
    } else if (lists_.shapedList().active()) {
        value = lists_.shapedList().pairs.a[static_cast<size_t>(row)].back();
    } else {
        const PatternList& list = lists_.list();
        value = (column == columns_ - 2 ? list.aPatterns : list.bPatterns)[row + 1][9];
    }
    if (role == Qt::EditRole)
        return exactText(value);
    return QString::fromStdString(realText(value)).trimmed();
}

bool PatternTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const int v = index.isValid() && role == Qt::EditRole ? valueOfColumn(index.column()) : -1;
    if (v < 0 || index.row() >= rows_)
        return false;
    // The controller says what changed (refresh); a refused text changes nothing.
    return lists_.setCell(index.row(), v, value.toString());
}

QVariant PatternTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == PositionColumn)
        return tr("Pair");
    if (const int v = valueOfColumn(section); v >= 0)
        return v < aCount() ? QStringLiteral("A%1").arg(v + 1) : QStringLiteral("B%1").arg(v - aCount() + 1);
    return section == 1 + lists_.valueCount() ? tr("A parity") : tr("B parity");
}

Qt::ItemFlags PatternTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags shown = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return valueOfColumn(index.column()) >= 0 ? shown | Qt::ItemIsEditable : shown;
}

void PatternTableModel::refresh()
{
    const int count = lists_.pairCount();
    if (shapeOf(lists_) != shape_) {
        beginResetModel();
        rows_ = count;
        columns_ = columnsOf(lists_);
        shape_ = shapeOf(lists_);
        endResetModel();
        return;
    }
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
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1), {Qt::DisplayRole});
}

} // namespace duolink
