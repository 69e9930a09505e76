// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of a job, made in memory as the runner's --patterns and --set
// would make its files: the two data files from a pattern list. Parameters
// texts are edited with editParameters (core/parameters/paramsfile.h).
#include <string>
#include <string_view>

#include "core/support/textfile.h"
#include "core/analysis/memtrain.h"
#include "core/patterns/patternlist.h"

namespace duolink::analysis {

// adata200.dat (`bSide` false) or bdata200.dat for `list`: nine values a
// line, each right-aligned in 9 characters with 3 decimals, CR LF line ends,
// closed by a "9999" line. Byte for byte what a Solve writes. `known`, when
// given, gets what reading each value of the text gives (TextReader).
std::string jobDataText(const PatternPairs& list, bool bSide, KnownReads* known = nullptr);

// Both data texts of `list` into `job`, with what reading them gives.
void putDataTexts(JobTexts& job, const PatternPairs& list);

// The .csv pattern-list text of `list`: the header, then each value in the
// shortest form that reads back as the same double.
std::string patternListCsv(const PatternPairs& list);

} // namespace duolink::analysis
