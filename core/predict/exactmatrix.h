// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An exact copy of the whole W matrix, beside the two-digit matrix file: a
// CSV of A Len rows of B Len cells, each the stored fixed-point value in the
// shortest text that reads back as the same double, and FILE.json beside it
// with the shape and UNITY. Importing it gives the matrix bit for bit.
#include <string>
#include <string_view>

#include "core/engine/state.h"

namespace duolink {

struct ExactMatrix {
    int rows = 0; // A Len
    int cols = 0; // B Len
    std::vector<double> cells; // row by row
};

// The CSV text and the sidecar's text of `engine`'s matrix.
std::string exactMatrixCsv(const EngineState& engine);
std::string exactMatrixSidecar(const EngineState& engine);

// Parses an exported CSV: rows of equal length, every field a number, at
// most kMatrixCells cells. Raises RunError saying what is wrong and where.
ExactMatrix parseExactMatrix(std::string_view text);

// Writes `path` and `path`.json together through the atomic-write helper;
// on failure both stay as they were. Raises RunError.
void exportMatrixFile(const EngineState& engine, const std::string& path);

// Reads `path` and puts its cells and shape into `engine`'s matrix; on any
// failure nothing changes. Raises RunError.
void importMatrixFile(EngineState& engine, const std::string& path);

} // namespace duolink
