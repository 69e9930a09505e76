#include "gui/analysis/sweeptab.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
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
#include <QScatterSeries>
#include <QStackedWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns.h"
#include "gui/analysis/analysisjob.h"
#include "gui/analysis/heatmap.h"

namespace duolink {

namespace {

QComboBox* parameterBox(bool optional)
{
    auto* box = new QComboBox;
    if (optional)
        box->addItem(QObject::tr("(none)"));
    for (int k = 0; k < kParameterCount; ++k) {
        const std::string_view name = parameterInfo(static_cast<Parameter>(k)).name;
        box->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    return box;
}

} // namespace

SweepTab::SweepTab(QWidget* parent)
    : QWidget(parent), name1_(parameterBox(false)), list1_(new QLineEdit(QStringLiteral("0.02:0.2:0.02"))),
      name2_(parameterBox(true)), list2_(new QLineEdit), overrides_(new QLineEdit), measure_(new QComboBox),
      runButton_(new QPushButton(tr("&Run"))), stopButton_(new QPushButton(tr("Stop"))),
      csvButton_(new QPushButton(tr("Save as &CSV..."))), pngButton_(new QPushButton(tr("Save as &PNG..."))),
      progress_(new QProgressBar), status_(new QLabel), views_(new QStackedWidget), chartView_(new QChartView),
      heatMap_(new HeatMap), job_(new AnalysisJob(this))
{
    setObjectName(QStringLiteral("sweepTab"));
    name1_->setObjectName(QStringLiteral("sweepName1"));
    name1_->setCurrentText(QStringLiteral("beta"));
    list1_->setObjectName(QStringLiteral("sweepList1"));
    name2_->setObjectName(QStringLiteral("sweepName2"));
    list2_->setObjectName(QStringLiteral("sweepList2"));
    list2_->setPlaceholderText(tr("a,b,c or start:stop:step"));
    overrides_->setObjectName(QStringLiteral("sweepOverrides"));
    overrides_->setPlaceholderText(tr("for example max=200"));
    measure_->setObjectName(QStringLiteral("sweepMeasure"));
    measure_->addItems({tr("Presentations to recall"), tr("Share recalled")});
    runButton_->setObjectName(QStringLiteral("sweepRun"));
    stopButton_->setObjectName(QStringLiteral("sweepStop"));
    stopButton_->setShortcut(QKeySequence(Qt::Key_Escape));
    stopButton_->setToolTip(tr("Stop (Esc): keeps the cells already trained"));
    csvButton_->setObjectName(QStringLiteral("sweepSaveCsv"));
    pngButton_->setObjectName(QStringLiteral("sweepSavePng"));
    progress_->setObjectName(QStringLiteral("sweepProgress"));
    status_->setObjectName(QStringLiteral("sweepStatus"));

    auto* first = new QHBoxLayout;
    first->addWidget(name1_);
    first->addWidget(list1_, 1);
    auto* second = new QHBoxLayout;
    second->addWidget(name2_);
    second->addWidget(list2_, 1);
    auto* form = new QFormLayout;
    form->addRow(tr("Sweep:"), first);
    form->addRow(tr("and:"), second);
    form->addRow(tr("Parameter changes:"), overrides_);
    form->addRow(tr("Show:"), measure_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {runButton_, stopButton_, csvButton_, pngButton_})
        buttons->addWidget(b);
    buttons->addWidget(progress_, 1);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumSize(480, 300);
    views_->addWidget(chartView_);
    views_->addWidget(heatMap_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(views_, 1);

    connect(runButton_, &QPushButton::clicked, this, &SweepTab::run);
    connect(stopButton_, &QPushButton::clicked, this, &SweepTab::stop);
    connect(measure_, &QComboBox::currentIndexChanged, this, &SweepTab::redraw);
    connect(csvButton_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save as CSV"), QStringLiteral("sweep.csv"),
                                                          tr("CSV files (*.csv)"));
        if (!path.isEmpty() && !saveCsv(path))
            QMessageBox::warning(this, tr("Save as CSV"), tr("%1 could not be written.").arg(path));
    });
    connect(pngButton_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save as PNG"), QStringLiteral("sweep.png"),
                                                          tr("PNG images (*.png)"));
        if (!path.isEmpty() && !savePng(path))
            QMessageBox::warning(this, tr("Save as PNG"), tr("%1 could not be written.").arg(path));
    });
    connect(job_, &AnalysisJob::rowReady, this, &SweepTab::addRow);
    connect(job_, &AnalysisJob::finished, this, &SweepTab::finish);
    setRunning(false);
}

bool SweepTab::running() const
{
    return job_->running();
}

void SweepTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
    stopButton_->setEnabled(running);
    csvButton_->setEnabled(!running && !rows_.isEmpty());
    pngButton_->setEnabled(!running && !rows_.isEmpty());
    for (QWidget* w : std::initializer_list<QWidget*>{name1_, list1_, name2_, list2_, overrides_})
        w->setEnabled(!running);
}

