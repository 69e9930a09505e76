// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysiswindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "core/analysis/jobtexts.h"
#include "core/support/numgrammar.h"
#include "analysis/analysisrun.h"
#include "common/dialogs.h"
#include "common/errortext.h"
#include "analysis/noisetab.h"
#include "analysis/recalltab.h"
#include "common/savetarget.h"

namespace duolink {

// --- AnalysisTab ------------------------------------------------------------------------

AnalysisTab::AnalysisTab(AnalysisWindow& window) : window_(window), run_(new AnalysisRun(this)) {}

std::shared_ptr<const AnalysisInput> AnalysisTab::takeInput()
{
    QString why;
    std::shared_ptr<const AnalysisInput> input = window_.input(why);
    if (!input)
        run_->setStatus(why);
    return input;
}

Dialogs& AnalysisTab::dialogs() const
{
    return window_.dialogs();
}

void AnalysisTab::saveTextAs(const QString& filter, const char* suffix, QString& lastName, const std::string& text)
{
    saveStreamAs(filter, suffix, lastName,
                 [&text](const std::function<bool(std::string_view)>& write) { return write(text); });
}

void AnalysisTab::saveTextAs(const QString& filter, const char* suffix, QString& lastName, const std::string& text,
                             const ProvenanceSource& provenance)
{
    saveStreamAs(
        filter, suffix, lastName,
        [&text](const std::function<bool(std::string_view)>& write) { return write(text); }, provenance);
}

void AnalysisTab::saveStreamAs(const QString& filter, const char* suffix, QString& lastName, const Writer& write,
                               const ProvenanceSource& provenance)
{
    const std::optional<QString> name = dialogs().saveFileName(this, filter, lastName);
    if (!name || name->isEmpty())
        return;
    lastName = withSuffix(*name, suffix);
    if (!mayReplace(this, dialogs(), lastName))
        return;
    if (const QString reason = replaceFileWith(lastName, write); !reason.isEmpty()) {
        dialogs().errorBox(this, fileErrorText(lastName, tr("not saved"), reason));
        return;
    }
    if (!provenance)
        return;
    const QString sidecar = lastName + QStringLiteral(".json");
    if (const QString reason = replaceFileWith(sidecar, analysis::provenanceJson(provenance())); !reason.isEmpty())
        dialogs().errorBox(this, fileErrorText(sidecar, tr("not saved"), reason));
}

analysis::Provenance AnalysisTab::runProvenance() const
{
    analysis::Provenance p;
    p.command = {"duolink", (tr("Analysis window") + QStringLiteral(": ") + title() + QStringLiteral(": ") +
                             tr("Save as CSV")).toStdString()};
    p.started = run_->startedAt();
    p.ended = run_->endedAt();
    return p;
}

analysis::Provenance AnalysisTab::tableProvenance(const char* step, const AnalysisInput& input) const
{
    analysis::Provenance p = runProvenance();
    p.step = step;
    p.folder = input.folder;
    p.request.settings.parameters = input.parameters;
    // The list as the window held it, in the form Save List writes.
    p.list = tr("the window's list").toStdString();
    p.listSha256 = analysis::sha256Hex(shapedListText(input.shaped));
    return p;
}

// --- AnalysisWindow -----------------------------------------------------------------------

AnalysisWindow::AnalysisWindow(InputSource source, std::function<Dialogs&()> dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)), dialogs_(std::move(dialogs)),
      tabs_(new QTabWidget), tolField_(new QLineEdit), tolSource_(new QLabel), tolBar_(new QWidget)
{
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(tr("Analysis"));
    resize(1480, 600);

    tolField_->setObjectName(QStringLiteral("tolField"));
    tolField_->setMaximumWidth(100);
    tolField_->setToolTip(tr("Recalled values further than TOL from the expected ones count as wrong. "
                             "Each Solve sets it to the TOL it read."));
    tolField_->setPlaceholderText(tr("such as 0.1"));
    tolSource_->setObjectName(QStringLiteral("tolSource"));
    auto* tolLabel = new QLabel(tr("&TOL for Recall and Noise:"));
    tolLabel->setBuddy(tolField_);
    connect(tolField_, &QLineEdit::editingFinished, this, &AnalysisWindow::tolEdited);

    tolBar_->setObjectName(QStringLiteral("tolBar"));
    auto* top = new QHBoxLayout(tolBar_);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(tolLabel);
    top->addWidget(tolField_);
    top->addWidget(tolSource_);
    top->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tolBar_);
    layout->addWidget(tabs_, 1);
    // Capacity and Sweep show the TOL of their own runs.
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        auto* tab = qobject_cast<AnalysisTab*>(tabs_->currentWidget());
        tolBar_->setVisible(!tab || tab->usesWindowTol());
    });

    recallTab_ = new RecallTab(*this);
    addTab(recallTab_);
    noiseTab_ = new NoiseTab(*this);
    addTab(noiseTab_);
}

