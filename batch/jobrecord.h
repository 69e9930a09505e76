// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a job run's tables were made from, for their FILE.json sidecars: the
// command, the folder and the digests of every file the run reads, taken
// before it starts.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/arguments.h"
#include "core/analysis/provenance.h"

namespace duolink::batch {

struct JobRecord {
    std::vector<std::string> command;
    std::string folder;               // absolute
    std::string list, listSha256;     // the --patterns list, else the job's A data file
    std::vector<analysis::InputFile> inputs;
    std::vector<int> stepPlaces;      // each step's place in `command`'s steps; empty: as they stand
    std::chrono::system_clock::time_point started;
};

// A file's text, up to `limit` bytes and one more; nullopt when it cannot be
// read or is no regular file.
std::optional<std::string> readFileUpTo(const std::string& path, std::size_t limit);

// The file's absolute name and its digest.
analysis::InputFile inputFile(std::string role, const std::string& path, std::string_view text);

// The digests of what the run of `args` on `dir` reads: the job's files (the
// data files unless --patterns gives the list), the list and each matrix a
// step loads. Files that are not there are left out; the run reports them.
JobRecord recordJob(const Arguments& args, const std::string& dir, const std::string& patternsPath,
                    std::vector<std::string> command);

// Writes `file`.json for the table `step` (the `index`th step) wrote.
// `parameters` is the parameters text the run read. Raises RunError when it
// cannot be written.
struct StepTable {
    const Step* step = nullptr;
    std::size_t index = 0;
    std::string parameters;
    double tol = 0;
    const NoiseOptions* noise = nullptr; // a noise table's options
    std::size_t rows = 0;
    bool stopped = false;
};
void writeStepProvenance(const JobRecord& record, const StepTable& table);

} // namespace duolink::batch
