// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialog of Save Chart As: the figure's size in pixels, its resolution
// and whether the caption line is drawn.
#include "training/chartexport.h"

namespace duolink {

// Shows `options` for editing; true, with them changed, on OK. For a vector
// figure (`raster` false) the size and resolution give only the page's shape.
bool askFigureOptions(QWidget* parent, FigureOptions& options, bool raster);

} // namespace duolink
