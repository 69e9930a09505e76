#include "gui/sweeptab.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns/patterns.h"
#include "gui/analysisrun.h"
#include "gui/heatmap.h"

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

SweepTab::SweepTab(AnalysisWindow& window, JobSource source)
    : TrainingTab(window, std::move(source)), name1_(parameterBox(false)),
      list1_(new QLineEdit(QStringLiteral("0.02:0.2:0.02"))), name2_(parameterBox(true)), list2_(new QLineEdit),
      overrides_(new QLineEdit), measure_(new QComboBox), runButton_(new QPushButton(tr("&Run"))),
      csvButton_(new QPushButton(tr("Save &CSV As\u2026"))), pngButton_(new QPushButton(tr("Save Chart &As\u2026"))),
      views_(new QStackedWidget), chartView_(new QChartView), heatMap_(new HeatMap)
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
    csvButton_->setObjectName(QStringLiteral("sweepSaveCsv"));
    pngButton_->setObjectName(QStringLiteral("sweepSavePng"));

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
    for (QPushButton* b : {runButton_, csvButton_, pngButton_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->setMinimumSize(480, 300);
    views_->addWidget(chartView_);
    views_->addWidget(heatMap_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(views_, 1);
    layout->addWidget(run_);

    connect(runButton_, &QPushButton::clicked, this, &SweepTab::run);
    connect(measure_, &QComboBox::currentIndexChanged, this, &SweepTab::redraw);
    connect(csvButton_, &QPushButton::clicked, this, &SweepTab::saveCsvAs);
    connect(pngButton_, &QPushButton::clicked, this, [this] { saveImageAs(views_->currentWidget(), lastChartName_); });
    setRunning(false);
}

void SweepTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
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
    } catch (const analysis::SweepAxisError& e) {
        run_->setStatus(QString::fromStdString(e.what()).remove(QStringLiteral("--sweep ")));
        return;
    }
    if (axes.size() == 2 && axes[0].parameter == axes[1].parameter) {
        run_->setStatus(tr("Choose two different parameters."));
        return;
    }
    std::optional<analysis::JobTexts> settings = jobSettings(overrides_->text());
    if (!settings)
        return;
    const PatternPairs list = source_.pairs ? source_.pairs() : PatternPairs();
    if (list.empty()) {
        run_->setStatus(tr("The list is empty: add pairs or open a pattern list first."));
        return;
    }
    analysis::putDataTexts(*settings, list);
    axes_ = axes;
    pairs_ = static_cast<int>(list.size());
    const size_t count = analysis::gridCellCount(axes_);
    cellRows_.assign(count, {});
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
    startRows(count, [axes, settings = *settings, list](size_t cell, unsigned, const std::atomic<bool>& stop)
                         -> std::optional<std::string> {
        analysis::JobTexts job = settings;
        job.parameters = analysis::cellParameters(axes, cell, *settings.parameters);
        const std::optional<analysis::RowResult> r = analysis::trainAndCount(job, list, &stop);
        return r ? std::optional(analysis::cellColumns(axes, cell) + analysis::resultColumns(*r) + '\n')
                 : std::nullopt;
    });
    redraw();
    setRunning(true);
}

void SweepTab::rowAdded(size_t index, const QString& text)
{
    if (index < cellRows_.size())
        cellRows_[index] = text;
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
    // The chart gives a removed axis back to its caller.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
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

void SweepTab::rowsEnded(bool stopped)
{
    redraw();
    run_->setStatus(stopped ? tr("Stopped: %1 cells trained.").arg(rows_.size())
                            : tr("%1 cells trained.").arg(rows_.size()));
    setRunning(false);
}

std::string SweepTab::header() const
{
    return analysis::sweepHeader(axes_);
}

bool SweepTab::saveChart(const QString& path)
{
    return saveImage(views_->currentWidget(), path);
}

} // namespace duolink
