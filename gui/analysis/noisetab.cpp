// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/noisetab.h"

#include <QAbstractTableModel>
#include <QChart>
#include <QCheckBox>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <charconv>
#include <string>

#include "analysis/analysisrun.h"
#include "training/chartaxes.h"
#include "training/chartexport.h"
#include "analysis/keptruns.h"
#include "common/dialogs.h"

namespace duolink {

namespace {

double share(long long part, long long whole)
{
    return whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

} // namespace

// The rows of a noise table; the display role holds texts, Qt::UserRole the
// numbers to sort by.
class NoiseTableModel : public QAbstractTableModel {
public:
    enum Column { kLevel, kRecalls, kWithinTol, kNearestOwn, kMeanOutside, kColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setTable(const NoiseTable* table)
    {
        beginResetModel();
        table_ = table;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !table_ ? 0 : static_cast<int>(table_->rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kColumnCount; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!table_ || !index.isValid())
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole && role != Qt::UserRole)
            return {};
        const NoiseRow& row = table_->rows[static_cast<size_t>(index.row())];
        const bool text = role == Qt::DisplayRole;
        const auto percent = [&](long long part) -> QVariant {
            const double value = share(part, row.recalls);
            return text ? QVariant(QStringLiteral("%1 %").arg(value, 0, 'f', 1)) : QVariant(value);
        };
        switch (index.column()) {
        case kLevel: {
            std::string level;
            appendShortest(level, row.level);
            return text ? QVariant(QString::fromStdString(level)) : QVariant(row.level);
        }
        case kRecalls: return row.recalls;
        case kWithinTol: return percent(row.withinTol);
        case kNearestOwn: return percent(row.nearestOwn);
        case kMeanOutside: {
            const double mean = row.recalls ? static_cast<double>(row.outsideTolElements) / row.recalls : 0.0;
            return text ? QVariant(QString::number(mean, 'f', 3)) : QVariant(mean);
        }
        default: return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case kLevel: return table_ && table_->mode == NoiseMode::Gauss ? tr("\u03c3") : tr("Flipped");
        case kRecalls: return tr("Recalls");
        case kWithinTol: return tr("Within TOL");
        case kNearestOwn: return tr("Nearest own");
        case kMeanOutside: return tr("Mean outside TOL");
        default: return {};
        }
    }

private:
    const NoiseTable* table_ = nullptr;
};

NoiseTab::NoiseTab(AnalysisWindow& window)
    : AnalysisTab(window), result_(std::make_shared<std::optional<NoiseTable>>())
{
    build();
}

void NoiseTab::build()
{
    setObjectName(QStringLiteral("NoiseTab"));
    const NoiseOptions defaults;

    sigmaField_ = new QLineEdit(QString::fromStdString(sigmaListText(defaults.sigmas)));
    sigmaField_->setObjectName(QStringLiteral("sigmaField"));
    sigmaField_->setToolTip(tr("Standard deviations of the noise added to non-0/1 A values, separated by commas"));
    trialsField_ = new QSpinBox;
    trialsField_->setObjectName(QStringLiteral("trialsField"));
    trialsField_->setRange(1, 1000000);
    trialsField_->setValue(defaults.trials);
    trialsField_->setToolTip(tr("Noisy copies of each pair per standard deviation"));
    seedField_ = new QLineEdit(QString::number(defaults.seed));
    seedField_->setObjectName(QStringLiteral("seedField"));
    seedField_->setMaximumWidth(180);
    seedField_->setToolTip(tr("The same seed gives the same table on any machine"));

    runButton_ = new QPushButton(tr("&Run"));
    runButton_->setObjectName(QStringLiteral("runNoiseButton"));
    saveCsvButton_ = new QPushButton(tr("Save as &CSV\u2026"));
    saveCsvButton_->setObjectName(QStringLiteral("saveNoiseCsvButton"));
    saveChartButton_ = new QPushButton(tr("Save Chart &As\u2026"));
    saveChartButton_->setObjectName(QStringLiteral("saveNoiseChartButton"));
    saveCsvButton_->setEnabled(false);
    saveChartButton_->setEnabled(false);
    connect(runButton_, &QPushButton::clicked, this, &NoiseTab::run);
    connect(saveCsvButton_, &QPushButton::clicked, this, &NoiseTab::saveCsv);
    keepBox_ = new QCheckBox(tr("&Keep this run"));
    keepBox_->setObjectName(QStringLiteral("noiseKeepRun"));
    keepBox_->setToolTip(tr("The next run leaves this curve of recalls within TOL on the chart, named by its values"));
    connect(saveChartButton_, &QPushButton::clicked, this, &NoiseTab::saveChartAs);
    connect(run_, &AnalysisRun::finished, this, [this](bool completed) { runFinished(completed); });
    run_->setUnit(tr("parts"));

    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel(tr("\u03c3:")));
    options->addWidget(sigmaField_, 2);
    options->addWidget(new QLabel(tr("Trials:")));
    options->addWidget(trialsField_);
    options->addWidget(new QLabel(tr("Seed:")));
    options->addWidget(seedField_, 1);
    options->addWidget(runButton_);
    options->addWidget(saveCsvButton_);
    options->addWidget(saveChartButton_);
    options->addWidget(keepBox_);

