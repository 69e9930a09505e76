// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far a long run has come, in one line: rows done of all rows, the rate
// and the time left. The runner's progress line and the window's progress
// bar show the same text.
#include <cstddef>
#include <string>
#include <string_view>

namespace duolink {

// "rows 120 of 1280, 35.2 rows/s, 0:33 left" after `seconds`; `unit` names
// what is counted.
std::string progressText(std::size_t done, std::size_t total, double seconds, std::string_view unit = "rows");

} // namespace duolink
