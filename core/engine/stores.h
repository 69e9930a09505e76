// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's matrix and vector stores.
#include <array>

namespace duolink {

constexpr int kMatrixCells = 2700;
constexpr int kVectorSize = 128;

// 1-based stores: element 0 is unused.
using Matrix = std::array<double, kMatrixCells + 1>;
using Vector = std::array<double, kVectorSize + 1>;

} // namespace duolink
