#include "gui/capacitytab.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QLocale>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QValueAxis>
#include <QVBoxLayout>

#include <charconv>

#include "core/analysis/randomsets.h"
#include "gui/analysisrun.h"

namespace duolink {

CapacityTab::CapacityTab(AnalysisWindow& window, JobSource source)
    : TrainingTab(window, std::move(source)), pairs_(new QSpinBox), sets_(new QSpinBox),
      density_(new QDoubleSpinBox), seed_(new QLineEdit(QStringLiteral("1"))), overrides_(new QLineEdit),
      runButton_(new QPushButton(tr("&Run"))), csvButton_(new QPushButton(tr("Save &CSV As\u2026"))),
      pngButton_(new QPushButton(tr("Save Chart &As\u2026"))), chartView_(new QChartView), mean_(new QLineSeries),
      low_(new QLineSeries), high_(new QLineSeries), presentations_(new QLineSeries), nAxis_(new QValueAxis),
      presentationsAxis_(new QValueAxis)
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
    runButton_->setObjectName(QStringLiteral("capacityRun"));
    csvButton_->setObjectName(QStringLiteral("capacitySaveCsv"));
    pngButton_->setObjectName(QStringLiteral("capacitySavePng"));

    auto* form = new QFormLayout;
    // The fields at their natural width; the chart takes the rest.
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    overrides_->setMinimumWidth(overrides_->fontMetrics().horizontalAdvance(overrides_->placeholderText()) + 24);
    form->addRow(tr("Largest set (pairs):"), pairs_);
    form->addRow(tr("Sets per size:"), sets_);
    form->addRow(tr("Chance of a 1:"), density_);
    form->addRow(tr("Seed:"), seed_);
    form->addRow(tr("Parameter changes:"), overrides_);
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
    band->setName(tr("min - max"));
    band->setOpacity(0.3);
    mean_->setName(tr("mean share recalled"));
    presentations_->setName(tr("mean presentations"));
    chart->addSeries(band);
    chart->addSeries(mean_);
    chart->addSeries(presentations_);
    auto* shareAxis = new QValueAxis;
    shareAxis->setRange(0, 1);
    shareAxis->setTitleText(tr("share recalled"));
    nAxis_->setTitleText(tr("pairs n"));
    nAxis_->setLabelFormat(QStringLiteral("%d"));
    presentationsAxis_->setTitleText(tr("presentations"));
    presentationsAxis_->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(nAxis_, Qt::AlignBottom);
    chart->addAxis(shareAxis, Qt::AlignLeft);
    chart->addAxis(presentationsAxis_, Qt::AlignRight);
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{band, mean_})
        s->attachAxis(nAxis_), s->attachAxis(shareAxis);
    presentations_->attachAxis(nAxis_);
    presentations_->attachAxis(presentationsAxis_);
    nAxis_->setRange(1, options_.maxPairs);
    presentationsAxis_->setRange(0, 100);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumSize(300, 240);

    auto* controls = new QVBoxLayout;
    controls->addLayout(form);
    controls->addLayout(buttons);
    controls->addStretch(1);
    auto* sideBySide = new QHBoxLayout;
    sideBySide->addLayout(controls);
    sideBySide->addWidget(chartView_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sideBySide, 1);
    layout->addWidget(run_);

    connect(runButton_, &QPushButton::clicked, this, &CapacityTab::run);
    connect(csvButton_, &QPushButton::clicked, this, &CapacityTab::saveCsvAs);
    connect(pngButton_, &QPushButton::clicked, this, [this] { saveImageAs(chartView_, lastChartName_); });
    setRunning(false);
}

void CapacityTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
    csvButton_->setEnabled(!running && !rows_.isEmpty());
    pngButton_->setEnabled(!running && !rows_.isEmpty());
    for (QWidget* w : std::initializer_list<QWidget*>{pairs_, sets_, density_, seed_, overrides_})
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
    const std::optional<analysis::JobTexts> settings = jobSettings(overrides_->text());
    if (!settings)
        return;
    options_ = {pairs_->value(), sets_->value(), density_->value(), seed};
    summary_.assign(static_cast<size_t>(options_.maxPairs) + 1, {});
    for (QLineSeries* s : {mean_, low_, high_, presentations_})
        s->clear();
    nAxis_->setRange(1, std::max(2, options_.maxPairs));
    presentationsAxis_->setRange(0, 1);
    const analysis::CapacityOptions o = options_;
    startRows(analysis::capacityRowCount(o),
              [o, settings = *settings](size_t row, unsigned, const std::atomic<bool>& stop)
                  -> std::optional<std::string> {
                  const int n = analysis::capacityPairs(o, row);
                  const PatternPairs set = analysis::randomSet(o.seed, n, analysis::capacitySet(o, row), o.density);
                  const std::optional<analysis::RowResult> r = analysis::trainAndCount(set, settings, &stop);
                  return r ? std::optional(analysis::capacityRowText(o, row, *r)) : std::nullopt;
              });
    setRunning(true);
}

void CapacityTab::rowAdded(size_t index, const QString& row)
{
    const QStringList f = csvFields(row);
    analysis::RowResult r;
    r.presentations = f.value(3).toInt();
    r.recall.recalled = f.value(6).toInt();
    const int n = analysis::capacityPairs(options_, index);
    summary_[static_cast<size_t>(n)].add(n, r);
    // A size is complete with its last set.
    if (analysis::capacitySet(options_, index) == options_.setsPerSize)
        updateChart();
}

void CapacityTab::updateChart()
{
    QList<QPointF> mean, low, high, presentations;
    double most = 1;
    for (size_t n = 1; n < summary_.size(); ++n) {
        const analysis::CapacitySummary& s = summary_[n];
        if (s.sets == 0)
            continue;
        const double x = static_cast<double>(n);
        mean.append({x, s.meanShare()});
        low.append({x, s.shareMin});
        high.append({x, s.shareMax});
        presentations.append({x, s.meanPresentations()});
        most = std::max(most, s.meanPresentations());
    }
    mean_->replace(mean);
    low_->replace(low);
    high_->replace(high);
    presentations_->replace(presentations);
    presentationsAxis_->setRange(0, most);
}

bool CapacityTab::saveChart(const QString& path)
{
    return saveImage(chartView_, path);
}

void CapacityTab::rowsEnded(bool stopped)
{
    updateChart();
    run_->setStatus(stopped ? tr("Stopped: %1 sets trained.").arg(rows_.size())
                            : tr("%1 sets trained.").arg(rows_.size()));
    setRunning(false);
}

} // namespace duolink
