// SPDX-License-Identifier: GPL-3.0-or-later
#include "training/trainingwindow.h"

#include <QCategoryAxis>
#include <QChart>
#include <QAction>
#include <QChartView>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/stats/statscsv.h"
#include "training/chartaxes.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "common/savetarget.h"
#include "training/weightmapview.h"

namespace duolink {

namespace {

QString number(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

QString duration(std::chrono::steady_clock::duration d)
{
    const double seconds = std::chrono::duration<double>(d).count();
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    const auto whole = static_cast<long long>(seconds);
    return QStringLiteral("%1 min %2 s").arg(whole / 60).arg(whole % 60);
}

QString count(std::size_t n)
{
    return QLocale::c().toString(static_cast<qulonglong>(n));
}

QString pairsMissed(int missed)
{
    return missed == 1 ? QStringLiteral("1 pair missed") : QStringLiteral("%1 pairs missed").arg(missed);
}

} // namespace

TrainingWindow::TrainingWindow(const TrainingRecorder& recorder, std::function<Dialogs&()> dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), recorder_(recorder), dialogs_(std::move(dialogs))
{
    build();
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshIntervalMs);
    connect(timer_, &QTimer::timeout, this, &TrainingWindow::refreshOnTimer);
    updateChart(); // the axes of an empty chart, without numbers
    refresh();
}

TrainingWindow::~TrainingWindow() = default;

void TrainingWindow::build()
{
    setObjectName(QStringLiteral("TrainingWindow"));
    setWindowTitle(tr("Training"));
    resize(1000, 520);

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->setMargins(QMargins(4, 4, 4, 4));

    r2Series_ = new QLineSeries;
    r2Series_->setName(tr("R2"));
    missedSeries_ = new QLineSeries;
    missedSeries_->setName(tr("Missed pairs"));
    chart_->addSeries(r2Series_);
    chart_->addSeries(missedSeries_);

    xAxis_ = new QValueAxis;
    xAxis_->setTitleText(tr("Presentation"));
    xAxis_->setLabelFormat(QStringLiteral("%.0f"));
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(0);
    r2Axis_ = new QValueAxis;
    r2Axis_->setTitleText(tr("R2"));
    r2Axis_->setLabelFormat(QStringLiteral("%g")); // short at any size: "6e+39"
    r2LogAxis_ = new QLogValueAxis;
    r2LogLabels_ = new QCategoryAxis;
    r2LogLabels_->setTitleText(tr("R2 (log scale)"));
    r2LogLabels_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    missedAxis_ = new QValueAxis;
    missedAxis_->setTitleText(tr("Missed pairs"));
    missedAxis_->setLabelFormat(QStringLiteral("%.0f"));
    missedAxis_->setTickType(QValueAxis::TicksDynamic);
    missedAxis_->setTickAnchor(0);

    chart_->addAxis(xAxis_, Qt::AlignBottom);
    chart_->addAxis(r2Axis_, Qt::AlignLeft);
    chart_->addAxis(r2LogAxis_, Qt::AlignLeft);
    chart_->addAxis(r2LogLabels_, Qt::AlignLeft);
    chart_->addAxis(missedAxis_, Qt::AlignRight);
    r2LogAxis_->setVisible(false);
    r2LogLabels_->setVisible(false);
    r2Series_->attachAxis(xAxis_);
    r2Series_->attachAxis(r2Axis_);
    missedSeries_->attachAxis(xAxis_);
    missedSeries_->attachAxis(missedAxis_);
    // The two series in the colours of the axis titles.
    r2Axis_->setTitleBrush(r2Series_->pen().color());
    r2LogLabels_->setTitleBrush(r2Series_->pen().color());
    missedAxis_->setTitleBrush(missedSeries_->pen().color());

    chartView_ = new QChartView(chart_);
    chartView_->setRenderHint(QPainter::Antialiasing);
    chartView_->viewport()->setMouseTracking(true);
    chartView_->viewport()->installEventFilter(this);

    summary_ = new QLabel;
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setWordWrap(true);
    summary_->setTextFormat(Qt::PlainText); // changes ten times a second during a run
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pointText_ = new QLabel;
    pointText_->setObjectName(QStringLiteral("point"));

    weightMap_ = new WeightMapView;
    cellText_ = new QLabel;
    connect(weightMap_, &WeightMapView::cellShown, cellText_, &QLabel::setText);
    buildExports();

    saveChartButton_ = new QPushButton(tr("Save Chart As…"));
    saveStatisticsButton_ = new QPushButton(tr("Save Statistics As…"));
    connect(saveChartButton_, &QPushButton::clicked, this, &TrainingWindow::saveChartAs);
    connect(saveStatisticsButton_, &QPushButton::clicked, this, &TrainingWindow::saveStatisticsAs);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(chartView_, 1);
    leftLayout->addWidget(summary_);
    leftLayout->addWidget(pointText_);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(new QLabel(tr("Weights")));
    rightLayout->addWidget(weightMap_, 1);
    rightLayout->addWidget(cellText_);

    auto* splitter = new QSplitter;
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({620, 380});

    buttons_ = new QHBoxLayout;
    buttons_->addStretch(1);
    buttons_->addWidget(saveChartButton_);
    buttons_->addWidget(saveStatisticsButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons_);
}

QPushButton* TrainingWindow::addStopButton()
{
    stopButton_ = new QPushButton(tr("Stop"));
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setToolTip(tr("Stop the training after the presentation it is in (Esc)"));
    buttons_->insertWidget(0, stopButton_);
    return stopButton_;
}

void TrainingWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
    timer_->start(kRefreshIntervalMs);
}

