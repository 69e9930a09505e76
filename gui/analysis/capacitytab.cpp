// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/capacitytab.h"

#include <QAreaSeries>
#include <QChart>
#include <QCheckBox>
#include <QChartView>
#include <QLocale>
#include <QPen>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <charconv>

#include "core/analysis/figurecaption.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "analysis/analysisrun.h"
#include "training/chartaxes.h"
#include "training/chartexport.h"
#include "analysis/keptruns.h"

namespace duolink {

namespace {

// The chart and the table follow a run at most this often.
constexpr qint64 kDrawMs = 250;

QString shortest(double v)
{
    std::string text;
    appendShortest(text, v);
    return QString::fromStdString(text);
}

} // namespace

CapacityTab::CapacityTab(AnalysisWindow& window, JobSource source)
    : TrainingTab(window, std::move(source)), pairs_(new QSpinBox), sets_(new QSpinBox),
      density_(new QDoubleSpinBox), seed_(new QLineEdit(QStringLiteral("1"))), overrides_(new QLineEdit),
      tol_(new QLabel(tr("TOL from %1").arg(QString::fromLatin1(kParametersFileName)))),
      runButton_(new QPushButton(tr("&Run"))), csvButton_(new QPushButton(tr("Save &CSV As\u2026"))),
      pngButton_(new QPushButton(tr("Save Chart &As\u2026"))), chartView_(new QChartView), mean_(new QLineSeries),
      low_(new QLineSeries), high_(new QLineSeries), presentations_(new QLineSeries), aLenLine_(new QLineSeries),
      aLenBox_(new QCheckBox(tr("Line at A &Len"))), nAxis_(new QValueAxis),
      shareAxis_(new QValueAxis), presentationsAxis_(new QValueAxis), sizes_(new QTableWidget(0, 10)),
      note_(new QLabel), kept_(new KeptRuns(chartView_, this)), keepBox_(new QCheckBox(tr("&Keep this run")))
{
    setObjectName(QStringLiteral("capacityTab"));
    pairs_->setObjectName(QStringLiteral("capacityPairs"));
    pairs_->setRange(1, analysis::kMaxCapacityPairs);
    pairs_->setValue(options_.maxPairs);
    sets_->setObjectName(QStringLiteral("capacitySets"));
    sets_->setRange(1, 1000000);
    sets_->setValue(options_.setsPerSize);
    density_->setObjectName(QStringLiteral("capacityDensity"));
    density_->setRange(0, 1);
    density_->setDecimals(3);
    density_->setSingleStep(0.05);
    density_->setValue(options_.density);
    // Numbers read and show with a point here as in every other field.
    density_->setLocale(QLocale::c());
    seed_->setObjectName(QStringLiteral("capacitySeed"));
    overrides_->setObjectName(QStringLiteral("capacityOverrides"));
    overrides_->setPlaceholderText(tr("for example beta=0.1 tol=0.2"));
    overrides_->setToolTip(tr("Values in place of the working folder's parameters file, as the runner's --set"));
    tol_->setObjectName(QStringLiteral("capacityTol"));
    tol_->setToolTip(tr("A pair counts as recalled when every value is within this TOL. "
                        "Set tol= in Parameter changes to use another."));
    runButton_->setObjectName(QStringLiteral("capacityRun"));
    csvButton_->setObjectName(QStringLiteral("capacitySaveCsv"));
    pngButton_->setObjectName(QStringLiteral("capacitySavePng"));
    note_->setObjectName(QStringLiteral("capacityNote"));
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    // The fields at their natural width; the chart takes the rest.
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    overrides_->setMinimumWidth(overrides_->fontMetrics().horizontalAdvance(overrides_->placeholderText()) + 24);
    form->addRow(tr("Largest set (pairs):"), pairs_);
    form->addRow(tr("A + B values:"), shapeFields());
    form->addRow(tr("Sets per size:"), sets_);
    form->addRow(tr("Chance of a 1:"), density_);
    form->addRow(tr("Seed:"), seed_);
    form->addRow(tr("Parameter changes:"), overrides_);
    form->addRow(tr("Recalled within:"), tol_);
    form->addRow(aLenBox_);
    form->addRow(keepBox_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {runButton_, csvButton_, pngButton_})
        buttons->addWidget(b);
    buttons->addStretch(1);

    QChart* chart = chartView_->chart();
    chart->setTitle(tr("Share of pairs recalled within TOL"));
    auto* band = new QAreaSeries(high_, low_);
    // The band draws its bounds but does not own them.
    high_->setParent(band);
    low_->setParent(band);
    band->setName(tr("95 % interval"));
    band->setOpacity(0.3);
    mean_->setName(tr("mean share recalled"));
    mean_->setPointsVisible(true);
    presentations_->setName(tr("mean presentations"));
    chart->addSeries(band);
    chart->addSeries(mean_);
    chart->addSeries(presentations_);
    shareAxis_->setTitleText(tr("share recalled"));
    nAxis_->setTitleText(tr("pairs n"));
    presentationsAxis_->setTitleText(tr("presentations"));
    chart->addAxis(nAxis_, Qt::AlignBottom);
    chart->addAxis(shareAxis_, Qt::AlignLeft);
    chart->addAxis(presentationsAxis_, Qt::AlignRight);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{band, mean_})
        s->attachAxis(nAxis_), s->attachAxis(shareAxis_);
    presentations_->attachAxis(nAxis_);
    presentations_->attachAxis(presentationsAxis_);
    setStepAxis(nAxis_, 1, options_.maxPairs, 8, true);
    setStepAxis(shareAxis_, 0, 1, 5, false);
    setStepAxis(presentationsAxis_, 0, 100, 5, true);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumSize(300, 240);

