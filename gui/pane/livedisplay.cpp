// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/livedisplay.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>

#include <algorithm>

#include "pane/consolehandoff.h"
#include "pane/consoleview.h"
#include "form/fieldtext.h"

namespace duolink {

LiveDisplay::LiveDisplay(ConsoleView* pane, QLineEdit* r2Field, QProgressBar* bar)
    : pane_(*this, pane), r2_(*this, r2Field), bar_(*this, bar)
{
    bar_.state.minimum = bar->minimum();
    bar_.state.maximum = bar->maximum();
    bar_.state.position = std::clamp(bar->value(), bar->minimum(), bar->maximum());
}

void LiveDisplay::PaneSink::appendLine(std::string_view line)
{
    view->appendLine(line);
    owner.changed();
}

void LiveDisplay::FieldSink::setText(std::string_view text)
{
    showFieldText(edit, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    changed = true;
    owner.changed();
}

void LiveDisplay::BarSink::setMinimum(int value)
{
    state.setMinimum(value);
    owner.changed();
}

void LiveDisplay::BarSink::setMaximum(int value)
{
    state.setMaximum(value);
    owner.changed();
}

void LiveDisplay::BarSink::stepBy(int delta)
{
    state.stepBy(delta);
    owner.changed();
}

// QProgressBar repaints itself at once whenever a new value shows; keeping
// the state here and handing it over at the repaint moments keeps a fast run
// from painting the bar thousands of times.
bool LiveDisplay::BarSink::apply()
{
    const bool newRange = bar->minimum() != state.minimum || bar->maximum() != state.maximum;
    if (newRange)
        bar->setRange(state.minimum, state.maximum);
    if (bar->value() != state.position)
        bar->setValue(state.position);
    return newRange;
}

// Only what changed since the last repaint is painted again.
void LiveDisplay::changed()
{
    if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintIntervalMs)
        return;
    ConsoleView* view = pane_.view;
    const bool newLines = view->hasUnsyncedLines();
    view->syncView();
    if (newLines) {
        view->viewport()->repaint();
        view->verticalScrollBar()->repaint();
        view->horizontalScrollBar()->repaint();
    }
    if (r2_.changed) {
        r2_.changed = false;
        r2_.edit->repaint();
    }
    if (bar_.apply())
        bar_.bar->repaint();
    sinceRepaint_.start();
}

void LiveDisplay::flush()
{
    pane_.view->syncView();
    bar_.apply();
    r2_.changed = false;
    pane_.view->viewport()->update();
    r2_.edit->update();
    bar_.bar->update();
}

} // namespace duolink

namespace duolink {

void LiveDisplay::setRunning(bool running)
{
    pane_.view->setUnpackedAllowance(running ? kUnpackedDuringRun : 0);
}

void LiveDisplay::show(ConsoleBatch& batch)
{
    // Only what changed is painted again, all in one pass: the bar paints
    // at once when its new value shows (QProgressBar::setValue), together
    // with what waits for painting by then, so it goes last.
    ConsoleView* view = pane_.view;
    for (PanePiece& piece : batch.pieces)
        view->appendLines(std::move(piece.text), std::move(piece.lengths));
    batch.pieces.clear();
    const bool newLines = view->hasUnsyncedLines();
    view->syncView();
    if (newLines)
        view->viewport()->update();
    if (batch.r2) {
        const QString text = QString::fromLatin1(batch.r2->data(), static_cast<qsizetype>(batch.r2->size()));
        if (text != r2_.edit->text())
            showFieldText(r2_.edit, text);
    }
    r2_.changed = false;
    if (batch.progress) {
        bar_.state = *batch.progress;
        if (bar_.apply())
            bar_.bar->update();
    }
}

} // namespace duolink