    modeLabel_ = new QLabel(tr("0/1 lists: every set of k flipped A values of every pair. "
                               "Other lists: Gaussian noise of each \u03c3."));
    modeLabel_->setObjectName(QStringLiteral("noiseMode"));
    modeLabel_->setWordWrap(true);

    model_ = new NoiseTableModel(this);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(Qt::UserRole);
    view_ = new QTableView;
    view_->setObjectName(QStringLiteral("noiseView"));
    view_->setModel(proxy_);
    view_->setSortingEnabled(true);
    view_->sortByColumn(NoiseTableModel::kLevel, Qt::AscendingOrder);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->verticalHeader()->hide();

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    withinSeries_ = new QLineSeries;
    withinSeries_->setName(tr("Recalled within TOL"));
    withinSeries_->setPointsVisible(true);
    ownSeries_ = new QLineSeries;
    ownSeries_->setName(tr("Nearest to its own B"));
    ownSeries_->setPointsVisible(true);
    chart_->addSeries(withinSeries_);
    chart_->addSeries(ownSeries_);
    levelAxis_ = new QValueAxis;
    levelAxis_->setTitleText(tr("Flipped A values"));
    shareAxis_ = new QValueAxis;
    shareAxis_->setTitleText(tr("Share of recalls"));
    setStepAxis(shareAxis_, 0, 100, 5, true);
    shareAxis_->setLabelFormat(QStringLiteral("%.0f %%"));
    chart_->addAxis(levelAxis_, Qt::AlignBottom);
    chart_->addAxis(shareAxis_, Qt::AlignLeft);
    for (QLineSeries* series : {withinSeries_, ownSeries_}) {
        series->attachAxis(levelAxis_);
        series->attachAxis(shareAxis_);
    }
    chartView_ = new QChartView(chart_);
    chartView_->setObjectName(QStringLiteral("noiseChart"));
    chartView_->setRenderHint(QPainter::Antialiasing);
    kept_ = new KeptRuns(chartView_, this);
    chartView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chartView_, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        kept_->showLegendMenu(chartView_->mapToGlobal(pos), chartView_->mapToScene(pos));
    });
    export_ = new ChartExport([this] { return chartView_; }, [this] { return kept_->sharedValues(caption_); },
                              [this]() -> Dialogs& { return dialogs(); }, this);

    auto* splitter = new QSplitter;
    splitter->addWidget(view_);
    splitter->addWidget(chartView_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({540, 700});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(options);
    layout->addWidget(modeLabel_);
    layout->addWidget(splitter, 1);
    layout->addWidget(run_);
}

bool NoiseTab::hasResults() const
{
    return table() != nullptr;
}

const NoiseTable* NoiseTab::table() const
{
    return result_->has_value() ? &**result_ : nullptr;
}

namespace {

// Whether flipping draws its sets on some level of a list of n A values:
// the middle level has the most.
bool flipsSampled(int n)
{
    return flipLevelSampled(n, n / 2);
}

} // namespace

