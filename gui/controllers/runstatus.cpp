// SPDX-License-Identifier: GPL-3.0-or-later
#include "controllers/runstatus.h"

#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

#include "core/stats/recorder.h"
#include "form/form2.h"

namespace duolink {

QString runStatusText(const TrainingData& data)
{
    if (!data.start || data.end)
        return {};
    const std::size_t n = std::max<std::size_t>(1, data.size() + data.notKept);
    return QObject::tr("Training: presentation %1 of %2").arg(n).arg(std::max(0, data.start->maxPresentations));
}

RunStatus::RunStatus(TForm2* form, const TrainingRecorder& recorder, QStatusBar* bar)
    : QObject(form), form_(form), recorder_(recorder), bar_(bar), timer_(new QTimer(this))
{
    timer_->setInterval(kIntervalMs);
    connect(timer_, &QTimer::timeout, this, &RunStatus::update);
    connect(form, &TForm2::runStarted, this, &RunStatus::started);
    connect(form, &TForm2::runFinished, this, &RunStatus::finished);
}

void RunStatus::started()
{
    focus_ = form_->focusWidget();
    for (QPushButton* button : form_->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        if (button->isEnabled()) {
            button->setEnabled(false);
            greyed_.append(button);
        }
    }
    update();
    timer_->start();
}

void RunStatus::finished()
{
    timer_->stop();
    bar_->clearMessage();
    for (const QPointer<QPushButton>& button : std::as_const(greyed_))
        if (button)
            button->setEnabled(true);
    greyed_.clear();
    if (focus_ && form_->isActiveWindow())
        focus_->setFocus();
}

void RunStatus::update()
{
    QString text;
    recorder_.read([&](const TrainingData& data) { text = runStatusText(data); });
    if (!text.isEmpty() && text != bar_->currentMessage())
        bar_->showMessage(text);
}

} // namespace duolink
