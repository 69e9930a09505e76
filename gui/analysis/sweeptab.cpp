// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/sweeptab.h"

#include <QChart>
#include <QCheckBox>
#include <QChartView>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

#include "core/patterns/shapedlist.h"
#include "core/analysis/analyses.h"
#include "core/analysis/jobtexts.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "core/patterns/patterns.h"
#include "core/support/numgrammar.h"
#include "analysis/analysisrun.h"
#include "training/chartaxes.h"
#include "analysis/keptruns.h"
#include "analysis/heatmap.h"

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

// A line chart follows a run at most this often.
constexpr qint64 kDrawMs = 300;

// A measure's name inside a sentence: "nearest own B".
QString measureTitle(const QString& name)
{
    return name.isEmpty() ? name : name.left(1).toLower() + name.mid(1);
}

QString outcomeText(analysis::Outcome o)
{
    const std::string_view name = analysis::outcomeName(o);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

SweepTab::SweepTab(AnalysisWindow& window, JobSource source)
    : TrainingTab(window, std::move(source)), name1_(parameterBox(false)),
      list1_(new QLineEdit(QStringLiteral("0.02:0.2:0.02"))), name2_(parameterBox(true)), list2_(new QLineEdit),
      cells_(new QLabel), overrides_(new QLineEdit),
      tol_(new QLabel(tr("TOL from %1").arg(QString::fromLatin1(kParametersFileName)))), measure_(new QComboBox),
      runButton_(new QPushButton(tr("&Run"))), csvButton_(new QPushButton(tr("Save &CSV As\u2026"))),
      pngButton_(new QPushButton(tr("Save Chart &As\u2026"))), views_(new QStackedWidget), chartView_(new QChartView),
      heatMap_(new HeatMap), kept_(new KeptRuns(chartView_, this)), keepBox_(new QCheckBox(tr("&Keep this run")))
{
    setObjectName(QStringLiteral("sweepTab"));
    name1_->setObjectName(QStringLiteral("sweepName1"));
    name1_->setCurrentText(QStringLiteral("beta"));
    list1_->setObjectName(QStringLiteral("sweepList1"));
    name2_->setObjectName(QStringLiteral("sweepName2"));
    list2_->setObjectName(QStringLiteral("sweepList2"));
    list2_->setPlaceholderText(tr("a,b,c or start:stop:step"));
    cells_->setObjectName(QStringLiteral("sweepCells"));
    overrides_->setObjectName(QStringLiteral("sweepOverrides"));
    overrides_->setPlaceholderText(tr("for example max=200"));
    tol_->setObjectName(QStringLiteral("sweepTol"));
    tol_->setToolTip(tr("A pair counts as recalled when every value is within this TOL. "
                        "Set tol= in Parameter changes, or sweep tol, to use another."));
    measure_->setObjectName(QStringLiteral("sweepMeasure"));
    measure_->addItems({tr("Presentations to recall"), tr("Share recalled"), tr("Nearest own B")});
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
    form->addRow(tr("Cells:"), cells_);
    form->addRow(tr("Parameter changes:"), overrides_);
    form->addRow(tr("Recalled within:"), tol_);
    form->addRow(tr("Show:"), measure_);
    form->addRow(keepBox_);
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
    connect(csvButton_, &QPushButton::clicked, this, &SweepTab::saveCsv);
    setUpFigures();
    connect(list1_, &QLineEdit::editingFinished, this, &SweepTab::countCells);
    connect(list2_, &QLineEdit::editingFinished, this, &SweepTab::countCells);
    connect(name2_, &QComboBox::currentIndexChanged, this, &SweepTab::countCells);
    connect(overrides_, &QLineEdit::editingFinished, this, [this] { showTol(tol_, overrides_->text()); });
    countCells();
    setRunning(false);
}

void SweepTab::refreshTol()
{
    showTol(tol_, overrides_->text());
}

void SweepTab::setRunning(bool running)
{
    runButton_->setEnabled(!running);
    csvButton_->setEnabled(!running && rowCount() > 0);
    pngButton_->setEnabled(!running && rowCount() > 0);
    for (QWidget* w : std::initializer_list<QWidget*>{name1_, list1_, name2_, list2_, overrides_})
        w->setEnabled(!running);
}

std::optional<std::vector<analysis::SweepAxis>> SweepTab::readAxes(QString& why) const
{
    std::vector<analysis::SweepAxis> axes;
    try {
        axes.push_back(analysis::parseSweepAxis((name1_->currentText() + '=' + list1_->text()).toStdString()));
        if (name2_->currentIndex() > 0)
            axes.push_back(analysis::parseSweepAxis((name2_->currentText() + '=' + list2_->text()).toStdString()));
    } catch (const analysis::SweepAxisError& e) {
        why = QString::fromStdString(e.what()).remove(QStringLiteral("--sweep "));
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        why = tr("The sweep has too many values to hold. Use a larger step or fewer values.");
        return std::nullopt;
    }
    if (axes.size() == 2 && axes[0].parameter == axes[1].parameter) {
        why = tr("Choose two different parameters.");
        return std::nullopt;
    }
    // Counted without overflow: the product is compared with the limit first.
    const size_t first = axes[0].values.size(), second = axes.size() == 2 ? axes[1].values.size() : 1;
    if (first > analysis::kMaxGridCells || second > analysis::kMaxGridCells / std::max<size_t>(first, 1)) {
        why = tr("%1 \u00d7 %2 cells is more than the %3 a sweep takes. Use fewer values.")
                  .arg(first)
                  .arg(second)
                  .arg(analysis::kMaxGridCells);
        return std::nullopt;
    }
    return axes;
}

void SweepTab::countCells()
{
    QString why;
    const std::optional<std::vector<analysis::SweepAxis>> axes = readAxes(why);
    const size_t count = axes ? analysis::gridCellCount(*axes) : 0;
    cells_->setText(!axes ? why : count == 1 ? tr("1 cell, one training") : tr("%1 cells, each one training").arg(count));
}

void SweepTab::run()
{
    if (running())
        return;
    countCells();
    QString why;
    const std::optional<std::vector<analysis::SweepAxis>> axes = readAxes(why);
    if (!axes) {
        run_->setStatus(why);
        return;
    }
    std::optional<analysis::JobTexts> settings = jobSettings(overrides_->text());
    if (!settings)
        return;
    const ShapedPairs list = source_.pairs ? source_.pairs() : ShapedPairs();
    if (const QString problem = shapeRefusal(list, *axes); !problem.isEmpty()) {
        run_->setStatus(problem);
        return;
    }
    // An 8 + 8 list trains as the fixed-shape job; another sets its lengths.
    const PatternPairs fixed = list.shape.fixed() ? fixedFromShaped(list) : PatternPairs();
    if (list.shape.fixed())
        analysis::putDataTexts(*settings, fixed);
    else
        *settings = analysis::shapedJob(list, *settings);
    keepRun();
    const size_t count = analysis::gridCellCount(*axes);
    const bool started = startRows(count, [axes = *axes, settings = *settings, list, fixed](
                                              size_t cell, unsigned, const std::atomic<bool>& stop) -> std::optional<Record> {
        analysis::JobTexts job = settings;
        job.parameters = analysis::cellParameters(axes, cell, *settings.parameters);
        std::optional<analysis::RowResult> r = list.shape.fixed() ? analysis::trainAndCount(job, fixed, &stop)
                                                                  : analysis::trainAndCount(job, list, &stop);
        return r ? std::optional<Record>(analysis::SweepCell{cell, std::move(*r)}) : std::nullopt;
    });
    if (!started)
        return;
    analysis::AnalysisSpec request;
    request.kind = analysis::AnalysisKind::Sweep;
    request.axes = *axes;
    request.list = list;
    request.settings = *settings;
    recordRequest(std::move(request));
    axes_ = *axes;
    pairs_ = static_cast<int>(list.size());
    noteRun(list, *settings);
    points_.assign(count, {});
    xs_.clear();
    for (const std::string& v : axes_[0].values) {
        double x = 0;
        parseRealToken(v, x);
        xs_.push_back(x);
    }
    const bool tolSwept = std::any_of(axes_.begin(), axes_.end(), [](const analysis::SweepAxis& a) {
        return a.parameter == static_cast<int>(Parameter::Tol);
    });
    tol_->setText(tolSwept ? tr("TOL as swept") : tolText(*settings, overrides_->text()));
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
    sinceDrawn_.start();
    setRunning(true);
}

std::string SweepTab::rowText(const Record& record) const
{
    const auto& c = std::get<analysis::SweepCell>(record);
    return analysis::cellColumns(axes_, c.cell) + analysis::resultColumns(c.result) + '\n';
}

void SweepTab::recordsAdded(const std::vector<Record>& records)
{
    for (const Record& record : records) {
        const auto& c = std::get<analysis::SweepCell>(record);
        if (c.cell >= points_.size())
            continue;
        points_[c.cell] = {true, c.result.outcome, c.result.presentations, c.result.recall.recalled,
                           c.result.recall.nearestOwn};
        if (axes_.size() == 2)
            paintCell(c.cell);
    }
    if (axes_.size() == 1 && sinceDrawn_.elapsed() >= kDrawMs) {
        drawLine();
        sinceDrawn_.restart();
    }
}

double SweepTab::measure(const Point& p) const
{
    switch (measure_->currentIndex()) {
    case kShareRecalled: return pairs_ > 0 ? static_cast<double>(p.recalled) / pairs_ : 0;
    case kNearestOwn: return pairs_ > 0 ? static_cast<double>(p.nearestOwn) / pairs_ : 0;
    default: return p.presentations;
    }
}

void SweepTab::paintCell(size_t index)
{
    const Point& p = points_[index];
    HeatMap::Cell cell;
    // A training stopped at the limit still has shares to show; one that
    // diverged or was terminated has none, and no run at the limit has
    // presentations "to recall".
    cell.hasValue = p.outcome == analysis::Outcome::Recalled ||
                    (p.outcome == analysis::Outcome::Limit && measure_->currentIndex() != kPresentations);
    cell.value = measure(p);
    if (p.outcome != analysis::Outcome::Recalled)
        cell.mark = outcomeText(p.outcome);
    const size_t columns = axes_[1].values.size();
    heatMap_->setCell(static_cast<int>(index / columns), static_cast<int>(index % columns), cell);
}

void SweepTab::redraw()
{
    if (axes_.size() != 2) {
        drawLine();
        return;
    }
    QString title = measureTitle(measure_->currentText());
    if (measure_->currentIndex() == kNearestOwn && pairs_ > 0)
        title += tr(" (chance 1/%1)").arg(pairs_);
    heatMap_->setValueTitle(title);
    for (size_t k = 0; k < points_.size(); ++k)
        if (points_[k].trained)
            paintCell(k);
}

void SweepTab::drawLine()
{
    const int shown = measure_->currentIndex();
    QChart* chart = chartView_->chart();
    chart->removeAllSeries();
    // The chart gives a removed axis back to its caller.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    auto* line = new QLineSeries;
    line->setName(measureTitle(measure_->currentText()));
    line->setPointsVisible(true);
    QScatterSeries* marks[3] = {new QScatterSeries, new QScatterSeries, new QScatterSeries};
    const QScatterSeries::MarkerShape shapes[3] = {QScatterSeries::MarkerShapeTriangle,
                                                   QScatterSeries::MarkerShapeRectangle,
                                                   QScatterSeries::MarkerShapeStar};
    for (int k = 0; k < 3; ++k) {
        marks[k]->setName(outcomeText(static_cast<analysis::Outcome>(k + 1)));
        marks[k]->setMarkerShape(shapes[k]);
        marks[k]->setMarkerSize(9);
    }
    QList<QPointF> values, marked[3];
    double low = 0, high = 1, top = 1;
    bool any = false;
    for (size_t k = 0; k < points_.size() && k < xs_.size(); ++k) {
        const Point& p = points_[k];
        if (!p.trained)
            continue;
        const double x = xs_[k];
        low = any ? std::min(low, x) : x;
        high = any ? std::max(high, x) : x;
        any = true;
        // The line joins the trainings that recalled every pair. The others
        // stand apart as marks of their outcome: one at the limit where its
        // row puts it, one that diverged or was terminated on the axis.
        const double y = measure(p);
        top = std::max(top, y);
        if (p.outcome == analysis::Outcome::Recalled)
            values.append({x, y});
        else
            marked[static_cast<int>(p.outcome) - 1].append({x, p.outcome == analysis::Outcome::Limit ? y : 0});
    }
    line->replace(thinnedPoints(values, low, high, top));
    for (int k = 0; k < 3; ++k)
        marks[k]->replace(thinnedPoints(marked[k], low, high, top));
    chart->addSeries(line);
    for (QScatterSeries* m : marks) {
        if (m->count() > 0)
            chart->addSeries(m);
        else
            delete m;
    }
    if (shown == kNearestOwn && pairs_ > 0) {
        auto* chance = new QLineSeries;
        chance->setName(tr("chance (1/%1)").arg(pairs_));
        chance->setPen(QPen(Qt::gray, 1, Qt::DashLine));
        chance->append(low, 1.0 / pairs_);
        chance->append(high > low ? high : low + 1, 1.0 / pairs_);
        chart->addSeries(chance);
    }
    auto* xAxis = new QValueAxis;
    const bool wholeX = !axes_.empty() && parameterInfo(static_cast<Parameter>(axes_[0].parameter)).integer;
    xAxis->setTitleText(axes_.empty() ? QString() : QString::fromStdString(axes_[0].name));
    setStepAxis(xAxis, low, high > low ? high : low + 1, 8, wholeX);
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(measureTitle(measure_->currentText()));
    setStepAxis(yAxis, 0, shown == kPresentations ? top : 1, 5, shown == kPresentations);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series())
        s->attachAxis(xAxis), s->attachAxis(yAxis);
    chart->setTitle(tr("Sweep of %1").arg(xAxis->titleText()));
    if (!kept_->empty())
        line->setName(kept_->legendName(caption_));
    kept_->setShown(shown);
}

void SweepTab::rowsEnded(bool stopped)
{
    stopped_ = stopped;
    redraw();
    run_->setStatus(stopped ? tr("Stopped: %1 of %2 cells trained and kept.").arg(rowCount()).arg(rowTotal())
                            : tr("%1 cells trained.").arg(rowCount()));
    setRunning(false);
}

std::string SweepTab::header() const
{
    return analysis::sweepHeader(axes_);
}

} // namespace duolink
