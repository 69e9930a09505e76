#include "gui/analysis/analysiswindow.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "gui/analysis/capacitytab.h"
#include "gui/analysis/sweeptab.h"

namespace duolink {

AnalysisWindow::AnalysisWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), tabs_(new QTabWidget(this)), capacity_(new CapacityTab), sweep_(new SweepTab)
{
    setObjectName(QStringLiteral("analysisWindow"));
    setWindowTitle(tr("Analysis"));
    tabs_->setObjectName(QStringLiteral("analysisTabs"));
    addTab(capacity_, tr("Capacity"));
    addTab(sweep_, tr("Sweep"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    resize(760, 620);
}

void AnalysisWindow::addTab(QWidget* tab, const QString& title)
{
    tabs_->addTab(tab, title);
}

void AnalysisWindow::setSource(const AnalysisSource& source)
{
    capacity_->setSource(source);
    sweep_->setSource(source);
}

} // namespace duolink
