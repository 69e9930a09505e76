// SPDX-License-Identifier: GPL-3.0-or-later
#include "list/patternlistwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

#include "core/patterns/patterns.h"
#include "controllers/listcontroller.h"
#include "list/patterntablemodel.h"

namespace duolink {

PatternListWindow::PatternListWindow(ListController* lists, QWidget* parent)
    : QWidget(parent, Qt::Window), lists_(lists), model_(new PatternTableModel(*lists, this)),
      table_(new QTableView(this)), shapeLine_(new QLabel(this))
{
    setObjectName(QStringLiteral("PatternListWindow"));
    setWindowTitle(tr("Pattern List"));

    table_->setObjectName(QStringLiteral("PatternTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("PatternListTools"));
    tools->addAction(addAction("addPairAction", tr("Add Pair"), {QKeySequence(Qt::CTRL | Qt::Key_Plus)},
                               &PatternListWindow::addPair));
    tools->addAction(addAction("deletePairsAction", tr("Delete Pairs"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
                               &PatternListWindow::deletePairs));
    tools->addSeparator();
    tools->addAction(addAction("copyBlockAction", tr("Copy"), {QKeySequence::Copy}, &PatternListWindow::copyBlock));
    tools->addAction(addAction("pasteBlockAction", tr("Paste"), {QKeySequence::Paste}, &PatternListWindow::pasteBlock));
    QWidget::addAction(lists_->createUndoAction(this));
    QWidget::addAction(lists_->createRedoAction(this));

    shapeLine_->setObjectName(QStringLiteral("PatternListShape"));
    shapeLine_->setContentsMargins(6, 0, 6, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(tools);
    layout->addWidget(shapeLine_);
    layout->addWidget(table_);
    resize(900, 420);

    connect(lists_, &ListController::changed, this, &PatternListWindow::follow);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &PatternListWindow::rowSelected);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &PatternListWindow::rowSelected);
    follow();
}

QAction* PatternListWindow::addAction(const char* name, const QString& text, const QList<QKeySequence>& keys,
                                      void (PatternListWindow::*slot)())
{
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, slot);
    QWidget::addAction(action);
    return action;
}

void PatternListWindow::follow()
{
    following_ = true;
    model_->refresh();
    const ShapedDocument& shaped = lists_->shapedList();
    shapeLine_->setVisible(shaped.active());
    if (shaped.active())
        shapeLine_->setText(tr("Pairs of %1 A values and %2 B values: Solve trains them with A Len %3 and B Len %4")
                                .arg(shaped.pairs.shape.n)
                                .arg(shaped.pairs.shape.m)
                                .arg(shaped.pairs.shape.aLen())
                                .arg(shaped.pairs.shape.bLen()));
    const int current = lists_->currentPosition();
    const QModelIndex kept = table_->currentIndex();
    if (current >= 1 && current <= model_->rowCount()) {
        // The cell being worked on stays current when it is on the pair.
        const QModelIndex cell = model_->index(current - 1, kept.isValid() && kept.row() == current - 1 ? kept.column() : 0);
        if (!table_->selectionModel()->isSelected(cell) || kept.row() != current - 1) {
            table_->selectionModel()->select(cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            table_->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
        }
        table_->scrollTo(cell);
    } else {
        table_->clearSelection();
    }
    following_ = false;
}

void PatternListWindow::rowSelected()
{
    if (following_)
        return;
    const QModelIndex current = table_->selectionModel()->currentIndex();
    if (current.isValid())
        lists_->browseTo(current.row() + 1);
}

QList<QStringList> PatternListWindow::blockOf(const QString& text)
{
    QList<QStringList> block;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        block.append(line.split(QLatin1Char('\t')));
    }
    return block;
}

void PatternListWindow::copyBlock()
{
    const QModelIndexList cells = table_->selectionModel()->selectedIndexes();
    if (cells.isEmpty())
        return;
    int top = cells.first().row(), bottom = top, left = cells.first().column(), right = left;
    for (const QModelIndex& cell : cells) {
        top = std::min(top, cell.row());
        bottom = std::max(bottom, cell.row());
        left = std::min(left, cell.column());
        right = std::max(right, cell.column());
    }
    QString text;
    for (int row = top; row <= bottom; ++row) {
        QStringList line;
        for (int column = left; column <= right; ++column)
            line.append(model_->index(row, column).data(Qt::EditRole).toString());
        text += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void PatternListWindow::pasteBlock()
{
    const QList<QStringList> block = blockOf(QApplication::clipboard()->text());
    if (block.isEmpty())
        return;
    const QModelIndex current = table_->currentIndex();
    const int row = current.isValid() ? current.row() : model_->rowCount();
    const int value = current.isValid() ? std::max(0, model_->valueOfColumn(current.column())) : 0;
    lists_->pasteBlock(row, value, block);
}

void PatternListWindow::addPair()
{
    lists_->addRow();
}

void PatternListWindow::deletePairs()
{
    QList<int> rows;
    for (const QModelIndex& cell : table_->selectionModel()->selectedIndexes())
        rows.append(cell.row());
    lists_->removePairs(rows);
}

} // namespace duolink
