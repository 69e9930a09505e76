// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pattern list files: the .csv files that Open and Save Pattern List read and
// write, and the job data files that Solve writes, read back as a list.
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/patterns/patterns.h"

namespace duolink {

// The job data files Solve writes and the engine reads.
inline constexpr const char* kADataFileName = "adata200.dat";
inline constexpr const char* kBDataFileName = "bdata200.dat";

// A file that cannot be taken as a pattern list. The message names the file
// and, where there is one, the line and column of the first problem.
class PatternListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kPatternListHeader = "A1,A2,A3,A4,A5,A6,A7,A8,B1,B2,B3,B4,B5,B6,B7,B8";

// Reads the text of a .csv pattern list: one pair of sixteen values a line,
// separated by commas, semicolons or tabs (the first data line decides), an
// optional header line (a first line none of whose cells looks like a
// number), "#" comment lines and empty lines. `fileName` names
// the file in messages. The parity elements are computed. Raises
// PatternListError.
PatternPairs parsePatternList(std::string_view text, std::string_view fileName);

// Reads a job data file pair as Solve writes it: the first eight values of
// each line, up to the line that starts with 9999.
PatternPairs parseJobDataPair(std::string_view aText, std::string_view bText, std::string_view aName,
                             std::string_view bName);

// Reads the file at `path`: a .csv list, or a job data file with the B file
// "bdata200.dat" beside it (or, for "bdata200.dat" itself, the A file
// "adata200.dat"). Only regular files are read. `displayName` names the file
// in messages. Raises PatternListError.
PatternPairs readPatternListFile(const std::string& path, std::string_view displayName);

// The .csv text of store positions 1..patternCount: the header, then each
// value in the shortest form that reads back as the same double. Raises
// PatternListError for a value that could not be read back (an infinity).
std::string patternListText(const PatternList& list);

// Writes "adata200.dat" and "bdata200.dat" from the pattern list, each closed
// by a "9999" line, into `folder` (the current folder when empty), and notes
// the list as written. Raises RunError.
void writeJobFiles(PatternList& list, const std::filesystem::path& folder);

// The headless runner's --patterns: reads the pattern list `listFile`, of
// any shape, and writes the job files for it into `jobFolder` (the current
// folder when empty), as the window's Solve would. `acceptShape`, when
// given, is told the list's shape before anything is written; a message it
// returns refuses the list (BadList). Nothing is written for a bad list or
// one that holds no pairs. Messages name the file as `shownName` and the
// folder as `shownFolder` (the user's spelling of them).
enum class PatternJobOutcome { Written, BadList, WriteFailed };
struct ListShape;
PatternJobOutcome writePatternJob(const std::string& listFile, const std::string& shownName,
                                  const std::filesystem::path& jobFolder, const std::string& shownFolder,
                                  std::string& message,
                                  const std::function<std::string(const ListShape&)>& acceptShape = {});

} // namespace duolink
