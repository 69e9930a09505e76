#include "gui/mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

#include <utility>
#include <vector>

#include "gui/analysis/analysisjob.h"
#include "gui/analysis/analysiswindow.h"
#include "gui/fieldmarks.h"
#include "gui/form2.h"
#include "gui/workingfolder.h"

namespace duolink {
namespace {

constexpr const char* kGeometryKey = "window/geometry";

} // namespace

AppWindow::AppWindow(QWidget* parent)
    : QMainWindow(parent), form_(new TForm2(this)), folderStatus_(new QLabel(this)), listStatus_(new QLabel(this)),
      showAnalysisAction_(new QAction(tr("&Analysis"), this)), fieldNote_(new QLabel(this))
{
    showAnalysisAction_->setObjectName(QStringLiteral("showAnalysisAction"));
    showAnalysisAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    showAnalysisAction_->setStatusTip(tr("Capacity and parameter sweeps, trained in memory"));
    connect(showAnalysisAction_, &QAction::triggered, this, [this] {
        AnalysisWindow* w = analysisWindow();
        w->show();
        w->raise();
        w->activateWindow();
    });
    setCentralWidget(form_);
    setWindowTitle(form_->windowTitle());
    buildMenus();

    // Left, stretched: a passing message covers it for a while.
    folderStatus_->setObjectName(QStringLiteral("folderStatus"));
    // "parameters file missing" is a link that opens the settings.
    folderStatus_->setTextFormat(Qt::RichText);
    connect(folderStatus_, &QLabel::linkActivated, form_, &TForm2::showSettings);
    statusBar()->addWidget(folderStatus_, 1);
    // Right: a note while a data field is not read whole, then the position.
    fieldNote_->setObjectName(QStringLiteral("fieldNote"));
    fieldNote_->setVisible(false);
    fieldNote_->setContentsMargins(0, 0, 12, 0);
    // A long note is cut rather than widen the window; its tooltip has it whole.
    fieldNote_->setMinimumWidth(1);
    statusBar()->addPermanentWidget(fieldNote_);
    connect(form_->fieldMarks(), &FieldMarks::noteChanged, this, [this](const QString& note) {
        fieldNote_->setText(note);
        fieldNote_->setToolTip(note);
        fieldNote_->setVisible(!note.isEmpty());
    });
    listStatus_->setObjectName(QStringLiteral("listStatus"));
    statusBar()->addPermanentWidget(listStatus_);
    connect(form_, &TForm2::statusMessage, this, &AppWindow::showStatus);
    connect(form_, &TForm2::workingFolderChanged, this, &AppWindow::updateFolderStatus);
    updateFolderStatus();
    form_->showListPosition();

    // Exit ends the event loop without closing the window.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppWindow::saveWindowState);

    resize(sizeHint());
    move(0, 0);
    form_->Edit3->setFocus();
}

// The menus only list the form's actions, in this order; nullptr stands for
// a separator.
void AppWindow::buildMenus()
{
    const TForm2* f = form_;
    const std::pair<QString, std::vector<QAction*>> menus[] = {
        {tr("&File"),
         {f->openWorkingFolderAction, nullptr, f->openPatternListAction, f->savePatternListAction, nullptr,
          f->loadMatrixAction, f->saveMatrixAction, nullptr, f->saveOutputAction, nullptr, f->exitAction}},
        {tr("&Edit"), {f->copyAction, f->selectAllAction, nullptr, f->clearOutputAction}},
        {tr("&View"), {f->showPatternListAction, f->showTrainingAction, showAnalysisAction_}},
        {tr("&Run"), {f->solveAction, f->predictAction, nullptr, f->stopAction, nullptr, f->settingsAction}},
        {tr("&List"),
         {f->addPairAction, f->updatePairAction, f->deletePairAction, nullptr, f->nextPairAction,
          f->previousPairAction, nullptr, f->resetListAction}},
        {tr("&Help"), {f->aboutAction}},
    };
    for (const auto& [title, actions] : menus) {
        QMenu* menu = menuBar()->addMenu(title);
        for (QAction* action : actions) {
            if (action)
                menu->addAction(action);
            else
                menu->addSeparator();
        }
    }
}

AnalysisWindow* AppWindow::analysisWindow()
{
    if (!analysisWindow_) {
        analysisWindow_ = new AnalysisWindow(this);
        TForm2* f = form_;
        analysisWindow_->setSource({[f] { return f->workingFolder(); }, [f] { return f->patternList().pairs(); }});
    }
    return analysisWindow_;
}

void AppWindow::showStatus(const QString& text, int timeoutMs)
{
    if (timeoutMs > 0) {
        statusBar()->showMessage(text, timeoutMs);
    } else {
        statusBar()->clearMessage();
        listStatus_->setText(text);
    }
}

void AppWindow::updateFolderStatus()
{
    folderStatus_->setText(workingFolderStatus(form_->workingFolder()));
}

void AppWindow::restoreWindowState()
{
    const QSettings settings;
    restoreGeometry(settings.value(QLatin1String(kGeometryKey)).toByteArray());
}

void AppWindow::saveWindowState() const
{
    QSettings settings;
    settings.setValue(QLatin1String(kGeometryKey), saveGeometry());
}

void AppWindow::closeEvent(QCloseEvent* event)
{
    // During a run the form asks first, and closes the window itself once
    // the stopped run has ended.
    if (!form_->confirmClose()) {
        event->ignore();
        return;
    }
    saveWindowState();
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace duolink
