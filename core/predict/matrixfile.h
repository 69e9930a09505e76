// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Matrix files: the 9 x 8 block of the W matrix as nine lines of eight
// two-digit numbers.
#include <string>

#include "core/engine/state.h"

namespace duolink {

// Writes the block to `path`. The file is replaced only when the whole new
// content is written; on failure the old file is untouched. Raises RunError.
void saveMatrixFile(EngineState& engine, const std::string& path);

// Reads the 72 values of `path`, then stores them into the block and lists
// it in the pane with printMatrixRows(wMatrix, 9, 8). On failure nothing
// changes and nothing is printed. Raises RunError.
void loadMatrixFile(EngineState& engine, const std::string& path);

// The cells as rows of `cols` fields of 9 characters and 3 decimals, raw.
void printMatrixRows(EngineState& engine, const Matrix& m, int rows, int cols);

} // namespace duolink
