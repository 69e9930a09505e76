#pragma once
// The texts of a job, made in memory as the runner's --patterns and --set
// would make its files: the two data files from a pattern list. Parameters
// texts are edited with editParameters (core/parameters/paramsfile.h).
#include <string>
#include <string_view>

#include "core/patterns/patternlist.h"

namespace duolink::analysis {

// adata200.dat (`bSide` false) or bdata200.dat for `list`: nine values a
// line, each right-aligned in 9 characters with 3 decimals, CR LF line ends,
// closed by a "9999" line. Byte for byte what a Solve writes.
std::string jobDataText(const PatternPairs& list, bool bSide);

// The .csv pattern-list text of `list`: the header, then each value in the
// shortest form that reads back as the same double.
std::string patternListCsv(const PatternPairs& list);

} // namespace duolink::analysis
