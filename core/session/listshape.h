// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A list of another shape than 8 + 8 as the window holds it, and the lengths
// such a list trains with, which the window's Solve and the runner's
// --patterns both take from here.
#include <string>
#include <string_view>

#include "core/parameters/paramsfile.h"
#include "core/patterns/shapedlist.h"

namespace duolink {

// The window's list when its pairs are not of 8 + 8 values; while active()
// the fixed list stays as it was, out of use.
struct ShapedDocument {
    ShapedPairs pairs;   // shape 8 + 8 and no pairs: none is open
    int currentRow = 0;  // 1..size(), 0 when the list is empty
    ShapedPairs inFiles; // the pairs last read from or written to a file

    bool active() const { return !pairs.shape.fixed(); }
    int size() const { return static_cast<int>(pairs.size()); }
    // Whether the pairs differ from those last read or written; an empty
    // list is never counted as changed.
    bool changedSinceFiles() const;
    // Makes `list` the document, as read from a file.
    void open(ShapedPairs list);
    // Back to no list of another shape.
    void close() { *this = ShapedDocument{}; }
};

// Puts A Len and B Len of a list of `shape` into `edit`. A length `edit`
// already gives that disagrees is refused: the text says which and why, as
// `--set name=value` and naming the list as `listName` ("" when all agree).
// A list of 8 + 8 values leaves `edit` as it is.
std::string takeListLengths(ParametersEdit& edit, ListShape shape, std::string_view listName);

// The parameters file text `text` with the lengths of `shape` put in.
std::string parametersForShape(std::string_view text, ListShape shape);

} // namespace duolink
