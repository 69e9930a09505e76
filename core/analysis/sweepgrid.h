// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid of a parameter sweep: one axis per `--sweep NAME=LIST`, where LIST
// is "a,b,c" or "start:stop:step". A range steps in exact decimal arithmetic,
// so 0.1:0.5:0.1 gives 0.1, 0.2, 0.3, 0.4 and 0.5 and nothing else.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace duolink::analysis {

class SweepAxisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SweepAxis {
    std::string name;                // as --set names the parameter
    int parameter = 0;               // its place in the parameters file
    std::vector<std::string> values; // texts as the parameters file gets them,
                                     // in ascending order, no value twice
};

// Parses "NAME=LIST". Raises SweepAxisError with a message for the user.
SweepAxis parseSweepAxis(std::string_view text);

// The cells of the grid, first axis outermost: cell c has the value
// cellValue(axes, c, k) on axis k.
size_t gridCellCount(const std::vector<SweepAxis>& axes);
const std::string& cellValue(const std::vector<SweepAxis>& axes, size_t cell, size_t axis);

// The largest grid a sweep takes.
inline constexpr size_t kMaxGridCells = 1000000;

// Why the grid cannot run (no cells, or more than kMaxGridCells), for the
// runner and the window alike to refuse it before anything starts; nullopt
// when it can.
std::optional<std::string> gridSizeError(const std::vector<SweepAxis>& axes);

} // namespace duolink::analysis
