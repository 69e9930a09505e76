// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pattern sets a capacity run keeps: set t of n pairs as the pattern list
// n<n>-s<t>.csv in a folder the user names, written at the rate of the disk.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/analyses.h"
#include "core/support/fileclash.h"

namespace duolink::analysis {

// "n<n>-s<t>.csv"
std::string keptSetName(int n, int t);

// The clash of a kept set with another file of the run: one of `uses` (the
// output, the job files) lies in `folder` under the name of a set the run
// keeps, or is a link to one. The message, or nullopt when there is none.
std::optional<std::string> keptSetClash(const std::string& folder, const std::string& label,
                                        const CapacityOptions& options, const std::vector<FileUse>& uses);

// Writes the kept sets of one run. Each file goes to a temporary name in the
// folder and is renamed into place once complete, so that a crash leaves no
// half file under a kept name; a link that has the name is replaced, never
// followed. One sync of the folder's file system at the end makes them all
// durable, instead of one per file. write() may run on several threads.
class KeptSetWriter {
public:
    // Creates the folder where needed; raises RunError naming it.
    explicit KeptSetWriter(std::string folder);
    // Raises RunError naming the kept file.
    void write(int n, int t, std::string_view text) const;
    // Raises RunError naming the folder.
    void finish() const;

private:
    std::string folder_;
};

} // namespace duolink::analysis
