// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running processes as the single-instance guard sees them: for each
// process the file name of its executable (the text after the last "/").
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace duolink {

// When a process started: its id and its start time in clock ticks after
// boot, which orders the processes by age.
struct ProcessStart {
    long pid = 0;
    unsigned long long ticks = 0;
    bool known = false;
    // Whether this process started before `other` (the lower id first when
    // both started within one tick).
    bool before(const ProcessStart& other) const
    {
        return ticks != other.ticks ? ticks < other.ticks : pid < other.pid;
    }
};

// One snapshot of the running processes.
struct ProcessList {
    std::vector<std::string> names;   // executable file name of each process
    std::vector<ProcessStart> starts; // per process, where known (may be empty);
                                      // the system's list reads those of the
                                      // processes named as this program
    std::optional<std::string> error; // the system's text when listing failed
};

// Where the guard gets its own name and the process list from. The program
// uses the system's list; tests supply their own.
class ProcessSource {
public:
    virtual ~ProcessSource() = default;
    // File name of this program's own executable.
    virtual std::string ownFileName() = 0;
    virtual ProcessList processes() = 0;
    // When this program started; unknown unless the source can tell.
    virtual ProcessStart ownStart() { return {}; }
};

// Reads a proc file system (normally /proc). Processes that end while the
// list is being read are left out.
class ProcFsSource : public ProcessSource {
public:
    explicit ProcFsSource(std::filesystem::path root = "/proc");
    std::string ownFileName() override;
    ProcessList processes() override;
    ProcessStart ownStart() override;

private:
    std::filesystem::path root_;
};

// The running system's processes.
ProcessSource& systemProcesses();

// Executable file name of the process whose proc directory is `dir`;
// std::nullopt when the process is gone.
std::optional<std::string> procExeFileName(const std::filesystem::path& dir);
// Id and start time of the process whose proc directory is `dir`, from its
// "stat" file; not known when the process is gone.
ProcessStart procStart(const std::filesystem::path& dir);

} // namespace duolink
