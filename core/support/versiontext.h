// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What --version prints, for the window and the runner alike: the program
// and its version, the copyright and the licence, as GNU programs print them.
#include <string>
#include <string_view>

namespace duolink {

// The licence the project is offered under, as SPDX names it.
inline constexpr std::string_view kLicenseSpdx = "GPL-3.0-or-later";
inline constexpr std::string_view kLicenseUrl = "https://www.gnu.org/licenses/gpl-3.0.html";
inline constexpr std::string_view kCopyright = "Copyright (C) 2026 The Duolink developers";

// "PROGRAM VERSION", then the copyright, licence and warranty lines, each
// ending in a newline.
std::string versionText(std::string_view program);

} // namespace duolink