void SweepTab::run()
{
    if (running())
        return;
    std::vector<analysis::SweepAxis> axes;
    try {
        axes.push_back(analysis::parseSweepAxis((name1_->currentText() + '=' + list1_->text()).toStdString()));
        if (name2_->currentIndex() > 0)
            axes.push_back(analysis::parseSweepAxis((name2_->currentText() + '=' + list2_->text()).toStdString()));
    } catch (const analysis::SweepSpecError& e) {
        status_->setText(QString::fromStdString(e.what()).remove(QStringLiteral("--sweep ")));
        return;
    }
    if (axes.size() == 2 && axes[0].parameter == axes[1].parameter) {
        status_->setText(tr("Choose two different parameters."));
        return;
    }
    QString error;
    std::optional<analysis::JobTexts> settings = workingFolderSettings(source_.folder ? source_.folder() : QString(), overrides_->text(), error);
    if (!settings) {
        status_->setText(error);
        return;
    }
    const PatternPairs list = source_.pairs ? source_.pairs() : PatternPairs();
    if (list.empty()) {
        status_->setText(tr("The list is empty: add pairs or open a pattern list first."));
        return;
    }
    settings->aData = analysis::jobDataText(list, false);
    settings->bData = analysis::jobDataText(list, true);
    axes_ = axes;
    pairs_ = static_cast<int>(list.size());
    const size_t count = analysis::gridCellCount(axes_);
    rows_.clear();
    cellRows_.assign(count, {});
    progress_->setRange(0, static_cast<int>(count));
    progress_->setValue(0);
    status_->setText(tr("Training the %1 pairs of the list %2 times...").arg(pairs_).arg(count));
    views_->setCurrentIndex(axes_.size() == 2 ? 1 : 0);
    if (axes_.size() == 2) {
        QStringList rows, columns;
        for (const std::string& v : axes_[0].values)
            rows << QString::fromStdString(v);
        for (const std::string& v : axes_[1].values)
            columns << QString::fromStdString(v);
        heatMap_->setAxes(QString::fromStdString(axes_[0].name), rows, QString::fromStdString(axes_[1].name),
                          columns);
    }
    redraw();
    setRunning(true);
    job_->start(count, [axes, settings = *settings, list](size_t cell, const std::atomic<bool>& stop)
                           -> std::optional<std::string> {
        analysis::JobTexts job = settings;
        job.parameters = analysis::cellParameters(axes, cell, *settings.parameters);
        const std::optional<analysis::RowResult> r = analysis::trainAndCount(job, list, &stop);
        return r ? std::optional(analysis::cellColumns(axes, cell) + analysis::resultColumns(*r) + '\n')
                 : std::nullopt;
    });
}

void SweepTab::stop()
{
    job_->stop();
}

void SweepTab::addRow(qulonglong index, const QString& text)
{
    rows_.append(text);
    if (index < cellRows_.size())
        cellRows_[index] = text;
    progress_->setValue(static_cast<int>(rows_.size()));
    if (axes_.size() == 2)
        paintCell(index);
    else if (rows_.size() % 16 == 0)
        redraw();
}

void SweepTab::paintCell(size_t index)
{
    const QStringList f = csvFields(cellRows_[index]);
    const QString outcome = f.value(2);
    HeatMap::Cell cell;
    if (measure_->currentIndex() == 0) {
        cell.hasValue = outcome == QLatin1String("recalled");
        cell.value = f.value(3).toDouble();
    } else {
        cell.hasValue = outcome != QLatin1String("terminated");
        cell.value = pairs_ > 0 ? f.value(7).toDouble() / pairs_ : 0;
    }
    if (outcome != QLatin1String("recalled"))
        cell.mark = outcome;
    const size_t columns = axes_[1].values.size();
    heatMap_->setCell(static_cast<int>(index / columns), static_cast<int>(index % columns), cell);
}

void SweepTab::redraw()
{
    const bool presentations = measure_->currentIndex() == 0;
    const QString title = presentations ? tr("presentations to recall") : tr("share recalled");
    if (axes_.size() == 2) {
        heatMap_->setValueTitle(title);
        for (size_t k = 0; k < cellRows_.size(); ++k)
            if (!cellRows_[k].isEmpty())
                paintCell(k);
        return;
    }
    QChart* chart = chartView_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    auto* line = new QLineSeries;
    line->setName(title);
    auto* limits = new QScatterSeries;
    limits->setName(tr("limit"));
    limits->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    auto* errors = new QScatterSeries;
    errors->setName(tr("error"));
    errors->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    double low = 0, high = 1, top = 1;
    bool any = false;
    for (const QString& row : cellRows_) {
        if (row.isEmpty())
            continue;
        const QStringList f = csvFields(row);
        const double x = f.value(0).toDouble();
        low = any ? std::min(low, x) : x;
        high = any ? std::max(high, x) : x;
        any = true;
        const QString outcome = f.value(1);
        const double y = presentations ? f.value(2).toDouble() : (pairs_ > 0 ? f.value(6).toDouble() / pairs_ : 0);
        top = std::max(top, y);
        if (outcome == QLatin1String("recalled") || !presentations)
            line->append(x, y);
        if (outcome == QLatin1String("limit"))
            limits->append(x, y);
        else if (outcome == QLatin1String("error") || outcome == QLatin1String("terminated"))
            errors->append(x, y);
    }
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{line, limits, errors})
        chart->addSeries(s);
    auto* xAxis = new QValueAxis;
    xAxis->setTitleText(axes_.empty() ? QString() : QString::fromStdString(axes_[0].name));
    xAxis->setRange(low, high > low ? high : low + 1);
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(title);
    yAxis->setRange(0, presentations ? top * 1.05 : 1);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series())
        s->attachAxis(xAxis), s->attachAxis(yAxis);
    chart->setTitle(tr("Sweep of %1").arg(xAxis->titleText()));
}

void SweepTab::finish(bool stopped)
{
    redraw();
    status_->setText(stopped ? tr("Stopped: %1 cells trained.").arg(rows_.size())
                             : tr("%1 cells trained.").arg(rows_.size()));
    setRunning(false);
    emit runFinished(stopped);
}

bool SweepTab::saveCsv(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArray::fromStdString(analysis::sweepHeader(axes_) + '\n'));
    for (const QString& row : cellRows_)
        file.write(row.toUtf8());
    return file.commit();
}

bool SweepTab::savePng(const QString& path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && views_->currentWidget()->grab().save(&file, "PNG") && file.commit();
}

} // namespace duolink
