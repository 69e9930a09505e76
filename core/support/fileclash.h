// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The check that no file a run writes is one it reads or writes in
// another role, compared as files (through links and other spellings).
#include <string>
#include <vector>

namespace duolink {

struct FileUse {
    std::string path;  // as the runner opens it
    std::string label; // how a message names it: "--stats s.csv", "the job's report"
    bool written = false;
    bool option = false; // named by the user on the command line
    bool matrix = false; // a --load-matrix or --save-matrix step
};

// The first clash: a written file that is also another use's file. Uses of
// one label are one role (the job files that --patterns writes and Solve
// reads); matrix steps run one after the other and each reads or writes its
// file whole, so they may share one. Returns the message, or "" for none.
std::string findFileClash(const std::vector<FileUse>& uses);

} // namespace duolink
