// SPDX-License-Identifier: GPL-3.0-or-later
#include "training/figureoptionsdialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QSpinBox>

namespace duolink {

namespace {

QSpinBox* spinBox(int low, int high, int value, const QString& suffix)
{
    auto* box = new QSpinBox;
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

bool askFigureOptions(QWidget* parent, FigureOptions& options, bool raster)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Figure"));
    dialog.setObjectName(QStringLiteral("figureOptions"));
    auto* width = spinBox(kMinFigurePixels, kMaxFigurePixels, options.pixels.width(), QObject::tr(" px"));
    auto* height = spinBox(kMinFigurePixels, kMaxFigurePixels, options.pixels.height(), QObject::tr(" px"));
    auto* dpi = spinBox(kMinFigureDpi, kMaxFigureDpi, options.dpi, QObject::tr(" dpi"));
    auto* caption = new QCheckBox(QObject::tr("Caption line with the run's values"));
    caption->setChecked(options.caption);
    auto* page = new QLabel;
    const auto showPage = [&] {
        page->setText(QObject::tr("%1 \u00d7 %2 inches")
                          .arg(static_cast<double>(width->value()) / dpi->value(), 0, 'f', 1)
                          .arg(static_cast<double>(height->value()) / dpi->value(), 0, 'f', 1));
    };
    showPage();
    for (QSpinBox* box : {width, height, dpi})
        QObject::connect(box, &QSpinBox::valueChanged, &dialog, showPage);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QObject::tr("&Width:"), width);
    form->addRow(QObject::tr("&Height:"), height);
    form->addRow(QObject::tr("&Resolution:"), dpi);
    form->addRow(raster ? QObject::tr("Printed at:") : QObject::tr("Page:"), page);
    form->addRow(caption);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.pixels = QSize(width->value(), height->value());
    options.dpi = dpi->value();
    options.caption = caption->isChecked();
    return true;
}

} // namespace duolink
