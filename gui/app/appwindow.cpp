// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appwindow.h"

#include <algorithm>

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QFontMetrics>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QSettings>
#include <QStatusBar>

#include <utility>
#include <vector>

#include "pane/consoleview.h"
#include "form/fieldmarks.h"
#include "form/form2.h"
#include "app/formactions.h"
#include "controllers/listcontroller.h"
#include "controllers/runstatus.h"
#include "app/windowplacement.h"
#include "common/workingfolder.h"

namespace duolink {
namespace {

constexpr const char* kGeometryKey = "window/geometry";
// About the width of a row of the matrix in the pane.
constexpr int kFirstStartPaneColumns = 110;

} // namespace

AppWindow::AppWindow(QWidget* parent)
    : QMainWindow(parent), form_(new TForm2(this)), actions_(new FormActions(form_)), folderStatus_(new QLabel(this)), listStatus_(new QLabel(this)),
      fieldNote_(new QLabel(this))
{
    setCentralWidget(form_);
    buildMenus();
    updateTitle();
    connect(form_->lists(), &ListController::changed, this, &AppWindow::updateTitle);
    connect(form_->lists(), &ListController::documentChanged, this, &AppWindow::updateTitle);
    // Solve writes the list to the job files.
    connect(form_, &TForm2::runFinished, this, &AppWindow::updateTitle);

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
    new RunStatus(form_, form_->recorder(), statusBar());

    // Exit ends the event loop without closing the window.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppWindow::saveWindowState);

    resize(sizeHint());
    move(0, 0);
    form_->findChild<QLineEdit*>(QStringLiteral("Edit3"))->setFocus();
}

// The menus list the actions, in this order; nullptr stands for a separator.
void AppWindow::buildMenus()
{
    const FormActions* f = actions_;
    const std::pair<QString, std::vector<QAction*>> menus[] = {
        {tr("&File"),
         {f->openWorkingFolder, nullptr, f->openPatternList, f->savePatternList, f->savePatternListAs, nullptr,
          f->loadMatrix, f->saveMatrix, f->exportMatrix, f->importMatrix, nullptr, f->saveOutput, nullptr, f->exit}},
        {tr("&Edit"),
         {f->undo, f->redo, nullptr, f->copy, f->selectAll, nullptr, f->clearOutput}},
        {tr("&View"), {f->showPatternList, f->showTraining, f->showAnalysis}},
        {tr("&Run"), {f->solve, f->predict, f->testAllPairs, nullptr, f->stop, nullptr,
                      f->settings}},
        {tr("&List"),
         {f->addPair, f->updatePair, f->deletePair, nullptr, f->nextPair,
          f->previousPair, nullptr, f->resetList}},
        {tr("&Help"), {f->userManual, nullptr, f->about}},
    };
    for (const auto& [title, actions] : menus) {
        QMenu* menu = menuBar()->addMenu(title);
        // Save, Export and Import Matrix say how they differ.
        menu->setToolTipsVisible(std::find(actions.begin(), actions.end(), f->exportMatrix) != actions.end());
        for (QAction* action : actions) {
            if (action)
                menu->addAction(action);
            else
                menu->addSeparator();
        }
    }
    recentMenu_ = new QMenu(tr("Open &Recent"), this);
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    menuBar()->actions().constFirst()->menu()->insertMenu(f->savePatternList, recentMenu_);
    connect(recentMenu_, &QMenu::aboutToShow, this, &AppWindow::fillRecentMenu);
    fillRecentMenu();
}

void AppWindow::fillRecentMenu()
{
    recentMenu_->clear();
    const QStringList recent = ListController::recentPatternLists();
    for (qsizetype i = 0; i < recent.size(); ++i) {
        const QString& path = recent[i];
        QAction* open = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        open->setStatusTip(QDir::toNativeSeparators(path));
        open->setToolTip(open->statusTip());
        // A list moved or deleted since stays in view, greyed.
        open->setEnabled(QFileInfo(path).isFile());
        connect(open, &QAction::triggered, form_->lists(), [this, path] { form_->lists()->openPatternListFile(path); });
    }
    if (recent.isEmpty())
        recentMenu_->addAction(tr("No Recent Lists"))->setEnabled(false);
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("&Clear Menu"), this, [this] {
        ListController::clearRecentPatternLists();
        fillRecentMenu();
    });
    clear->setObjectName(QStringLiteral("clearRecentAction"));
    clear->setEnabled(!recent.isEmpty());
}

void AppWindow::updateTitle()
{
    const ListController* lists = form_->lists();
    QString name = lists->documentPath().isEmpty() ? tr("Untitled") : QFileInfo(lists->documentPath()).fileName();
    // "[*]" is the mark's place; a file name's own is doubled to stay as it is.
    name.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(QStringLiteral("%1 \u2014 %2[*]").arg(form_->windowTitle(), name));
    setWindowModified(lists->documentModified());
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
    if (restoreGeometry(settings.value(QLatin1String(kGeometryKey)).toByteArray()))
        return;
    // The first start: a pane wide enough for a matrix row, where the screen
    // has room for it.
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const ConsoleView* pane = form_->findChild<ConsoleView*>(QStringLiteral("Memo1"));
    const int charWidth = QFontMetrics(pane->font()).horizontalAdvance(QLatin1Char('0'));
    const int paneExtras = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * pane->frameWidth() + 8;
    resize(firstStartWidth(width(), pane->width() - paneExtras, kFirstStartPaneColumns, charWidth,
                           screen->availableGeometry().width()),
           height());
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
