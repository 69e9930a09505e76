// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the program's windows open: on the screen, beside the main window
// when there is room, at the place and size they had last time.
#include <QRect>
#include <QSize>

class QWidget;

namespace duolink {

// A frame of `size` beside `owner`: to its right, else to its left (level
// with the owner's top where it can be), else below it, else above it, else
// wherever it lies wholly inside `available` (shrunk to it if larger).
QRect placeBeside(const QRect& owner, QSize size, const QRect& available);

// The main window's width on a first start: enough for a pane of
// `paneColumns` characters of `charWidth` pixels besides the rest of the
// designed window, at most 90 % of the screen's width, never less than the
// designed width.
int firstStartWidth(int designedWidth, int designedPaneWidth, int paneColumns, int charWidth, int availableWidth);

// Gives `window` the geometry saved under `key` (QSettings), or places it
// beside `owner` on the owner's screen; from then on its geometry is saved
// whenever it is hidden and when the program ends.
void placeAuxiliaryWindow(QWidget* window, QWidget* owner, const QString& key);

} // namespace duolink
