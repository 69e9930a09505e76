// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts of a job, made in memory as the runner's --patterns and --set
// would make its files: the two data files from a pattern list. Parameters
// texts are edited with editParameters (core/parameters/paramsfile.h).
#include <string>
#include <string_view>

#include "core/parameters/paramsfile.h"
#include "core/support/textfile.h"
#include "core/analysis/memtrain.h"
#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"

namespace duolink::analysis {

// adata200.dat (`bSide` false) or bdata200.dat for `list`: nine values a
// line, each right-aligned in 9 characters with 3 decimals, CR LF line ends,
// closed by a "9999" line. Byte for byte what a Solve writes. `known`, when
// given, gets what reading each value of the text gives (TextReader).
std::string jobDataText(const PatternPairs& list, bool bSide, KnownReads* known = nullptr);

// Both data texts of `list` into `job`, with what reading them gives.
void putDataTexts(JobTexts& job, const PatternPairs& list);

// `parameters` with A Len and B Len set for pairs of `shape`, as the
// runner's --patterns sets them; unchanged for 8 + 8.
std::string parametersForShape(const std::string& parameters, ListShape shape);

// A value of `given` (the --set values) for A Len or B Len that disagrees
// with pairs of `shape`, named by `source`: the message, or "" when none
// does (always for 8 + 8, whose lengths the parameters give).
std::string shapeLengthsClash(const ParametersEdit& given, ListShape shape, const std::string& source);

// The job texts of `list` on `settings`: its data texts, and for a list of
// another shape than 8 + 8 the parameters with its lengths. What the
// runner's --patterns writes for the list, byte for byte.
JobTexts shapedJob(const ShapedPairs& list, const JobTexts& settings);

// The .csv pattern-list text of `list`: the header, then each value in the
// shortest form that reads back as the same double.
std::string patternListCsv(const PatternPairs& list);

} // namespace duolink::analysis
