// SPDX-License-Identifier: GPL-3.0-or-later
// The form's exact copy of the matrix: Export Matrix writes the whole
// matrix as CSV with its shape and UNITY beside it, Import Matrix reads it
// back bit for bit. Save and Load Matrix keep their two-digit files.
#include <QFile>

#include "common/dialogs.h"
#include "form/form2.h"
#include "controllers/runcontroller.h"
#include "common/savetarget.h"

namespace duolink {

namespace {
const QString kFilter = QStringLiteral("Exact matrix (*.csv);;All files (*)");
} // namespace

void TForm2::exportMatrix()
{
    if (!checkInstanceValid() || isRunning())
        return;
    const std::optional<QString> chosen = dialogs().saveFileName(this, kFilter, lastExportName_);
    if (!chosen || chosen->isEmpty())
        return;
    const QString name = withSuffix(*chosen, "csv");
    if (!mayReplace(this, dialogs(), name))
        return;
    lastExportName_ = name;
    presentOutcome(runs_->session().exportMatrix(QFile::encodeName(name).toStdString()), tr("Export Matrix"));
}

void TForm2::importMatrix()
{
    if (!checkInstanceValid() || isRunning())
        return;
    const std::optional<QString> name = dialogs().openFileName(this, kFilter, lastExportName_);
    if (!name || name->isEmpty())
        return;
    lastExportName_ = *name;
    presentOutcome(runs_->session().importMatrix(QFile::encodeName(*name).toStdString()), tr("Import Matrix"));
}

} // namespace duolink
