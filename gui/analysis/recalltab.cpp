// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/recalltab.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "core/analysis/recalltable.h"
#include "analysis/analysisrun.h"
#include "analysis/recalltablemodel.h"

namespace duolink {

RecallTab::RecallTab(AnalysisWindow& window)
    : AnalysisTab(window), model_(new RecallTableModel(this)), proxy_(new QSortFilterProxyModel(this)),
      view_(new QTableView), summary_(new QLabel), testButton_(new QPushButton(tr("&Test All Pairs"))),
      saveCsvButton_(new QPushButton(tr("Save as &CSV\u2026"))),
      result_(std::make_shared<std::shared_ptr<const RecallTable>>())
{
    setObjectName(QStringLiteral("RecallTab"));
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(RecallTableModel::kSortRole);
    view_->setObjectName(QStringLiteral("recallView"));
    view_->setModel(proxy_);
    view_->setSortingEnabled(true);
    view_->sortByColumn(RecallTableModel::kPair, Qt::AscendingOrder);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setDefaultSectionSize(52);
    view_->horizontalHeader()->setMinimumSectionSize(36);
    view_->setWordWrap(false);
    // Before the first run too, every header reads whole.
    view_->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { rowChosen(current); });

    summary_->setObjectName(QStringLiteral("recallSummary"));
    summary_->setText(tr("Test all pairs (F7) recalls every pair of the list through the trained matrix."));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    testButton_->setObjectName(QStringLiteral("testAllPairsButton"));
    testButton_->setToolTip(tr("Recall every pair as Predict would, without changing the matrix or the fields"));
    saveCsvButton_->setObjectName(QStringLiteral("saveRecallCsvButton"));
    saveCsvButton_->setEnabled(false);
    connect(testButton_, &QPushButton::clicked, this, &RecallTab::run);
    connect(saveCsvButton_, &QPushButton::clicked, this, &RecallTab::saveCsvAs);
    run_->setUnit(tr("parts"));
    connect(run_, &AnalysisRun::finished, this, [this](bool completed) { runFinished(completed); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(testButton_);
    buttons->addWidget(saveCsvButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(view_, 1);
    layout->addWidget(run_);
}

bool RecallTab::hasResults() const
{
    return model_->table() != nullptr;
}

void RecallTab::run()
{
    const std::shared_ptr<const AnalysisInput> input = takeInput();
    if (!input)
        return;
    if (const ListShape shape = input->shaped.shape; !shape.fixed()) {
        run_->setStatus(tr("Recall takes lists of 8 + 8 values for now; this list holds pairs of %1 + %2 values. "
                           "The runner's --recall-table takes it.")
                            .arg(shape.n)
                            .arg(shape.m));
        return;
    }
    auto result = result_;
    pendingInput_ = input;
    run_->start([input, result](WorkProgress& progress) {
        progress.total = 1;
        *result = std::make_shared<const RecallTable>(recallTable(input->snapshot, input->list, input->tol));
        progress.done = 1;
    });
}

void RecallTab::runFinished(bool completed)
{
    if (!completed)
        return;
    model_->setTable(*result_);
    shownInput_ = pendingInput_;
    const RecallTable& table = **result_;
    summary_->setText(QString::fromStdString(recallSummary(table)));
    run_->setStatus(table.rows.empty() ? tr("The list is empty.") : QString());
    saveCsvButton_->setEnabled(true);
    view_->resizeColumnsToContents();
}

void RecallTab::rowChosen(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const QModelIndex source = proxy_->mapToSource(index);
    emit window_.pairChosen(model_->table()->rows[static_cast<size_t>(source.row())].pair);
}

void RecallTab::saveCsvAs()
{
    if (const RecallTable* table = model_->table())
        saveTextAs(tr("CSV files (*.csv);;All files (*)"), "csv", lastCsvName_, recallTableCsv(*table), [&] {
            analysis::Provenance p = tableProvenance("recall-table", *shownInput_);
            analysis::setTableOptions(p, shownInput_->tol, nullptr);
            p.rows = table->rows.size();
            return p;
        });
}

} // namespace duolink
