// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recall table behind the Recall tab's view: one row per pair. The
// display role holds the texts, the sort role (Qt::UserRole) the numbers.
#include <QAbstractTableModel>

#include <memory>

#include "core/analysis/recalltable.h"

namespace duolink {

class RecallTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Columns: Pair, A1..A8, B1..B8, R1..R8, then these.
    enum Column {
        kPair = 0,
        kFirstA = 1,
        kFirstB = 9,
        kFirstR = 17,
        kMaxError = 25,
        kOutsideTol = 26,
        kRecalled = 27,
        kNearest = 28,
        kNearestOwn = 29,
        kColumnCount = 30
    };
    static constexpr int kSortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    void setTable(std::shared_ptr<const RecallTable> table);
    const RecallTable* table() const { return table_.get(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Whether the cell shows something outside TOL (a recalled value, the
    // row's count or its verdict).
    bool outsideTol(int row, int column) const;

private:
    std::shared_ptr<const RecallTable> table_;
};

} // namespace duolink