    sizes_->setObjectName(QStringLiteral("capacitySizes"));
    sizes_->setHorizontalHeaderLabels({tr("n"), tr("Sets"), tr("Recalled"), tr("Limit"), tr("Error"),
                                       tr("Terminated"), tr("Mean share"), tr("95 % low"), tr("95 % high"),
                                       tr("Mean presentations")});
    sizes_->verticalHeader()->hide();
    sizes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sizes_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* splitter = new QSplitter;
    splitter->addWidget(chartView_);
    splitter->addWidget(sizes_);
    // The chart first: the table scrolls where the window is narrow.
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({1000, 300});

    auto* controls = new QVBoxLayout;
    controls->addLayout(form);
    controls->addLayout(buttons);
    controls->addStretch(1);
    auto* sideBySide = new QHBoxLayout;
    sideBySide->addLayout(controls);
    sideBySide->addWidget(splitter, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sideBySide, 1);
    layout->addWidget(note_);
    layout->addWidget(run_);

    connect(runButton_, &QPushButton::clicked, this, &CapacityTab::run);
    connect(csvButton_, &QPushButton::clicked, this, &CapacityTab::saveCsv);
    setUpFigures();
    connect(overrides_, &QLineEdit::editingFinished, this, [this] { showTol(tol_, overrides_->text()); });
    setRunning(false);
}

void CapacityTab::setUpFigures()
{
    aLenBox_->setObjectName(QStringLiteral("capacityALenLine"));
    aLenBox_->setToolTip(tr("A vertical line at A Len: no more A patterns than that can be linearly independent"));
    aLenBox_->setChecked(true);
    keepBox_->setObjectName(QStringLiteral("capacityKeepRun"));
    keepBox_->setToolTip(tr("The next run leaves this curve on the chart, named by its values; "
                            "remove it from the legend's context menu"));
    aLenLine_->setPen(QPen(Qt::darkGray, 1.5, Qt::DashLine));
    chartView_->chart()->addSeries(aLenLine_);
    aLenLine_->attachAxis(nAxis_);
    aLenLine_->attachAxis(shareAxis_);
    aLenLine_->setVisible(false);
    connect(aLenBox_, &QCheckBox::toggled, this, &CapacityTab::updateChart);
    chartView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chartView_, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        kept_->showLegendMenu(chartView_->mapToGlobal(pos), chartView_->mapToScene(pos));
    });
    connect(kept_, &KeptRuns::changed, this, &CapacityTab::nameCurrentRun);
    export_ = new ChartExport([this] { return chartView_; }, [this] { return kept_->sharedValues(caption_); },
                              [this]() -> Dialogs& { return dialogs(); }, this);
    connect(pngButton_, &QPushButton::clicked, this, [this] { export_->saveAs(this); });
}

