// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/guard/processes.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace duolink {

namespace fs = std::filesystem;

namespace {

// The kernel keeps at most this many characters of a process name in
// "comm" (16 bytes with the terminating NUL); longer names are cut.
constexpr std::size_t kCommLength = 15;

// Appended by the kernel to the link of an executable that was deleted or
// replaced while the process runs.
constexpr std::string_view kDeleted = " (deleted)";

std::string baseName(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<std::string> readWhole(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return text;
}

bool isProcessId(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<std::string> procExeFileName(const fs::path& dir)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "exe", ec);
    if (!ec) {
        std::string_view text = target.native();
        if (text.ends_with(kDeleted))
            text.remove_suffix(kDeleted.size());
        return baseName(text);
    }

    // The link cannot be read for other users' processes, kernel threads and
    // zombies. Their name in "comm" is right unless the kernel cut it at 15
    // characters; then the first argument of the command line is used when
    // its file name's first word begins with the cut name (a process may have
    // rewritten its arguments, so anything else falls back to comm).
    std::optional<std::string> comm = readWhole(dir / "comm");
    if (!comm)
        return std::nullopt; // the process has gone
    if (!comm->empty() && comm->back() == '\n')
        comm->pop_back();
    if (comm->size() == kCommLength) {
        if (const std::optional<std::string> cmdline = readWhole(dir / "cmdline")) {
            const std::string arg0 = cmdline->substr(0, cmdline->find('\0'));
            std::string word = baseName(arg0);
            word = word.substr(0, word.find(' '));
            if (word.starts_with(*comm))
                return word;
        }
    }
    return comm;
}

ProcessStart procStart(const fs::path& dir)
{
    ProcessStart start;
    const std::optional<std::string> stat = readWhole(dir / "stat");
    // "pid (comm) state ppid ...": the name may hold blanks and parentheses,
    // so the fields are counted from the last ')'; the start time is field 22.
    const size_t close = stat ? stat->rfind(')') : std::string::npos;
    if (close == std::string::npos)
        return start;
    std::istringstream fields(stat->substr(close + 1));
    std::string field;
    for (int k = 3; k < 22 && fields >> field; ++k) {
    }
    unsigned long long ticks = 0;
    long pid = 0;
    if (!(fields >> ticks) || !(std::istringstream(stat->substr(0, stat->find(' '))) >> pid))
        return start;
    return {pid, ticks, true};
}

ProcFsSource::ProcFsSource(fs::path root) : root_(std::move(root)) {}

std::string ProcFsSource::ownFileName()
{
    return procExeFileName(root_ / "self").value_or(std::string());
}

ProcessStart ProcFsSource::ownStart()
{
    return procStart(root_ / "self");
}

ProcessList ProcFsSource::processes()
{
    ProcessList list;
    // Only copies of this program are ordered by age: the others' start is
    // not read, which halves the files read per process.
    const std::string own = ownFileName();
    std::error_code ec;
    fs::directory_iterator it(root_, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& dir = it->path();
        if (!isProcessId(dir.filename().native()))
            continue;
        if (std::optional<std::string> name = procExeFileName(dir)) {
            list.starts.push_back(*name == own ? procStart(dir) : ProcessStart{});
            list.names.push_back(std::move(*name));
        }
    }
    if (ec) {
        list.names.clear();
        list.starts.clear();
        list.error = ec.message();
    }
    return list;
}

ProcessSource& systemProcesses()
{
    static ProcFsSource source;
    return source;
}

} // namespace duolink
