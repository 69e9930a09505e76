// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole pattern list at a glance, and where a list of any shape is
// edited: cells in place, pairs added and deleted, blocks copied out and
// pasted from a spreadsheet as tab-separated text. Selecting a cell browses
// to its pair in the main window. Every edit can be undone from either window.
#include <QList>
#include <QStringList>
#include <QWidget>

class QAction;
class QLabel;
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

    // The selected block as tab-separated text, one line per row, to the
    // clipboard; and the clipboard's block pasted at the current cell.
    void copyBlock();
    void pasteBlock();
    // Appends a pair of zeros; deletes the pairs of the selected cells.
    void addPair();
    void deletePairs();

    // Tab-separated text as rows of cells (a spreadsheet's copy ends in a
    // line end, which adds no row).
    static QList<QStringList> blockOf(const QString& text);

private:
    // Brings the table up to the store and selects the current pair.
    void follow();
    void rowSelected();
    QAction* addAction(const char* name, const QString& text, const QList<QKeySequence>& keys,
                       void (PatternListWindow::*slot)());

    ListController* lists_;
    PatternTableModel* model_;
    QTableView* table_;
    QLabel* shapeLine_;
    bool following_ = false;
};

} // namespace duolink
