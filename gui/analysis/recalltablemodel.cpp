// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/recalltablemodel.h"

#include <QBrush>
#include <QColor>

#include <cmath>
#include <string>

namespace duolink {

namespace {

QString shortest(double value)
{
    std::string text;
    appendShortest(text, value);
    return QString::fromStdString(text);
}

} // namespace

void RecallTableModel::setTable(std::shared_ptr<const RecallTable> table)
{
    beginResetModel();
    table_ = std::move(table);
    endResetModel();
}

int RecallTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !table_ ? 0 : static_cast<int>(table_->rows.size());
}

int RecallTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

bool RecallTableModel::outsideTol(int row, int column) const
{
    const RecallRow& r = table_->rows[static_cast<size_t>(row)];
    if (column >= kFirstR && column < kFirstR + 8) {
        const int j = column - kFirstR;
        return std::fabs(r.recalled[j] - r.b[j + 1]) > table_->tol;
    }
    if (column == kMaxError || column == kOutsideTol || column == kRecalled)
        return !r.recalledWithinTol();
    if (column == kNearest || column == kNearestOwn)
        return !r.nearestOwn();
    return false;
}

QVariant RecallTableModel::data(const QModelIndex& index, int role) const
{
    if (!table_ || !index.isValid())
        return {};
    const int column = index.column();
    const RecallRow& r = table_->rows[static_cast<size_t>(index.row())];
    if (role == Qt::BackgroundRole)
        return outsideTol(index.row(), column) ? QBrush(QColor(255, 205, 200)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != kSortRole)
        return {};
    const bool text = role == Qt::DisplayRole;
    const auto yesNo = [&](bool yes) -> QVariant { return text ? QVariant(yes ? tr("yes") : tr("no")) : QVariant(yes); };
    if (column == kPair)
        return r.pair;
    if (column < kFirstB)
        return text ? QVariant(shortest(r.a[column])) : QVariant(r.a[column]);
    if (column < kFirstR)
        return text ? QVariant(shortest(r.b[column - kFirstB + 1])) : QVariant(r.b[column - kFirstB + 1]);
    if (column < kMaxError) {
        const double value = r.recalled[column - kFirstR];
        return text ? QVariant(QString::fromStdString(fieldValueText(value))) : QVariant(value);
    }
    switch (column) {
    // Four significant digits here; the CSV keeps every digit.
    case kMaxError: return text ? QVariant(QString::number(r.score.maxError, 'g', 4)) : QVariant(r.score.maxError);
    case kOutsideTol: return r.score.outsideTol;
    case kRecalled: return yesNo(r.recalledWithinTol());
    case kNearest: return r.score.nearest;
    case kNearestOwn: return yesNo(r.nearestOwn());
    default: return {};
    }
}

QVariant RecallTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::ToolTipRole) {
        switch (section) {
        case kMaxError: return tr("The largest |recalled \u2212 expected|");
        case kOutsideTol: return tr("Elements further than TOL from the expected value");
        case kRecalled: return tr("Yes when no element is outside TOL");
        case kNearest: return tr("The list position of the stored B closest to the recalled B");
        case kNearestOwn: return tr("Whether the closest stored B is the pair's own");
        default: return {};
        }
    }
    if (role != Qt::DisplayRole)
        return {};
    if (section == kPair)
        return tr("Pair");
    if (section < kFirstB)
        return QStringLiteral("A%1").arg(section - kFirstA + 1);
    if (section < kFirstR)
        return QStringLiteral("B%1").arg(section - kFirstB + 1);
    if (section < kMaxError)
        return QStringLiteral("R%1").arg(section - kFirstR + 1);
    switch (section) {
    case kMaxError: return tr("Max error");
    case kOutsideTol: return tr("Outside");
    case kRecalled: return tr("Recalled");
    case kNearest: return tr("Nearest");
    case kNearestOwn: return tr("Own");
    default: return {};
    }
}

} // namespace duolink
