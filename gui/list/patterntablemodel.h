// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pattern list as a table, one row per pair, for a list of any shape.
// The values are edited in place; every edit goes through the list's
// controller, so that it can be undone as the list commands can.
#include <QAbstractTableModel>

#include "core/patterns/shapedlist.h"

namespace duolink {

class ListController;

class PatternTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Columns: the position, the A values, the B values, then the parity
    // elements (A and B for a list of 8 + 8 values, A alone for another shape).
    enum Column { PositionColumn = 0, FirstAColumn = 1 };

    // A view of the list of `lists`, which outlives the model.
    explicit PatternTableModel(ListController& lists, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The pair's value (0-based, A then B) a column shows; -1 for the
    // position and the parity columns.
    int valueOfColumn(int column) const;

    // Brings the views up to the store after a list command: rows added or
    // removed at the end, every value possibly changed, or another shape.
    void refresh();

private:
    int aCount() const;

    ListController& lists_;
    int rows_ = 0;    // the pair count the views were last told
    int columns_ = 0; // the column count the views were last told
    ListShape shape_; // and the shape they were told of
};

} // namespace duolink