AnalysisWindow::~AnalysisWindow()
{
    // The runs end before the tabs that hold their results go, and their
    // ending is no news to an owner that may be going itself.
    disconnect(this, &AnalysisWindow::runningChanged, nullptr, nullptr);
    stopAll();
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* tab = qobject_cast<AnalysisTab*>(tabs_->widget(i)))
            tab->analysisRun()->wait();
    // Closing the window moves the focus out of the TOL field, which must not
    // reach this half-destroyed window.
    tolField_->disconnect(this);
}

void AnalysisWindow::addTab(AnalysisTab* tab)
{
    tabs_->addTab(tab, tab->title());
    connect(tab->analysisRun(), &AnalysisRun::started, this, &AnalysisWindow::runningChanged);
    connect(tab->analysisRun(), &AnalysisRun::finished, this, &AnalysisWindow::runningChanged);
}

bool AnalysisWindow::isRunning() const
{
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* tab = qobject_cast<AnalysisTab*>(tabs_->widget(i)); tab && tab->analysisRun()->isRunning())
            return true;
    return false;
}

void AnalysisWindow::testAllPairs()
{
    tabs_->setCurrentWidget(recallTab_);
    recallTab_->run();
}

void AnalysisWindow::setTol(double tol, const QString& source)
{
    std::string text;
    appendShortest(text, tol);
    tolField_->setText(QString::fromStdString(text));
    tolSource_->setText(source);
    lastTolText_ = tolField_->text();
}

void AnalysisWindow::matrixChanged(double solveTol)
{
    setTol(solveTol, tr("from the last Solve"));
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* tab = qobject_cast<AnalysisTab*>(tabs_->widget(i)); tab && tab->hasResults())
            tab->run();
}

void AnalysisWindow::stopAll()
{
    for (int i = 0; i < tabs_->count(); ++i)
        if (auto* tab = qobject_cast<AnalysisTab*>(tabs_->widget(i)))
            tab->analysisRun()->stop();
}

void AnalysisWindow::tolEdited()
{
    if (tolField_->text() == lastTolText_)
        return;
    lastTolText_ = tolField_->text();
    tolSource_->setText(tr("typed here"));
    if (auto* tab = qobject_cast<AnalysisTab*>(tabs_->currentWidget()); tab && tab->hasResults())
        tab->run();
}

std::shared_ptr<const AnalysisInput> AnalysisWindow::input(QString& why) const
{
    // No matrix outweighs a TOL still to be given.
    std::optional<AnalysisInput> input = source_(why);
    if (!input)
        return nullptr;
    double tol = 0;
    const std::string text = tolField_->text().trimmed().toStdString();
    if (!parseRealToken(text, tol) || !std::isfinite(tol) || tol < 0) {
        why = tr("TOL must be a number of 0 or more, such as 0.1.");
        return nullptr;
    }
    input->tol = tol;
    return std::make_shared<const AnalysisInput>(std::move(*input));
}

} // namespace duolink
