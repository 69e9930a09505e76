// SPDX-License-Identifier: GPL-3.0-or-later
#include "list/patternlistwindow.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QVBoxLayout>

#include "core/patterns/patterns.h"
#include "controllers/listcontroller.h"
#include "list/patterntablemodel.h"

namespace duolink {

PatternListWindow::PatternListWindow(ListController* lists, QWidget* parent)
    : QWidget(parent, Qt::Window), lists_(lists), model_(new PatternTableModel(lists->list(), this)),
      table_(new QTableView(this))
{
    setObjectName(QStringLiteral("PatternListWindow"));
    setWindowTitle(tr("Pattern List"));

    table_->setObjectName(QStringLiteral("PatternTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
    resize(900, 420);

    connect(lists_, &ListController::changed, this, &PatternListWindow::follow);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &PatternListWindow::rowSelected);
    follow();
}

void PatternListWindow::follow()
{
    following_ = true;
    model_->refresh();
    const int currentIndex = lists_->list().currentIndex;
    if (currentIndex >= 1 && currentIndex <= model_->rowCount()) {
        const QModelIndex current = model_->index(currentIndex - 1, 0);
        table_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        table_->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        table_->scrollTo(current);
    } else {
        table_->clearSelection();
    }
    following_ = false;
}

void PatternListWindow::rowSelected()
{
    if (following_)
        return;
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.size() == 1)
        lists_->browseTo(rows.first().row() + 1);
}

} // namespace duolink