void NoiseTab::showEvent(QShowEvent* event)
{
    AnalysisTab::showEvent(event);
    QString why;
    if (const std::shared_ptr<const AnalysisInput> input = window_.input(why))
        enableNoiseFields(!isBinaryList(input->shaped) || flipsSampled(input->shaped.shape.n));
}

// Flipping uses neither the noise levels nor the generator; the mode line
// below says so.
void NoiseTab::enableNoiseFields(bool used)
{
    for (QWidget* field : std::initializer_list<QWidget*>{sigmaField_, trialsField_, seedField_})
        field->setEnabled(used);
}

void NoiseTab::run()
{
    NoiseOptions options;
    const std::optional<std::vector<double>> sigmas = parseSigmaList(sigmaField_->text().toStdString());
    if (!sigmas) {
        run_->setStatus(tr("\u03c3 must be numbers of 0 or more separated by commas, such as 0, 0.1, 0.2."));
        return;
    }
    const std::string seedText = seedField_->text().trimmed().toStdString();
    const auto [end, error] = std::from_chars(seedText.data(), seedText.data() + seedText.size(), options.seed);
    if (seedText.empty() || error != std::errc() || end != seedText.data() + seedText.size()) {
        run_->setStatus(tr("The seed must be a whole number from 0 to 18446744073709551615."));
        return;
    }
    options.sigmas = *sigmas;
    options.trials = trialsField_->value();
    const std::shared_ptr<const AnalysisInput> input = takeInput();
    if (!input)
        return;
    options.tol = input->tol;
    lastOptions_ = options;
    pairs_ = input->shaped.size();
    flipValues_ = input->shaped.shape.n;
    keepAtEnd_ = keepBox_->isChecked();

    // The shown table stays until the new one is complete.
    auto pending = std::make_shared<std::optional<NoiseTable>>();
    run_->start([input, options, pending](WorkProgress& progress) {
        *pending = noiseTable(input->snapshot, input->shaped, options, ThreadPool(), &progress);
    });
    // Hand the new table over once the run has ended.
    pendingResult_ = pending;
    pendingInput_ = input;
}

void NoiseTab::runFinished(bool completed)
{
    if (!completed || !pendingResult_ || !pendingResult_->has_value())
        return;
    keepRun();
    model_->setTable(nullptr);
    result_ = pendingResult_;
    shownPairs_ = pairs_;
    pendingResult_.reset();
    shownInput_ = pendingInput_;
    shownOptions_ = lastOptions_;
    const NoiseTable& table = **result_;
    saveCsvButton_->setEnabled(true);
    saveChartButton_->setEnabled(true);
    model_->setTable(&table);
    view_->resizeColumnsToContents();
    showChart(table);
    const bool sampled = std::any_of(table.rows.begin(), table.rows.end(), [](const NoiseRow& r) { return r.sampled; });
    enableNoiseFields(table.mode != NoiseMode::Flip || sampled);
    const QString pairs = pairs_ == 1 ? tr("1 pair") : tr("%1 pairs").arg(pairs_);
    const QString trials = lastOptions_.trials == 1 ? tr("1 trial") : tr("%1 trials").arg(lastOptions_.trials);
    caption_ = tr("TOL %1, %2, ").arg(lastOptions_.tol).arg(pairs) +
               (table.mode == NoiseMode::Flip ? tr("every set of k A values flipped")
                                              : tr("%1 per pair and \u03c3, seed %2").arg(trials).arg(lastOptions_.seed));
    kept_->setCurrentLabel(caption_);
    withinSeries_->setName(kept_->empty() ? tr("Recalled within TOL") : kept_->legendName(caption_));
    if (table.mode == NoiseMode::Flip) {
        modeLabel_->setText(
            sampled ? tr("Every A value is 0 or 1: k of the %1 A values of every pair flipped, with the parity "
                         "recomputed; where a level has more than 2^20 sets of k, %2 drawn per pair (seed %3).")
                          .arg(flipValues_)
                          .arg(lastOptions_.trials)
                          .arg(QString::number(lastOptions_.seed))
            : flipValues_ == 8 ? tr("Every A value is 0 or 1: every set of k of the eight A values of every pair "
                                    "flipped, with the parity recomputed (exhaustive).")
                               : tr("Every A value is 0 or 1: every set of k of the %1 A values of every pair "
                                    "flipped, with the parity recomputed (exhaustive).")
                                     .arg(flipValues_));
    } else {
        modeLabel_->setText(tr("Gaussian noise added to every A value: %n trial(s) per pair and \u03c3, seed %1.",
                               nullptr, lastOptions_.trials)
                                .arg(QString::number(lastOptions_.seed)));
    }
    long long recalls = 0;
    for (const NoiseRow& row : table.rows)
        recalls += row.recalls;
    run_->setStatus(tr("%1 recalls with TOL %2.").arg(recalls).arg(lastOptions_.tol));
}