void TrainingWindow::hideEvent(QHideEvent* event)
{
    timer_->stop();
    QWidget::hideEvent(event);
}

void TrainingWindow::restart()
{
    r2Points_.clear();
    missedPoints_.clear();
    pointText_->clear();
}

bool TrainingWindow::event(QEvent* event)
{
    if (event->type() != QEvent::UpdateRequest)
        return QWidget::event(event);
    // The window paints what changed.
    QElapsedTimer painting;
    painting.start();
    const bool done = QWidget::event(event);
    drawnNs_ += painting.nsecsElapsed();
    return done;
}

void TrainingWindow::refreshOnTimer()
{
    const std::int64_t waitMs = drawnNs_ * kWaitPerDrawn / 1000000;
    timer_->setInterval(static_cast<int>(std::clamp<std::int64_t>(waitMs, kRefreshIntervalMs, kMaxRefreshIntervalMs)));
    drawnNs_ = 0;
    refresh();
}

void TrainingWindow::refresh()
{
    QElapsedTimer refreshing;
    refreshing.start();
    bool chartChanged = false;
    bool mapChanged = false;
    WeightMap map;
    QString summary;
    recorder_.read([&](const TrainingData& data) {
        if (data.run != run_) {
            restart();
            run_ = data.run;
            chartChanged = true;
        }
        patternCount_ = data.start ? data.start->patternCount : 0;
        for (std::size_t i = r2Points_.size(); i < data.size(); ++i) {
            r2Points_.add(data.r2[i]);
            missedPoints_.add(data.missedPairs[i]);
            chartChanged = true;
        }
        if (data.weightsVersion != weightsVersion_) {
            weightsVersion_ = data.weightsVersion;
            map = data.weights;
            mapChanged = true;
        }
        summary = summaryText(data);
    });
    if (chartChanged)
        updateChart();
    if (mapChanged)
        weightMap_->setMap(map);
    if (summary != summary_->text())
        summary_->setText(summary);
    drawnNs_ += refreshing.nsecsElapsed();
}

void TrainingWindow::setLogScale(bool on)
{
    if (on == logScale_)
        return;
    logScale_ = on;
    QAbstractAxis* from = on ? static_cast<QAbstractAxis*>(r2Axis_) : r2LogAxis_;
    QAbstractAxis* to = on ? static_cast<QAbstractAxis*>(r2LogAxis_) : r2Axis_;
    r2Series_->detachAxis(from);
    r2Series_->attachAxis(to);
}

