// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What made an analysis's rows: the program, its command, the parameters as
// read, the options and the list, when it ran and how its rows ended. Written
// as a JSON sidecar beside each output file; its keys are those of the Python
// module's `provenance` dict.
#include <array>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/analysis/analysisrun.h"
#include "core/analysis/noise.h"

namespace duolink::analysis {

// A file the rows were made from, as it was when they were: a replay refuses
// to run when it has changed.
struct InputFile {
    std::string role; // "parameters", "A data", "--load-matrix" ...
    std::string path; // absolute
    std::string sha256;
};

struct Provenance {
    std::vector<std::string> command;    // the program's arguments, its name first
    std::string folder;                  // the job folder, absolute
    AnalysisSpec request;                   // kind, sizes, seed, grid, parameters, shard
    unsigned jobs = 1;                   // threads the run used
    std::string list, listSha256;        // a sweep's list file and its digest
    std::chrono::system_clock::time_point started, ended;
    bool stopped = false;
    std::array<std::size_t, 4> outcomes{}; // rows by Outcome
    std::vector<InputFile> inputs;       // the job's files and any other file read
    // A table written by a step of a job run (recall table, noise) rather
    // than by `request`: its name, the step's place among the command's
    // steps, its options as JSON values, and its rows.
    std::string step;
    int stepIndex = -1;
    std::vector<std::pair<std::string, std::string>> stepOptions;
    std::size_t rows = 0;
};

// A recall table's (no `noise`) or a noise table's options as the sidecar
// gives them, and the threads a noise table uses.
void setTableOptions(Provenance& p, double tol, const NoiseOptions* noise);

// The sidecar's text: one JSON object, keys in a fixed order.
std::string provenanceJson(const Provenance& p);

// What a replay needs of a sidecar.
struct ProvenanceRecord {
    std::vector<std::string> command; // the program's arguments, its name first
    std::string folder;
    std::string list, listSha256;     // empty for a capacity run
    std::string step;                 // "recall-table", "noise"; empty for a capacity run or sweep
    int stepIndex = -1;
    std::vector<InputFile> inputs;
};

class ProvenanceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kMaxProvenanceBytes = 1 << 20;
// Reads a sidecar's text. Raises ProvenanceError, saying what is wrong, for
// anything that is not a sidecar this program writes.
ProvenanceRecord readProvenance(std::string_view text);

// The SHA-256 of `data`, as 64 lowercase hex digits.
std::string sha256Hex(std::string_view data);

} // namespace duolink::analysis
