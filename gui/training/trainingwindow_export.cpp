// SPDX-License-Identifier: GPL-3.0-or-later
// The training window's exports: the chart as a figure and the
// statistics as a CSV file, each replacing its file atomically.
#include <QAction>
#include <QChartView>

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/analysis/figurecaption.h"
#include "core/stats/statscsv.h"
#include "training/chartexport.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "common/savetarget.h"
#include "training/trainingwindow.h"
#include "training/weightmapview.h"

namespace duolink {
QString TrainingWindow::figureCaption() const
{
    QString caption;
    recorder_.read([&](const TrainingData& data) {
        if (data.start)
            caption = QString::fromStdString(analysis::trainingCaption(*data.start));
    });
    return caption;
}

void TrainingWindow::buildExports()
{
    const auto caption = [this] { return figureCaption(); };
    chartExport_ = new ChartExport([this] { return chartView_; }, caption, dialogs_, this);
    mapExport_ = new ChartExport([this] { return weightMap_; }, caption, dialogs_, this);
    auto* saveMap = new QAction(tr("Save Chart As…"), weightMap_);
    saveMap->setObjectName(QStringLiteral("saveWeightMapAction"));
    connect(saveMap, &QAction::triggered, this, [this] { mapExport_->saveAs(this); });
    weightMap_->addAction(saveMap);
    weightMap_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

bool TrainingWindow::saveChart(const QString& path)
{
    return chartExport_->saveTo(this, path);
}

bool TrainingWindow::saveStatistics(const QString& path)
{
    // The presentations made when the save began, a block at a time so that
    // a running Solve is held up only briefly.
    const std::uint64_t run = run_;
    bool replaced = false;
    const QString reason = replaceFileWith(path, [&](const std::function<bool(std::string_view)>& put) {
        constexpr std::size_t kBlock = 65536;
        std::string text = std::string(kStatsHeader) + '\n';
        std::size_t next = 0;
        std::size_t total = SIZE_MAX;
        while (next < total) {
            recorder_.read([&](const TrainingData& data) {
                if (data.run != run) {
                    replaced = true;
                    return;
                }
                total = std::min(total, data.size());
                const std::size_t end = std::min(total, next + kBlock);
                for (; next < end; ++next)
                    appendStatsLine(text, data.record(next));
            });
            if (replaced || !put(text))
                return false;
            text.clear();
        }
        return put(text);
    });
    if (replaced) {
        dialogs_().errorBox(this, tr("A new Solve began while the statistics were being saved; nothing was saved. "
                                     "Save them again after it."));
        return false;
    }
    if (reason.isEmpty())
        return true;
    dialogs_().errorBox(this, fileErrorText(path, tr("statistics not saved"), reason));
    return false;
}

void TrainingWindow::saveChartAs()
{
    chartExport_->saveAs(this);
}

void TrainingWindow::saveStatisticsAs()
{
    const auto name = dialogs_().saveFileName(this, tr("CSV file (*.csv)"), lastStatisticsName_);
    if (!name || name->isEmpty())
        return;
    lastStatisticsName_ = withSuffix(*name, "csv");
    if (mayReplace(this, dialogs_(), lastStatisticsName_))
        saveStatistics(lastStatisticsName_);
}
} // namespace duolink
