// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/paneprogress.h"

#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

namespace duolink {

QString sizeText(uint64_t bytes)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

PaneProgress::PaneProgress(QWidget* parent, const QString& label, uint64_t total, const PaneLimits& limits)
    : total_(total)
{
    if (total <= limits.progressAbove)
        return;
    dialog_ = std::make_unique<QProgressDialog>(label, QObject::tr("Cancel"), 0, 1000, parent);
    dialog_->setObjectName(QStringLiteral("paneProgress"));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(limits.showAfterMs);
    dialog_->setValue(0);
}

PaneProgress::~PaneProgress() = default;

bool PaneProgress::advance(uint64_t done)
{
    if (!dialog_)
        return true;
    // A window-modal dialog's setValue lets the events through.
    dialog_->setValue(static_cast<int>(std::min<uint64_t>(1000, done * 1000 / std::max<uint64_t>(1, total_))));
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
}

} // namespace duolink