void TrainingWindow::updateChart()
{
    const std::size_t n = r2Points_.size();
    const double smallest = r2Points_.smallestPositive();
    setLogScale(smallest > 0 && r2Points_.maximum() / smallest > kLogScaleRatio);

    QList<QPointF> points;
    const auto r2 = r2Points_.points();
    points.reserve(static_cast<qsizetype>(r2.size()));
    for (const auto& p : r2)
        if (!logScale_ || p.y > 0) // a log axis has no place for the others
            points.append({p.x, p.y});
    r2Series_->replace(points);
    points.clear();
    for (const auto& p : missedPoints_.points())
        points.append({p.x, p.y});
    missedSeries_->replace(points);

    // Whole presentation numbers, each once; an empty chart shows none.
    const double last = std::max<double>(2, static_cast<double>(n));
    xAxis_->setTickInterval(wholeStep(last - 1, 8));
    xAxis_->setRange(1, last);
    const bool any = n > 0;
    xAxis_->setVisible(any);
    missedAxis_->setVisible(any);
    r2Axis_->setVisible(any && !logScale_);
    r2LogLabels_->setVisible(any && logScale_);
    if (logScale_) {
        // Whole decades; the labels on some of them, readable at any size.
        const int low = std::max(-307, static_cast<int>(std::floor(std::log10(smallest))));
        const int high = std::clamp(static_cast<int>(std::ceil(std::log10(r2Points_.maximum()))), low + 1, 308);
        r2LogAxis_->setRange(std::pow(10.0, low), std::pow(10.0, high));
        for (const QString& label : r2LogLabels_->categoriesLabels())
            r2LogLabels_->remove(label);
        r2LogLabels_->setStartValue(low - 1);
        for (int exponent : labelledExponents(low, high, 8))
            r2LogLabels_->append(powerOfTenLabel(exponent), exponent);
        r2LogLabels_->setRange(low, high);
    } else {
        const double low = std::min(0.0, r2Points_.minimum());
        const double high = std::max(1.0, r2Points_.maximum());
        r2Axis_->setRange(low, high);
        r2Axis_->applyNiceNumbers();
    }
    // Up to the number of pairs, in whole steps of 1, 2 or 5 times a power of ten.
    const double missedTop = std::max({1.0, static_cast<double>(patternCount_), missedPoints_.maximum()});
    const double step = wholeStep(missedTop, 6);
    // The step first: the new range with the old step could mean a tick
    // for every pair, each a graphics item of its own.
    missedAxis_->setTickInterval(std::max(1.0, step));
    missedAxis_->setRange(0, missedTop);
}

QString TrainingWindow::summaryText(const TrainingData& data) const
{
    if (data.run == 0)
        return tr("No training yet: Solve shows its run here.");
    const std::size_t n = data.size() + data.notKept;
    QString text;
    if (!data.end) {
        text = tr("Training: presentation %1").arg(count(n));
        if (data.start)
            text += tr(" of %1").arg(count(static_cast<std::size_t>(std::max(0, data.start->maxPresentations))));
        if (data.size() > 0)
            text += tr(", R2 %1, %2 in the last one").arg(number(data.r2.back()), pairsMissed(data.missedPairs.back()));
        text += tr(", %1 so far.").arg(duration(std::chrono::steady_clock::now() - data.started));
    } else {
        switch (*data.end) {
        case RunEnd::Recalled: text = tr("Every pair recalled"); break;
        case RunEnd::Limit: text = tr("Presentation limit reached"); break;
        case RunEnd::Stopped: text = tr("Stopped by the user"); break;
        case RunEnd::Terminated: text = tr("Terminated by an error in the job's input (see vld33res.txt)"); break;
        case RunEnd::Error: text = tr("Ended by an error"); break;
        }
        text += n == 1 ? tr(" after 1 presentation") : tr(" after %1 presentations").arg(count(n));
        if (data.size() > 0)
            text += tr(": final R2 %1, %2 in the last presentation")
                        .arg(number(data.r2.back()), pairsMissed(data.missedPairs.back()));
        text += tr("; time %1.").arg(duration(data.elapsed));
    }
    if (data.notKept > 0)
        text += tr(" The chart holds the first %1 presentations.").arg(count(TrainingRecorder::kMaxRecords));
    return text;
}

QString TrainingWindow::presentationText(std::int64_t presentation) const
{
    QString text;
    recorder_.read([&](const TrainingData& data) {
        if (presentation < 1 || static_cast<std::size_t>(presentation) > data.size())
            return;
        const PresentationRecord r = data.record(static_cast<std::size_t>(presentation - 1));
        text = tr("Presentation %1: R2 %2, %3, %4 bit errors, BER total %5")
                   .arg(count(static_cast<std::size_t>(presentation)), number(r.r2), pairsMissed(r.missedPairs))
                   .arg(r.bitErrors)
                   .arg(number(r.berTotal));
    });
    return text;
}

bool TrainingWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == chartView_->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const QPointF pos = chartView_->mapToScene(static_cast<QMouseEvent*>(event)->position().toPoint());
            const QPointF inChart = chart_->mapFromScene(pos);
            QString text;
            if (chart_->plotArea().contains(inChart) && r2Points_.size() > 0) {
                const double x = chart_->mapToValue(inChart, missedSeries_).x();
                const auto presentation = std::clamp<std::int64_t>(std::llround(x), 1,
                                                                  static_cast<std::int64_t>(r2Points_.size()));
                text = presentationText(presentation);
            }
            pointText_->setText(text);
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(static_cast<QMouseEvent*>(event)->globalPosition().toPoint(), text, chartView_);
        } else if (event->type() == QEvent::Leave) {
            pointText_->clear();
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace duolink