void NoiseTab::showChart(const NoiseTable& table)
{
    QList<QPointF> within, own;
    double last = 0;
    for (const NoiseRow& row : table.rows) {
        within.append({row.level, share(row.withinTol, row.recalls)});
        own.append({row.level, share(row.nearestOwn, row.recalls)});
        last = std::max(last, row.level);
    }
    withinSeries_->replace(within);
    ownSeries_->replace(own);
    if (table.mode == NoiseMode::Flip) {
        levelAxis_->setTitleText(tr("Flipped A values (k)"));
        setStepAxis(levelAxis_, 0, std::max(last, 1.0), 8, true);
    } else {
        levelAxis_->setTitleText(tr("Standard deviation of the noise (\u03c3)"));
        setStepAxis(levelAxis_, 0, last > 0 ? last : 1, 6, false);
    }
}

void NoiseTab::keepRun()
{
    const NoiseTable* shown = table();
    if (!keepAtEnd_ || !shown)
        return;
    keepAtEnd_ = false;
    keepBox_->setChecked(false);
    const std::string csv = noiseTableCsv(*shown);
    const size_t headerEnd = csv.find('\n') + 1;
    kept_->keep(caption_, {withinSeries_->points(), ownSeries_->points()}, csv.substr(0, headerEnd - 1),
                csv.substr(headerEnd), provenance());
}

std::string NoiseTab::provenance() const
{
    const NoiseTable* shown = table();
    if (!shown)
        return {};
    std::string out = "{\"program\": \"duolink\", \"analysis\": \"noise\", \"mode\": \"";
    out += shown->mode == NoiseMode::Flip ? "flip" : "gauss";
    out += "\", \"tol\": " + QString::number(lastOptions_.tol, 'g', 17).toStdString();
    out += ", \"pairs\": " + std::to_string(shownPairs_);
    if (shown->mode != NoiseMode::Flip)
        out += ", \"trials\": " + std::to_string(lastOptions_.trials) + ", \"seed\": " + std::to_string(lastOptions_.seed);
    return out + '}';
}

void NoiseTab::saveCsv()
{
    const NoiseTable* shown = table();
    if (!shown)
        return;
    if (kept_->empty()) {
        saveCsvAs();
        return;
    }
    const std::string csv = noiseTableCsv(*shown);
    const size_t headerEnd = csv.find('\n') + 1;
    kept_->saveCsvAs(this, dialogs(), csv.substr(0, headerEnd - 1), csv.substr(headerEnd), caption_, provenance());
}

void NoiseTab::saveCsvAs()
{
    if (const NoiseTable* t = table())
        saveTextAs(tr("CSV files (*.csv);;All files (*)"), "csv", lastCsvName_, noiseTableCsv(*t), [&] {
            analysis::Provenance p = tableProvenance("noise", *shownInput_);
            analysis::setTableOptions(p, shownInput_->tol, &shownOptions_);
            p.rows = t->rows.size();
            return p;
        });
}

void NoiseTab::saveChartAs()
{
    export_->saveAs(this);
}

bool NoiseTab::saveChart(const QString& path)
{
    return export_->saveTo(this, path);
}

} // namespace duolink
