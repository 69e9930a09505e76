// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/replay.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "batch/analysis.h"
#include "batch/arguments.h"
#include "core/analysis/provenance.h"
#include "core/engine/jobfiles.h"
#include "core/support/errors.h"

namespace duolink::batch {

using namespace duolink::analysis;

namespace {

// A file's text, up to `limit` bytes and one more; nullopt when unreadable.
std::optional<std::string> readUpTo(const std::string& path, std::size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(limit + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

int refuse(const std::string& sidecar, const std::string& why)
{
    std::fprintf(stderr, "error: --replay %s: %s; nothing was written\n", sidecar.c_str(), why.c_str());
    return kExitError;
}

} // namespace

int replayAnalysis(const std::string& sidecar, const std::string& out, bool quiet, const std::atomic<bool>& stop)
{
    const std::optional<std::string> text = readUpTo(sidecar, kMaxProvenanceBytes);
    if (!text)
        return refuse(sidecar, "cannot read it: " + ioErrorMessage(errno ? errno : EIO));
    ProvenanceRecord record;
    Arguments args;
    try {
        record = readProvenance(*text);
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
    AnalysisArguments& analysis = args.analysis;
    if (!analysis.wanted())
        return refuse(sidecar, "its command runs no analysis");
    (analysis.capacityFile.empty() ? analysis.sweepFile : analysis.capacityFile) = out;
    analysis.keepSets.clear();
    std::string patterns;
    if (!record.list.empty()) {
        // The list must be the one the rows were made from.
        const std::optional<std::string> list = readUpTo(record.list, std::size_t(1) << 30);
        if (!list || sha256Hex(*list) != record.listSha256)
            return refuse(sidecar, "the list " + record.list + " is not the one it was made from (its SHA-256 " +
                                       (list ? "differs" : "cannot be read") + ")");
        if (!args.patternsFile.empty())
            patterns = record.list;
    }
    analysis.progress = !quiet && ::isatty(STDERR_FILENO) == 1;
    // The command that made the rows, so that this file replays as well.
    analysis.command = record.command;
    return runAnalysis(analysis, record.folder, patterns, patterns, stop);
}

} // namespace duolink::batch
