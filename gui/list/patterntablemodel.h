// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pattern list as a table: a read-only view of the store, one row per
// pair of the list.
#include <QAbstractTableModel>

#include "core/patterns/patterns.h"

namespace duolink {

class PatternTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Columns: the position, A1..A8, B1..B8, then the A and B parity elements.
    enum Column { PositionColumn = 0, FirstAColumn = 1, FirstBColumn = 9, AParityColumn = 17, BParityColumn = 18 };
    static constexpr int kColumns = 19;

    // A view of `list`, which outlives the model.
    explicit PatternTableModel(const PatternList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Brings the views up to the store after a list command: rows added or
    // removed at the end, every value possibly changed.
    void refresh();

private:
    const PatternList& list_;
    int rows_ = 0; // the pattern count the views were last told
};

} // namespace duolink
