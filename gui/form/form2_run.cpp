// SPDX-License-Identifier: GPL-3.0-or-later
// The form during a Solve: the actions it disables, the input it drops,
// and closing it while the training runs.
#include <QAction>
#include <QApplication>
#include <QEvent>

#include <utility>

#include "common/dialogs.h"
#include "form/form2.h"
#include "controllers/listcontroller.h"
#include "controllers/runcontroller.h"

namespace duolink {
namespace {

constexpr const char* kStopAndExitQuestion = "A training is running. Stop it and exit?";

} // namespace

// --- Run state ------------------------------------------------------------------------

void TForm2::setRunning(bool running)
{
    lists_->setLocked(running);
    if (running) {
        for (QAction* action : actions()) {
            if (action != stopAction_ && action != showTrainingAction_ && action->isEnabled()) {
                action->setEnabled(false);
                disabledForRun_.append(action);
            }
        }
        qApp->installEventFilter(this);
    } else {
        qApp->removeEventFilter(this);
        for (const QPointer<QAction>& action : std::as_const(disabledForRun_))
            if (action)
                action->setEnabled(true);
        disabledForRun_.clear();
    }
    updateStopAction();
    if (running)
        emit runStarted();
    else
        emit runFinished();
}

// During a run, input to the window's controls is dropped as it arrives, as
// the window ignored it before runs left its thread; its look stays as it is.
// Key presses still reach the shortcuts, so Esc stops the run.
bool TForm2::dropsInputDuringRun(QObject* watched, QEvent* event)
{
    if (!isRunning() || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget))
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        event->ignore();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool TForm2::confirmClose()
{
    if (!isRunning())
        return lists_->confirmDiscardList();
    if (!dialogs().question(this, QString::fromLatin1(kStopAndExitQuestion)))
        return false;
    runs_->requestStop();
    closeAfterRun_ = true;
    return false;
}

} // namespace duolink