void CapacityTab::refreshTol()
{
    showTol(tol_, overrides_->text());
}

void CapacityTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
    csvButton_->setEnabled(!running && rowCount() > 0);
    pngButton_->setEnabled(!running && rowCount() > 0);
    for (QWidget* w : std::initializer_list<QWidget*>{pairs_, sets_, aValues_, bValues_, density_, seed_, overrides_})
        w->setEnabled(!running);
}

void CapacityTab::run()
{
    if (running())
        return;
    const std::string seedText = seed_->text().trimmed().toStdString();
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed);
    if (seedText.empty() || error != std::errc() || end != seedText.data() + seedText.size()) {
        run_->setStatus(tr("The seed must be a whole number from 0 to 18446744073709551615."));
        return;
    }
    const std::optional<ListShape> shape = takenShape();
    if (!shape)
        return;
    std::optional<analysis::JobTexts> settings = jobSettings(overrides_->text());
    if (!settings)
        return;
    settings->parameters = analysis::parametersForShape(settings->parameters.value_or(std::string()), *shape);
    const ParameterValues values = readParameterValues(*settings->parameters);
    const analysis::CapacityOptions o{pairs_->value(), sets_->value(), density_->value(), seed, *shape};
    const int aLen = static_cast<int>(values[Parameter::ALen]);
    analysis::AnalysisSpec request;
    request.capacity = o;
    request.settings = *settings;
    keepRun();
    const bool started = startRows(
        analysis::capacityRowCount(o),
        [o, aLen, settings = *settings](size_t row, unsigned, const std::atomic<bool>& stop) -> std::optional<Record> {
            analysis::CapacityRow r{analysis::capacityPairs(o, row), analysis::capacitySet(o, row), 0, {}};
            std::optional<analysis::RowResult> result;
            if (o.shape.fixed()) {
                const PatternPairs set = analysis::randomSet(o.seed, r.n, r.set, o.density);
                r.largestSquaredLength = analysis::largestSquaredLength(set, aLen);
                result = analysis::trainAndCount(set, settings, &stop);
            } else {
                const ShapedPairs set = analysis::randomShapedSet(o.seed, r.n, r.set, o.density, o.shape);
                r.largestSquaredLength = analysis::largestSquaredLength(set, aLen);
                result = analysis::trainAndCount(set, settings, &stop);
            }
            if (!result)
                return std::nullopt;
            r.result = std::move(*result);
            return r;
        });
    if (!started)
        return;
    recordRequest(request);
    options_ = o;
    aLen_ = aLen;
    request_ = request;
    started_ = std::chrono::system_clock::now();
    caption_ = QString::fromStdString(analysis::figureCaption(request));
    nameCurrentRun();
    beta_ = values[Parameter::Beta];
    tolUsed_ = values[Parameter::Tol];
    summary_ = analysis::CapacityRunSummary(o.maxPairs);
    tol_->setText(tolText(*settings, overrides_->text()));
    chartView_->chart()->setTitle(tr("Share of pairs recalled within TOL %1").arg(shortest(tolUsed_)));
    note_->clear();
    sizes_->setRowCount(0);
    updateChart();
    sinceDrawn_.start();
    setRunning(true);
}

std::string CapacityTab::rowText(const Record& record) const
{
    const auto& r = std::get<analysis::CapacityRow>(record);
    return std::to_string(r.n) + ',' + std::to_string(r.set) + ',' + analysis::resultColumns(r.result) + '\n';
}

void CapacityTab::recordsAdded(const std::vector<Record>& records)
{
    for (const Record& r : records)
        summary_.add(std::get<analysis::CapacityRow>(r));
    if (sinceDrawn_.elapsed() >= kDrawMs) {
        updateChart();
        sinceDrawn_.restart();
    }
}

