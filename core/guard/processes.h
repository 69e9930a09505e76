#pragma once
// The running processes as the single-instance guard sees them: for each
// process the file name of its executable (the text after the last "/").
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace duolink {

// One snapshot of the running processes.
struct ProcessList {
    std::vector<std::string> names;   // executable file name of each process
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
};

// Reads a proc file system (normally /proc). Processes that end while the
// list is being read are left out.
class ProcFsSource : public ProcessSource {
public:
    explicit ProcFsSource(std::filesystem::path root = "/proc");
    std::string ownFileName() override;
    ProcessList processes() override;

private:
    std::filesystem::path root_;
};

// The running system's processes.
ProcessSource& systemProcesses();

// Executable file name of the process whose proc directory is `dir`;
// std::nullopt when the process is gone.
std::optional<std::string> procExeFileName(const std::filesystem::path& dir);

} // namespace duolink
