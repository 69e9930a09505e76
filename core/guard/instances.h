// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Counting the running copies of this program, with the log the instance
// window keeps.
#include <string>

namespace duolink {

class ProcessSource;

// Receives what a count reports, in order.
class InstanceLog {
public:
    virtual ~InstanceLog() = default;
    // One log line.
    virtual void line(const std::string& text) = 0;
    // A message box.
    virtual void message(const std::string& text) = 0;
    // Called right after the line of each entry that carries the own name;
    // `entriesBefore` is the number of entries walked before it.
    virtual void matchFound(int entriesBefore) { (void)entriesBefore; }
};

struct InstanceCount {
    int processes = 0;   // entries walked
    int matches = 0;     // entries whose name equals the own file name
    int olderCopies = 0; // matches that started before this program, or may have
    // Only the copy that started last gives way: an older one goes on
    // working while a newer one runs.
    bool valid() const { return matches <= 1 || olderCopies == 0; }
};

// Lists the processes of `source` into `log` and counts those whose
// executable file name equals the program's own, letter case significant,
// and those of them that started before this program (all but itself when
// the start times are not known).
// A failed listing is shown as a message and counts nothing.
InstanceCount countInstances(ProcessSource& source, InstanceLog& log);

} // namespace duolink
