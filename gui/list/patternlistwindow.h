// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole pattern list at a glance: a table of the pairs that follows the
// list commands. Selecting a row browses to that pair in the main window.
#include <QWidget>

class QTableView;

namespace duolink {

class ListController;
class PatternTableModel;

class PatternListWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own over `parent`, on the list of `lists`.
    PatternListWindow(ListController* lists, QWidget* parent);

    QTableView* table() const { return table_; }
    PatternTableModel* model() const { return model_; }

private:
    // Brings the table up to the store and selects the current pair.
    void follow();
    void rowSelected();

    ListController* lists_;
    PatternTableModel* model_;
    QTableView* table_;
    bool following_ = false;
};

} // namespace duolink
