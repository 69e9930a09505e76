#pragma once
// The texts of a job, made in memory as the runner's --patterns and --set
// would make its files: the two data files from a pattern list, and a
// parameters text with one value replaced.
#include <optional>
#include <string>
#include <string_view>

#include "core/patternlist.h"

namespace duolink::analysis {

// adata200.dat (`bSide` false) or bdata200.dat for `list`: nine values a
// line, each right-aligned in 9 characters with 3 decimals, CR LF line ends,
// closed by a "9999" line. Byte for byte what a Solve writes.
std::string jobDataText(const PatternList& list, bool bSide);

// The .csv pattern-list text of `list`: the header, then each value in the
// shortest form that reads back as the same double.
std::string patternListCsv(const PatternList& list);

// The run parameters as `--set` names them, in the file's order.
inline constexpr std::string_view kParameterNames[] = {"option", "max",      "alen",  "blen", "simulation",
                                                       "beta",   "limit",    "transfer", "unity", "tol"};
// The parameter's place (0..9), or nothing for an unknown name.
std::optional<int> parameterIndex(std::string_view name);
// Whether the parameter holds a whole number (the others hold reals).
bool isIntegerParameter(int index);
// Whether `value` is one token that the engine reads as that parameter.
bool isParameterValue(int index, std::string_view value);

// `parameters` with the value that the engine reads for parameter `index`
// replaced by `value`; the rest of every line stays as it is. A file that
// ends before that parameter gets the missing lines, the ones before it as 0.
std::string setParameter(std::string_view parameters, int index, std::string_view value);

} // namespace duolink::analysis
