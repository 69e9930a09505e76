#include "gui/mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

#include "gui/form2.h"
#include "gui/workingfolder.h"

namespace duolink {
namespace {

constexpr const char* kGeometryKey = "window/geometry";

} // namespace

AppWindow::AppWindow(QWidget* parent)
    : QMainWindow(parent), form_(new TForm2(this)), folderStatus_(new QLabel(this))
{
    setCentralWidget(form_);
    setWindowTitle(form_->windowTitle());
    buildMenus();

    // Left, stretched: a passing message covers it for a while.
    folderStatus_->setObjectName(QStringLiteral("folderStatus"));
    statusBar()->addWidget(folderStatus_, 1);
    connect(form_, &TForm2::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(form_, &TForm2::workingFolderChanged, this, &AppWindow::updateFolderStatus);
    updateFolderStatus();

    // Exit ends the event loop without closing the window.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppWindow::saveWindowState);

    resize(sizeHint());
    move(0, 0);
    form_->Edit3->setFocus();
}

// Menus list the form's actions; the commands are created there.
void AppWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(form_->openWorkingFolderAction);
    file->addSeparator();
    file->addAction(form_->loadMatrixAction);
    file->addAction(form_->saveMatrixAction);
    file->addSeparator();
    file->addAction(form_->saveOutputAction);
    file->addSeparator();
    file->addAction(form_->exitAction);

    QMenu* run = menuBar()->addMenu(tr("&Run"));
    run->addAction(form_->solveAction);
    run->addAction(form_->predictAction);

    QMenu* list = menuBar()->addMenu(tr("&List"));
    list->addAction(form_->addPairAction);
    list->addAction(form_->updatePairAction);
    list->addAction(form_->deletePairAction);
    list->addSeparator();
    list->addAction(form_->nextPairAction);
    list->addAction(form_->previousPairAction);
    list->addSeparator();
    list->addAction(form_->resetListAction);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(form_->aboutAction);
}

void AppWindow::updateFolderStatus()
{
    folderStatus_->setText(workingFolderStatus());
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
    saveWindowState();
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace duolink
