#pragma once
// The whole pattern list at a glance: a table of the pairs that follows the
// list commands. Selecting a row browses to that pair in the main window.
#include <QWidget>

class QTableView;

namespace duolink {

class PatternTableModel;
class TForm2;

class PatternListWindow : public QWidget {
    Q_OBJECT
public:
    explicit PatternListWindow(TForm2* form);

    QTableView* table() const { return table_; }
    PatternTableModel* model() const { return model_; }

private:
    // Brings the table up to the store and selects the current pair.
    void follow();
    void rowSelected();

    TForm2* form_;
    PatternTableModel* model_;
    QTableView* table_;
    bool following_ = false;
};

} // namespace duolink
