// SPDX-License-Identifier: GPL-3.0-or-later
// The write floor of a run: the time its writes alone take.
//   write_floor plan TRACE PLAN    turns a system call trace of a run
//                                  (strace -y -e trace=write) into a plan
//   write_floor replay PLAN DIR    makes the same writes of the same sizes,
//                                  in the same order, into files in DIR and
//                                  to its own standard output and error
// A run's files are opened as the program opens them (created or emptied,
// once each, before their first write); the bytes written are blanks.
// run-benchmarks times the replay as it times the runner, so that the ratio
// of the two is what the run spends beyond its writes.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The plan: a line "files N", N file names, then a line "writes M" and M
// pairs of 32-bit numbers (target, size) in the machine's byte order. Target
// 0, 1 and 2 are the standard streams, 3 + i the i-th named file.
struct Plan {
    std::vector<std::string> files;
    std::vector<uint32_t> steps; // target, size, target, size, ...
};

// Reads "write(FD<PATH>, ..., N) = WRITTEN" lines; other lines are skipped.
bool parseTrace(const char* traceName, Plan& plan)
{
    std::ifstream trace(traceName);
    if (!trace)
        return false;
    std::map<std::string, uint32_t> targets;
    std::string line;
    while (std::getline(trace, line)) {
        // strace -f puts the thread's id first.
        const size_t call = line.find("write(");
        if (call == std::string::npos || (call > 0 && line[call - 1] != ' '))
            continue;
        const size_t result = line.rfind(") = ");
        if (result == std::string::npos)
            continue;
        const long long written = std::atoll(line.c_str() + result + 4);
        if (written <= 0)
            continue;
        const size_t fdStart = call + 6;
        const int fd = std::atoi(line.c_str() + fdStart);
        uint32_t target = 0;
        if (fd <= 2) {
            target = static_cast<uint32_t>(fd);
        } else {
            const size_t open = line.find('<', fdStart);
            const size_t close = line.find(">,", fdStart);
            if (open == std::string::npos || close == std::string::npos || close < open)
                continue;
            std::string path = line.substr(open + 1, close - open - 1);
            path = path.substr(path.find_last_of('/') + 1);
            auto [it, added] = targets.emplace(path, static_cast<uint32_t>(3 + plan.files.size()));
            if (added)
                plan.files.push_back(path);
            target = it->second;
        }
        plan.steps.push_back(target);
        plan.steps.push_back(static_cast<uint32_t>(written));
    }
    return !plan.steps.empty();
}

bool savePlan(const char* name, const Plan& plan)
{
    std::ofstream out(name, std::ios::binary);
    out << "files " << plan.files.size() << '\n';
    for (const std::string& f : plan.files)
        out << f << '\n';
    out << "writes " << plan.steps.size() / 2 << '\n';
    out.write(reinterpret_cast<const char*>(plan.steps.data()),
              static_cast<std::streamsize>(plan.steps.size() * sizeof(uint32_t)));
    return static_cast<bool>(out);
}

bool loadPlan(const char* name, Plan& plan)
{
    std::ifstream in(name, std::ios::binary);
    std::string word;
    size_t count = 0;
    if (!(in >> word >> count) || word != "files")
        return false;
    in.ignore(1, '\n');
    plan.files.resize(count);
    for (std::string& f : plan.files)
        if (!std::getline(in, f) || f.empty() || f.find('/') != std::string::npos)
            return false;
    if (!(in >> word >> count) || word != "writes")
        return false;
    in.ignore(1, '\n');
    plan.steps.resize(count * 2);
    in.read(reinterpret_cast<char*>(plan.steps.data()), static_cast<std::streamsize>(count * 2 * sizeof(uint32_t)));
    return static_cast<bool>(in);
}

int replay(const Plan& plan, const std::string& dir)
{
    uint32_t largest = 0;
    for (size_t i = 1; i < plan.steps.size(); i += 2)
        largest = std::max(largest, plan.steps[i]);
    const std::vector<char> blanks(largest, ' ');
    std::vector<int> fds = {0, 1, 2};
    fds.resize(3 + plan.files.size(), -1);
    for (size_t i = 0; i < plan.steps.size(); i += 2) {
        const uint32_t target = plan.steps[i];
        if (target >= fds.size())
            return 2;
        int& fd = fds[target];
        if (fd < 0) {
            const std::string path = dir + "/" + plan.files[target - 3];
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0) {
                std::fprintf(stderr, "write_floor: %s: %s\n", path.c_str(), std::strerror(errno));
                return 1;
            }
        }
        size_t left = plan.steps[i + 1];
        while (left > 0) {
            const ssize_t n = ::write(fd, blanks.data(), left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                std::fprintf(stderr, "write_floor: write: %s\n", std::strerror(errno));
                return 1;
            }
            left -= static_cast<size_t>(n);
        }
    }
    for (size_t t = 3; t < fds.size(); ++t)
        if (fds[t] >= 0)
            ::close(fds[t]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    Plan plan;
    if (mode == "plan") {
        if (!parseTrace(argv[2], plan)) {
            std::fprintf(stderr, "write_floor: no writes in %s\n", argv[2]);
            return 1;
        }
        return savePlan(argv[3], plan) ? 0 : 1;
    }
    if (mode == "replay") {
        if (!loadPlan(argv[2], plan)) {
            std::fprintf(stderr, "write_floor: %s is not a plan\n", argv[2]);
            return 1;
        }
        return replay(plan, argv[3]);
    }
    std::fprintf(stderr, "usage: write_floor plan TRACE PLAN\n       write_floor replay PLAN DIR\n");
    return 2;
}
