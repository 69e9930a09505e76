#include "gui/analysis/capacitytab.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QValueAxis>
#include <QVBoxLayout>

#include "core/analysis/randomsets.h"
#include "gui/analysis/analysisjob.h"

namespace duolink {

CapacityTab::CapacityTab(QWidget* parent)
    : QWidget(parent), pairs_(new QSpinBox), sets_(new QSpinBox), density_(new QDoubleSpinBox),
      seed_(new QLineEdit(QStringLiteral("1"))), overrides_(new QLineEdit), runButton_(new QPushButton(tr("&Run"))),
      stopButton_(new QPushButton(tr("Stop"))), csvButton_(new QPushButton(tr("Save as &CSV..."))),
      pngButton_(new QPushButton(tr("Save as &PNG..."))), progress_(new QProgressBar), status_(new QLabel),
      chartView_(new QChartView), mean_(new QLineSeries), low_(new QLineSeries), high_(new QLineSeries),
      presentations_(new QLineSeries), nAxis_(new QValueAxis), presentationsAxis_(new QValueAxis),
      job_(new AnalysisJob(this))
{
    setObjectName(QStringLiteral("capacityTab"));
    pairs_->setObjectName(QStringLiteral("capacityPairs"));
    pairs_->setRange(1, analysis::kMaxCapacityPairs);
    pairs_->setValue(options_.maxPairs);
    sets_->setObjectName(QStringLiteral("capacitySets"));
    sets_->setRange(1, 100000);
    sets_->setValue(options_.setsPerSize);
    density_->setObjectName(QStringLiteral("capacityDensity"));
    density_->setRange(0, 1);
    density_->setDecimals(3);
    density_->setSingleStep(0.05);
    density_->setValue(options_.density);
    seed_->setObjectName(QStringLiteral("capacitySeed"));
    seed_->setValidator(nullptr);
    overrides_->setObjectName(QStringLiteral("capacityOverrides"));
    overrides_->setPlaceholderText(tr("for example beta=0.1 tol=0.2"));
    runButton_->setObjectName(QStringLiteral("capacityRun"));
    stopButton_->setObjectName(QStringLiteral("capacityStop"));
    stopButton_->setShortcut(QKeySequence(Qt::Key_Escape));
    stopButton_->setToolTip(tr("Stop (Esc): keeps the sets already trained"));
    csvButton_->setObjectName(QStringLiteral("capacitySaveCsv"));
    pngButton_->setObjectName(QStringLiteral("capacitySavePng"));
    progress_->setObjectName(QStringLiteral("capacityProgress"));
    status_->setObjectName(QStringLiteral("capacityStatus"));

    auto* form = new QFormLayout;
    form->addRow(tr("Largest set (pairs):"), pairs_);
    form->addRow(tr("Sets per size:"), sets_);
    form->addRow(tr("Chance of a 1:"), density_);
    form->addRow(tr("Seed:"), seed_);
    form->addRow(tr("Parameter changes:"), overrides_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {runButton_, stopButton_, csvButton_, pngButton_})
        buttons->addWidget(b);
    buttons->addWidget(progress_, 1);

    QChart* chart = chartView_->chart();
    chart->setTitle(tr("Share of pairs recalled within TOL"));
    auto* band = new QAreaSeries(high_, low_);
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
    chartView_->setMinimumSize(480, 300);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(chartView_, 1);

    connect(runButton_, &QPushButton::clicked, this, &CapacityTab::run);
    connect(stopButton_, &QPushButton::clicked, this, &CapacityTab::stop);
    connect(csvButton_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save as CSV"), QStringLiteral("capacity.csv"),
                                                          tr("CSV files (*.csv)"));
        if (!path.isEmpty() && !saveCsv(path))
            QMessageBox::warning(this, tr("Save as CSV"), tr("%1 could not be written.").arg(path));
    });
    connect(pngButton_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save as PNG"), QStringLiteral("capacity.png"),
                                                          tr("PNG images (*.png)"));
        if (!path.isEmpty() && !savePng(path))
            QMessageBox::warning(this, tr("Save as PNG"), tr("%1 could not be written.").arg(path));
    });
    connect(job_, &AnalysisJob::rowReady, this, &CapacityTab::addRow);
    connect(job_, &AnalysisJob::finished, this, &CapacityTab::finish);
    setRunning(false);
}

bool CapacityTab::running() const
{
    return job_->running();
}

void CapacityTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
    stopButton_->setEnabled(running);
    csvButton_->setEnabled(!running && !rows_.isEmpty());
    pngButton_->setEnabled(!running && !rows_.isEmpty());
    for (QWidget* w : std::initializer_list<QWidget*>{pairs_, sets_, density_, seed_, overrides_})
        w->setEnabled(!running);
}

void CapacityTab::run()
{
    if (running())
        return;
    bool ok = false;
    const qulonglong seed = seed_->text().trimmed().toULongLong(&ok);
    if (!ok) {
        status_->setText(tr("The seed must be a whole number from 0 to 18446744073709551615."));
        return;
    }
    QString error;
    const std::optional<analysis::JobTexts> settings = workingFolderSettings(source_.folder ? source_.folder() : QString(), overrides_->text(), error);
    if (!settings) {
        status_->setText(error);
        return;
    }
    options_ = {pairs_->value(), sets_->value(), density_->value(), seed};
    rows_.clear();
    summary_.assign(static_cast<size_t>(options_.maxPairs) + 1, {});
    mean_->clear();
    low_->clear();
    high_->clear();
    presentations_->clear();
    nAxis_->setRange(1, std::max(2, options_.maxPairs));
    presentationsAxis_->setRange(0, 1);
    const size_t count = analysis::capacityRowCount(options_);
    progress_->setRange(0, static_cast<int>(std::min<size_t>(count, INT_MAX)));
    progress_->setValue(0);
    status_->setText(tr("Training %1 sets...").arg(count));
    setRunning(true);
    const analysis::CapacityOptions o = options_;
    job_->start(count, [o, settings = *settings](size_t row, const std::atomic<bool>& stop)
                           -> std::optional<std::string> {
        const int n = analysis::capacityPairs(o, row);
        const PatternPairs set = analysis::randomSet(o.seed, n, analysis::capacitySet(o, row), o.density);
        const std::optional<analysis::RowResult> r = analysis::trainAndCount(set, settings, &stop);
        return r ? std::optional(analysis::capacityRowText(o, row, *r)) : std::nullopt;
    });
}

void CapacityTab::stop()
{
    job_->stop();
}

void CapacityTab::addRow(qulonglong index, const QString& text)
{
    rows_.append(text);
    progress_->setValue(static_cast<int>(rows_.size()));
    const QStringList f = csvFields(text);
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

void CapacityTab::finish(bool stopped)
{
    updateChart();
    status_->setText(stopped ? tr("Stopped: %1 sets trained.").arg(rows_.size())
                             : tr("%1 sets trained.").arg(rows_.size()));
    setRunning(false);
    emit runFinished(stopped);
}

bool CapacityTab::saveCsv(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(analysis::kCapacityHeader);
    file.write("\n");
    for (const QString& row : rows_)
        file.write(row.toUtf8());
    return file.commit();
}

bool CapacityTab::savePng(const QString& path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && chartView_->grab().save(&file, "PNG") && file.commit();
}

} // namespace duolink