void CapacityTab::updateChart()
{
    QList<QPointF> mean, low, high, presentations;
    double most = 1;
    for (const analysis::CapacitySize& s : summary_.sizes()) {
        if (s.sets == 0)
            continue;
        const double x = s.n;
        const analysis::ShareInterval band = s.shareInterval();
        mean.append({x, s.meanShare()});
        low.append({x, band.low});
        high.append({x, band.high});
        presentations.append({x, s.meanPresentations()});
        most = std::max(most, s.meanPresentations());
    }
    mean_->replace(mean);
    low_->replace(low);
    high_->replace(high);
    presentations_->replace(presentations);
    // The most A patterns that can be linearly independent: A Len of them.
    aLenLine_->setName(tr("A Len %1: most linearly independent A patterns").arg(aLen_));
    aLenLine_->replace(aLen_ > 0 ? QList<QPointF>{{double(aLen_), 0}, {double(aLen_), 1}} : QList<QPointF>{});
    aLenLine_->setVisible(aLenBox_->isChecked() && aLen_ > 0);
    setStepAxis(nAxis_, 1, std::max(2, options_.maxPairs), 8, true);
    setStepAxis(presentationsAxis_, 0, most, 5, true);
    updateTable();
}

void CapacityTab::updateTable()
{
    using analysis::Outcome;
    int row = 0;
    for (const analysis::CapacitySize& s : summary_.sizes()) {
        if (s.sets == 0)
            continue;
        const analysis::ShareInterval band = s.shareInterval();
        const QStringList texts = {QString::number(s.n), QString::number(s.sets),
                                   QString::number(s.count(Outcome::Recalled)), QString::number(s.count(Outcome::Limit)),
                                   QString::number(s.count(Outcome::Error)), QString::number(s.count(Outcome::Terminated)),
                                   QString::number(s.meanShare(), 'f', 3), QString::number(band.low, 'f', 3),
                                   QString::number(band.high, 'f', 3), QString::number(s.meanPresentations(), 'f', 1)};
        if (row >= sizes_->rowCount())
            sizes_->setRowCount(row + 1);
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            QTableWidgetItem* item = sizes_->item(row, c);
            if (!item)
                sizes_->setItem(row, c, item = new QTableWidgetItem);
            item->setText(texts[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        ++row;
    }
}

void CapacityTab::nameCurrentRun()
{
    kept_->setCurrentLabel(caption_);
    mean_->setName(kept_->empty() ? tr("mean share recalled") : kept_->legendName(caption_));
}

void CapacityTab::keepRun()
{
    if (!keepBox_->isChecked() || rowCount() == 0)
        return;
    kept_->keep(caption_, {mean_->points()}, header(), rowsText(), provenance());
    keepBox_->setChecked(false);
}

std::string CapacityTab::provenance() const
{
    using analysis::Outcome;
    std::array<size_t, 4> outcomes{};
    for (Outcome o : {Outcome::Recalled, Outcome::Limit, Outcome::Error, Outcome::Terminated})
        outcomes[static_cast<size_t>(o)] = static_cast<size_t>(summary_.count(o));
    return windowRunProvenance(request_, source_.folder ? source_.folder() : QString(), started_, stopped_, outcomes);
}

void CapacityTab::saveCsv()
{
    if (kept_->empty())
        saveCsvAs();
    else
        kept_->saveCsvAs(this, dialogs(), header(), rowsText(), caption_, provenance());
}

bool CapacityTab::saveChart(const QString& path)
{
    return export_->saveTo(this, path);
}

void CapacityTab::rowsEnded(bool stopped)
{
    using analysis::Outcome;
    updateChart();
    const QString counts = tr("%1 recalled, %2 at the presentation limit, %3 diverged (error), %4 terminated.")
                               .arg(summary_.count(Outcome::Recalled))
                               .arg(summary_.count(Outcome::Limit))
                               .arg(summary_.count(Outcome::Error))
                               .arg(summary_.count(Outcome::Terminated));
    run_->setStatus(stopped ? tr("Stopped: %1 of %2 sets trained and kept: %3").arg(rowCount()).arg(rowTotal()).arg(counts)
                            : tr("%1 sets trained: %2").arg(rowCount()).arg(counts));
    note_->setText(QString::fromStdString(summary_.divergenceNote(beta_)));
    stopped_ = stopped;
    setRunning(false);
}

} // namespace duolink
