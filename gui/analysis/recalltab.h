// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Recall tab: every pair of the list recalled through the trained
// matrix, exactly as Predict recalls it, with the cells outside TOL marked.
#include <memory>

#include "analysis/analysiswindow.h"

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace duolink {

class RecallTableModel;
struct RecallTable;

class RecallTab : public AnalysisTab {
    Q_OBJECT
public:
    explicit RecallTab(AnalysisWindow& window);

    QString title() const override { return tr("Recall"); }
    void run() override;
    bool hasResults() const override;

    void saveCsvAs();

    QTableView* view() const { return view_; }
    RecallTableModel* model() const { return model_; }
    QSortFilterProxyModel* proxy() const { return proxy_; }
    QLabel* summary() const { return summary_; }
    QPushButton* saveCsvButton() const { return saveCsvButton_; }

private:
    void runFinished(bool completed);
    void rowChosen(const QModelIndex& index);

    RecallTableModel* model_;
    QSortFilterProxyModel* proxy_;
    QTableView* view_;
    QLabel* summary_;
    QPushButton* testButton_;
    QPushButton* saveCsvButton_;
    std::shared_ptr<std::shared_ptr<const RecallTable>> result_;
    std::shared_ptr<const AnalysisInput> pendingInput_, shownInput_; // what the run and the table came from
    QString lastCsvName_;
};

} // namespace duolink
