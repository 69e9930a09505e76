// SPDX-License-Identifier: GPL-3.0-or-later
// The Capacity tab's shape of the random pairs: N A values (the parity
// element comes on top) and M B values, 8 and 8 by default. The engine's
// limits are the pattern layer's, checked when a run starts.
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include "core/patterns/shapedlist.h"
#include "analysis/analysisrun.h"
#include "analysis/capacitytab.h"

namespace duolink {

QWidget* CapacityTab::shapeFields()
{
    auto* fields = new QWidget;
    aValues_ = new QSpinBox;
    bValues_ = new QSpinBox;
    aValues_->setObjectName(QStringLiteral("capacityAValues"));
    bValues_->setObjectName(QStringLiteral("capacityBValues"));
    aValues_->setRange(1, kLongestPattern - 1);
    bValues_->setRange(1, kLongestPattern);
    aValues_->setValue(ListShape{}.n);
    bValues_->setValue(ListShape{}.m);
    aValues_->setToolTip(tr("A values N of each random pair; the parity element makes A Len N + 1"));
    bValues_->setToolTip(tr("B values M of each random pair (B Len)"));
    auto* row = new QHBoxLayout(fields);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(aValues_);
    row->addWidget(new QLabel(QStringLiteral("+")));
    row->addWidget(bValues_);
    row->addStretch(1);
    return fields;
}

std::optional<ListShape> CapacityTab::takenShape()
{
    const ListShape shape{aValues_->value(), bValues_->value()};
    if (const std::string problem = shapeProblem(shape); !problem.empty()) {
        run_->setStatus(tr("Pattern shape: %1.").arg(QString::fromStdString(problem)));
        return std::nullopt;
    }
    return shape;
}

} // namespace duolink
