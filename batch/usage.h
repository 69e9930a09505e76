// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runner's documentation in one place: `--help` prints it as text and
// the build turns it into the manual page, so the two always agree.
#include <string>
#include <string_view>
#include <vector>

namespace duolink::batch {

enum class OptionId {
    Help, Version, Quiet, Patterns, Stats, NoSolve, Set, LoadMatrix, Predict, SaveMatrix, ExportMatrix, ImportMatrix,
    RecallTable, Noise, NoiseSigma, NoiseTrials, Seed, Tol,
    // The analyses: many trainings in memory instead of one Solve.
    Capacity, CapacityPairs, CapacitySets, CapacityShape, Density, KeepSets, Sweep, SweepOut, Jobs, Shard
};

struct OptionDoc {
    OptionId id;
    const char* name;  // "--load-matrix"
    const char* value; // "FILE", or nullptr for a flag
    const char* text;
};

// Every option the runner takes.
const std::vector<OptionDoc>& optionDocs();
// nullptr when `name` is no option.
const OptionDoc* findOption(std::string_view name);

// The synopsis line after the program's name.
extern const char* const kSynopsis;

// The exit statuses the runner uses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTerminated = 3;
inline constexpr int kExitError = 4;
inline constexpr int kExitFolderInUse = 5;
inline constexpr int kExitStopped = 130; // as a shell reports a program ended by SIGINT

// `--help`: plain text, lines of at most 79 characters.
std::string helpText();
// The manual page in man(7) markup.
std::string manPage(std::string_view version);

} // namespace duolink::batch
