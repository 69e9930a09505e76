// SPDX-License-Identifier: GPL-3.0-or-later
// The Sweep tab's figures and kept runs: Save Chart As, and a sweep of one
// parameter kept as a line for each measure the Show box offers, with its
// rows and its provenance.
#include <QCheckBox>
#include <QChartView>
#include <QComboBox>
#include <QPushButton>
#include <QStackedWidget>

#include "core/patterns/shapedlist.h"
#include "core/analysis/figurecaption.h"
#include "core/parameters/paramsfile.h"
#include "training/chartexport.h"
#include "analysis/keptruns.h"
#include "analysis/sweeptab.h"

namespace duolink {

void SweepTab::setUpFigures()
{
    export_ = new ChartExport([this] { return views_->currentWidget(); }, [this] { return kept_->sharedValues(caption_); },
                              [this]() -> Dialogs& { return dialogs(); }, this);
    connect(pngButton_, &QPushButton::clicked, this, [this] { export_->saveAs(this); });
    keepBox_->setObjectName(QStringLiteral("sweepKeepRun"));
    keepBox_->setToolTip(tr("The next sweep of one parameter leaves this line on the chart, named by its values"));
    chartView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chartView_, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        kept_->showLegendMenu(chartView_->mapToGlobal(pos), chartView_->mapToScene(pos));
    });
}

QString SweepTab::shapeRefusal(const ShapedPairs& list, const std::vector<analysis::SweepAxis>& axes) const
{
    if (QString problem = source_.refusal(list); !problem.isEmpty())
        return problem;
    if (list.shape.fixed())
        return {};
    for (const analysis::SweepAxis& axis : axes)
        if (axis.parameter == static_cast<int>(Parameter::ALen) || axis.parameter == static_cast<int>(Parameter::BLen))
            return tr("The list's pairs of %1 + %2 values set A Len and B Len; sweep another parameter.")
                .arg(list.shape.n)
                .arg(list.shape.m);
    return {};
}

bool SweepTab::saveChart(const QString& path)
{
    return export_->saveTo(this, path);
}

void SweepTab::noteRun(const ShapedPairs& list, const analysis::JobTexts& settings)
{
    request_ = {};
    request_.kind = analysis::AnalysisKind::Sweep;
    request_.axes = axes_;
    request_.list = list;
    request_.settings = settings;
    caption_ = QString::fromStdString(analysis::figureCaption(request_));
    kept_->setCurrentLabel(caption_);
    started_ = std::chrono::system_clock::now();
    // Only a line can stand beside another: a heat map is not kept.
    keepBox_->setEnabled(axes_.size() == 1);
    if (axes_.size() != 1)
        keepBox_->setChecked(false);
}

void SweepTab::keepRun()
{
    if (!keepBox_->isChecked() || rowCount() == 0 || axes_.size() != 1)
        return;
    QList<QList<QPointF>> curves(3);
    const int shown = measure_->currentIndex();
    for (int m = 0; m < 3; ++m) {
        // measure() reads the Show box; it is set back below without a signal.
        const QSignalBlocker quiet(measure_);
        measure_->setCurrentIndex(m);
        for (size_t k = 0; k < points_.size() && k < xs_.size(); ++k)
            if (points_[k].trained && points_[k].outcome == analysis::Outcome::Recalled)
                curves[m].append({xs_[k], measure(points_[k])});
    }
    {
        const QSignalBlocker quiet(measure_);
        measure_->setCurrentIndex(shown);
    }
    kept_->keep(caption_, std::move(curves), header(), rowsText(), provenance());
    keepBox_->setChecked(false);
}

std::string SweepTab::provenance() const
{
    std::array<size_t, 4> outcomes{};
    for (const Point& p : points_)
        if (p.trained)
            ++outcomes[static_cast<size_t>(p.outcome)];
    return windowRunProvenance(request_, source_.folder ? source_.folder() : QString(), started_, stopped_, outcomes);
}

void SweepTab::saveCsv()
{
    if (kept_->empty())
        saveCsvAs();
    else
        kept_->saveCsvAs(this, dialogs(), header(), rowsText(), caption_, provenance());
}

} // namespace duolink
