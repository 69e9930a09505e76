// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/replay.h"

#include <cerrno>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "batch/analysis.h"
#include "batch/arguments.h"
#include "core/analysis/provenance.h"
#include "core/support/atomicwrite.h"
#include "core/support/scratchfolder.h"
#include "core/support/streamwrite.h"
#include "core/engine/jobfiles.h"
#include "core/support/errors.h"

namespace duolink::batch {

using namespace duolink::analysis;
namespace fs = std::filesystem;

namespace {

int refuse(const std::string& sidecar, const std::string& why)
{
    std::fprintf(stderr, "error: --replay %s: %s; nothing was written\n", sidecar.c_str(), why.c_str());
    return kExitError;
}

// Each file the rows were made from, read once: refused (nullopt, with the
// reason in `why`) when one has changed since.
std::optional<std::vector<std::string>> unchangedInputs(const ProvenanceRecord& record, std::string& why)
{
    std::vector<std::string> texts;
    for (const InputFile& input : record.inputs) {
        std::optional<std::string> text = readFileUpTo(input.path, std::size_t(1) << 30);
        if (!text || sha256Hex(*text) != input.sha256) {
            why = "the " + input.role + " file " + input.path + " is not the one it was made from (its SHA-256 " +
                  (text ? "differs" : "cannot be read") + ")";
            return std::nullopt;
        }
        texts.push_back(std::move(*text));
    }
    return texts;
}

// The steps that make the table of the `index`th step, in a copy of the
// job's files: the Solve, the matrices loaded before it, and the table's
// step itself writing to `out`. Nothing else is written.
int replayStep(const std::string& sidecar, const ProvenanceRecord& record, Arguments args,
               const std::vector<std::string>& texts, const std::string& out, const std::atomic<bool>& stop,
               const JobRunner& runJob)
{
    const OptionId kind = record.step == "noise" ? OptionId::Noise : OptionId::RecallTable;
    const size_t index = static_cast<size_t>(record.stepIndex);
    if (index >= args.steps.size() || args.steps[index].kind != kind)
        return refuse(sidecar, "its command has no " + record.step + " step where it says");
    const ScratchFolder scratch;
    JobRecord made{record.command, record.folder, record.list, record.listSha256, record.inputs, {}, {}};
    made.started = std::chrono::system_clock::now();
    std::vector<Step> steps;
    for (size_t k = 0; k < record.inputs.size(); ++k) {
        const InputFile& input = record.inputs[k];
        const fs::path copy = scratch.path() / (input.role.starts_with("--") ? "matrix-" + std::to_string(k) + "-" : "")
                                                   .append(fs::path(input.path).filename().string());
        if (const int error = replaceFile(copy.string(), texts[k]))
            return refuse(sidecar, "cannot copy " + input.path + ": " + ioErrorMessage(error));
        if (input.role.starts_with("--"))
            steps.push_back({input.role == "--load-matrix" ? OptionId::LoadMatrix : OptionId::ImportMatrix,
                             input.role + " " + input.path, copy.string()});
    }
    for (size_t k = 0; k <= index; ++k)
        if (args.steps[k].kind == OptionId::LoadMatrix || args.steps[k].kind == OptionId::ImportMatrix)
            made.stepPlaces.push_back(static_cast<int>(k));
    if (made.stepPlaces.size() > steps.size())
        return refuse(sidecar, "it does not list every matrix its command loads");
    steps.resize(made.stepPlaces.size());
    made.stepPlaces.push_back(static_cast<int>(index));
    Step table = args.steps[index];
    table.value = out == "-" ? (scratch.path() / "rows.csv").string() : absoluteName(out);
    steps.push_back(table);
    args.steps = std::move(steps);
    args.dir = scratch.path().string();
    args.dirGiven = true;
    args.statsFile.clear();
    args.quiet = true;
    if (!args.patternsFile.empty())
        args.patternsFile = record.list;
    const int status = runJob(args, made);
    if (status == kExitOk && out == "-") {
        const std::optional<std::string> rows = readFileUpTo(args.steps.back().value, std::size_t(1) << 30);
        size_t written = 0;
        const int error = rows ? writeUnlessStopped(STDOUT_FILENO, *rows, written, &stop) : EIO;
        if (error != 0 && error != EPIPE) {
            std::fprintf(stderr, "error: standard output: %s\n", ioErrorMessage(error).c_str());
            return kExitError;
        }
    }
    return status;
}

} // namespace

int replayAnalysis(const std::string& sidecar, const std::string& out, bool quiet, const std::atomic<bool>& stop,
                   const JobRunner& runJob)
{
    const std::optional<std::string> text = readFileUpTo(sidecar, kMaxProvenanceBytes);
    if (!text)
        return refuse(sidecar, "cannot read it: " + ioErrorMessage(errno ? errno : EIO));
    ProvenanceRecord record;
    Arguments args;
    try {
        record = readProvenance(*text);
        if (fs::path(record.command[0]).filename() == "duolink")
            return refuse(sidecar, "it was saved from the window; --replay runs again only what duolink-batch wrote");
        std::vector<std::string> command = record.command;
        std::vector<char*> argv;
        for (std::string& arg : command)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        args = parseArguments(static_cast<int>(argv.size()) - 1, argv.data());
    } catch (const ProvenanceError& e) {
        return refuse(sidecar, std::string("it is no provenance file of this program: ") + e.what());
    } catch (const UsageError& e) {
        return refuse(sidecar, std::string("its command is not one this program takes: ") + e.what());
    }
    std::string why;
    const std::optional<std::vector<std::string>> texts = unchangedInputs(record, why);
    if (!texts)
        return refuse(sidecar, why);
    AnalysisArguments& analysis = args.analysis;
    // The list must be the one the rows were made from.
    if (!record.list.empty()) {
        const std::optional<std::string> list = readFileUpTo(record.list, std::size_t(1) << 30);
        if (!list || sha256Hex(*list) != record.listSha256)
            return refuse(sidecar, "the list " + record.list + " is not the one it was made from (its SHA-256 " +
                                       (list ? "differs" : "cannot be read") + ")");
    }
    if (!record.step.empty() && !analysis.wanted())
        return replayStep(sidecar, record, std::move(args), *texts, out, stop, runJob);
    if (!analysis.wanted())
        return refuse(sidecar, "its command runs no analysis");
    (analysis.capacityFile.empty() ? analysis.sweepFile : analysis.capacityFile) = out;
    analysis.keepSets.clear();
    const std::string patterns = record.list.empty() || args.patternsFile.empty() ? std::string() : record.list;
    analysis.progress = !quiet && ::isatty(STDERR_FILENO) == 1;
    // The command that made the rows, so that this file replays as well.
    analysis.command = record.command;
    return runAnalysis(analysis, record.folder, patterns, patterns, stop);
}

} // namespace duolink::batch
