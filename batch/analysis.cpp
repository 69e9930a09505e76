// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/analysis.h"
#include "batch/progressline.h"
#include "batch/jobrecord.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <strings.h>
#include <unistd.h>

#include "core/support/fileclash.h"
#include "core/analysis/capacitysummary.h"
#include "core/analysis/analysisrun.h"
#include "core/analysis/csvout.h"
#include "core/analysis/provenance.h"
#include "core/analysis/keptsets.h"
#include "core/analysis/recallcount.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/orderedrun.h"
#include "core/analysis/randomsets.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/jobfiles.h"
#include "core/engine/stop.h"
#include "core/guard/folderlock.h"
#include "core/support/atomicwrite.h"
#include "core/support/fileclash.h"
#include "core/support/streamwrite.h"
#include "core/support/textfile.h"
#include "core/support/numgrammar.h"

namespace duolink::batch {

namespace {

namespace fs = std::filesystem;
using namespace duolink::analysis;

bool wholeNumber(const std::string& text, long long low, long long high, long long& value)
{
    return parseIntToken(text, value) && value >= low && value <= high;
}

// A regular file's text; nullopt when there is no such file.
std::optional<std::string> readTextFile(const std::string& path)
{
    const int fd = openInputFile(path);
    if (fd < 0) {
        // A FIFO or a device is no job file, as for the Solve.
        if (errno == ENOENT || errno == EISDIR || errno == EACCES || errno == kNotRegularFile)
            return std::nullopt;
        throwIoError(errno, path);
    }
    ::close(fd);
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (in.bad())
        throwIoError(EIO, path);
    return text;
}

} // namespace

std::optional<std::string> takeAnalysisOption(OptionId id, const std::string& name, const std::string& value,
                                              AnalysisArguments& args, bool& taken)
{
    taken = true;
    long long number = 0;
    switch (id) {
    case OptionId::Capacity:
    case OptionId::SweepOut:
    case OptionId::KeepSets:
        if (value.empty())
            return name + " needs a name";
        (id == OptionId::Capacity ? args.capacityFile : id == OptionId::SweepOut ? args.sweepFile : args.keepSets) =
            value;
        return std::nullopt;
    case OptionId::CapacityPairs:
        if (!wholeNumber(value, 1, kMaxCapacityPairs, number))
            return name + " takes a whole number from 1 to " + std::to_string(kMaxCapacityPairs);
        args.capacity.maxPairs = static_cast<int>(number);
        return std::nullopt;
    case OptionId::CapacitySets:
        if (!wholeNumber(value, 1, 1000000, number))
            return name + " takes a whole number from 1 to 1000000";
        args.capacity.setsPerSize = static_cast<int>(number);
        return std::nullopt;
    case OptionId::CapacityShape: {
        std::string why;
        const std::optional<ListShape> shape = parseCapacityShape(value, why);
        if (!shape)
            return name + " " + value + ": " + why;
        args.capacity.shape = *shape;
        return std::nullopt;
    }
    case OptionId::Density: {
        double p = 0;
        if (!parseRealToken(value, p) || !(p >= 0 && p <= 1))
            return name + " takes a number from 0 to 1";
        args.capacity.density = p;
        return std::nullopt;
    }
    case OptionId::Sweep:
        try {
            args.axes.push_back(parseSweepAxis(value));
        } catch (const SweepAxisError& e) {
            return e.what();
        }
        for (size_t k = 0; k + 1 < args.axes.size(); ++k)
            if (args.axes[k].parameter == args.axes.back().parameter)
                return name + ": " + args.axes.back().name + " is swept twice";
        return std::nullopt;
    case OptionId::Jobs:
        if (!wholeNumber(value, 1, 1024, number))
            return name + " takes a whole number from 1 to 1024";
        args.jobs = static_cast<int>(number);
        return std::nullopt;
    case OptionId::Shard: {
        const std::optional<Shard> shard = parseShard(value);
        if (!shard)
            return name + " takes K/N with 1 <= K <= N, as 2/4";
        args.shard = *shard;
        return std::nullopt;
    }
    default:
        taken = false;
        return std::nullopt;
    }
}

std::optional<std::string> checkAnalysisArguments(const AnalysisArguments& args)
{
    if (!args.capacityFile.empty() && !args.sweepFile.empty())
        return "--capacity and --sweep-out cannot be used together";
    if (!args.sweepFile.empty() && args.axes.empty())
        return "--sweep-out needs at least one --sweep NAME=LIST";
    if (!args.sweepFile.empty() && !args.axes.empty())
        if (std::optional<std::string> error = gridSizeError(args.axes))
            return "--sweep: " + *error;
    if (args.sweepFile.empty() && !args.axes.empty())
        return "--sweep needs --sweep-out FILE";
    if (args.capacityFile.empty() && !args.keepSets.empty())
        return "--keep-sets needs --capacity FILE";
    for (const SweepAxis& axis : args.axes)
        if (args.settings.values[static_cast<size_t>(axis.parameter)])
            return "--set " + axis.name + " and --sweep " + axis.name + " name the same parameter";
    if (!args.capacityFile.empty())
        if (std::string clash = shapeLengthsClash(args.settings, args.capacity.shape,
                                                  "--capacity-shape " + std::to_string(args.capacity.shape.n) +
                                                      "," + std::to_string(args.capacity.shape.m));
            !clash.empty())
            return clash;
    return std::nullopt;
}

namespace {

// The files of an analysis: its output, the job files it reads and the
// pattern list, checked against each other in one list.
std::vector<FileUse> analysisFileUses(const std::string& outPath, const std::string& step, const std::string& dir,
                                      const std::string& patternsFile, const std::string& patternsShown)
{
    std::vector<FileUse> uses;
    if (outPath != "-") {
        uses.push_back({outPath, step, true, true});
        uses.push_back({outPath + ".json", step + " (its provenance)", true, true});
    }
    for (FileUse& use : jobInputUses(dir))
        uses.push_back(std::move(use));
    if (!patternsFile.empty())
        uses.push_back({patternsFile, "--patterns " + patternsShown, false, true});
    return uses;
}

// The clash of any two files of the run, the kept sets included; "" for none.
std::string analysisClash(const AnalysisArguments& args, const std::vector<FileUse>& uses)
{
    if (std::string clash = findFileClash(uses); !clash.empty())
        return clash;
    if (!args.keepSets.empty())
        if (auto clash = keptSetClash(args.keepSets, "--keep-sets " + args.keepSets, args.capacity, uses))
            return *clash;
    return {};
}

// What the analysis trains on, read from the job folder.
struct AnalysisInputs {
    JobTexts settings;
    ShapedPairs list; // a sweep's list
    std::string listName, listSha256;
    std::vector<InputFile> files; // what was read, with its digest
};

// Reads the job's files under a shared hold of the folder lock, so that a
// run writing them cannot change them half-way. Returns the exit status of a
// failure, or nullopt.
std::optional<int> readInputs(const AnalysisArguments& args, const std::string& dir, const std::string& patternsFile,
                              const std::string& patternsShown, const std::string& step, AnalysisInputs& in)
{
    FolderLock lock;
    if (!lock.tryLockShared(dir)) {
        std::fprintf(stderr, "error: %s\n", folderInUseMessage(dir, lock.holder()).c_str());
        return kExitFolderInUse;
    }
    const std::string aPath = dir + "/" + kADataFileName, bPath = dir + "/" + kBDataFileName;
    std::optional<std::string> parameters = readTextFile(dir + "/" + kParametersFileName);
    if (!parameters) {
        std::fprintf(stderr, "error: %s: there is no parameters file %s in %s\n", step.c_str(), kParametersFileName,
                     dir.c_str());
        return kExitError;
    }
    in.files.push_back(inputFile("parameters", dir + "/" + kParametersFileName, *parameters));
    in.settings.options = args.engineOptions;
    in.settings.parameters = editParameters(*parameters, args.settings);
    if (const std::string simulation = findSimulationFile(dir); !simulation.empty()) {
        in.settings.simulation = readTextFile(dir + "/" + simulation);
        if (in.settings.simulation)
            in.files.push_back(inputFile("simulation", dir + "/" + simulation, *in.settings.simulation));
    }
    if (!args.capacityFile.empty()) {
        checkAnalysisShape(args.axes, *in.settings.parameters, args.capacity.shape);
        in.settings.parameters = parametersForShape(*in.settings.parameters, args.capacity.shape);
        return std::nullopt;
    }
    // A sweep's list: the job's data files as they are, or a pattern list.
    in.listName = patternsFile.empty() ? aPath : patternsFile;
    in.listSha256 = sha256Hex(readTextFile(in.listName).value_or(""));
    try {
        if (!patternsFile.empty()) {
            in.list = readShapedListFile(patternsFile, patternsShown);
            if (std::string clash = shapeLengthsClash(args.settings, in.list.shape, patternsShown); !clash.empty()) {
                std::fprintf(stderr, "duolink-batch: %s\n", clash.c_str());
                return kExitUsage;
            }
            checkAnalysisShape(args.axes, *in.settings.parameters, in.list.shape);
            in.settings = shapedJob(in.list, in.settings);
        } else {
            checkAnalysisShape(args.axes, *in.settings.parameters);
            in.list = shapedFromFixed(readPatternListFile(aPath, aPath));
            in.settings.aData = readTextFile(aPath).value_or("");
            in.settings.bData = readTextFile(bPath).value_or("");
            in.files.push_back(inputFile("B data", bPath, in.settings.bData));
        }
    } catch (const PatternListError& e) {
        std::fprintf(stderr, "duolink-batch: %s\n", e.what());
        return patternsFile.empty() ? kExitError : kExitUsage;
    }
    return std::nullopt;
}

// Where the rows go: the output file, replaced once complete, or standard
// output ("-"), written so that a stalled reader cannot hold off a stop.
class RowOutput {
public:
    RowOutput(const std::string& path, const std::atomic<bool>& stop) : toStdout_(path == "-"), stop_(stop)
    {
        if (!toStdout_)
            file_.open(path);
    }
    // False when standard output's reader left (or stalled through a stop):
    // no error, the run just ends. Raises RunError for a failed write.
    bool write(std::string_view text)
    {
        if (!toStdout_) {
            file_.write(text);
            return true;
        }
        buffer_.append(text);
        return buffer_.size() < (1u << 16) || flush();
    }
    bool flush()
    {
        size_t written = 0;
        const int error = gone_ ? 0 : writeUnlessStopped(STDOUT_FILENO, buffer_, written, &stop_, &regular_);
        buffer_.clear();
        if (error == EPIPE || error == kWriteAbandoned)
            gone_ = true;
        else if (error != 0)
            throw RunError("standard output: " + ioErrorMessage(error));
        return !gone_;
    }
    void commit()
    {
        if (toStdout_)
            flush();
        else
            file_.commit();
    }
    bool toStdout() const { return toStdout_; }

private:
    bool toStdout_;
    const std::atomic<bool>& stop_;
    ReplacingOutput file_;
    std::string buffer_;
    int regular_ = -1;
    bool gone_ = false;
};

// A capacity row of n pairs in the per-n summary:
// n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own
// The per-n summary on standard output, for the sizes whose sets all ran.
// Raises RunError when standard output cannot take it.
void printCapacitySummary(CapacityRunSummary& summary, const CapacityOptions& o, Shard shard)
{
    summary.keepWholeSizes([&](int n) {
        const size_t sets = static_cast<size_t>(o.setsPerSize);
        return static_cast<long long>(shardRowCount(static_cast<size_t>(n) * sets, shard) -
                                      shardRowCount(static_cast<size_t>(n - 1) * sets, shard));
    });
    const std::string text = std::string(CapacityRunSummary::csvHeader()) + '\n' + summary.csvLines();
    size_t written = 0;
    if (const int error = writeUnlessStopped(STDOUT_FILENO, text, written, nullptr); error != 0 && error != EPIPE)
        throw RunError("standard output: " + ioErrorMessage(error));
}

// FILE.json beside the analysis's FILE: what made its rows.
void writeProvenance(const std::string& path, const AnalysisArguments& args, const std::string& dir,
                     const AnalysisInputs& in, AnalysisSpec request, const AnalysisEnd& end,
                     std::chrono::system_clock::time_point started)
{
    Provenance provenance;
    provenance.started = started;
    provenance.ended = std::chrono::system_clock::now();
    provenance.command = args.command;
    std::error_code ignored;
    provenance.folder = fs::weakly_canonical(fs::absolute(dir, ignored), ignored).string();
    provenance.jobs = ThreadPool(request.jobs).threadCount();
    if (request.kind == AnalysisKind::Sweep) {
        provenance.list = fs::weakly_canonical(fs::absolute(in.listName, ignored), ignored).string();
        provenance.listSha256 = in.listSha256;
    }
    provenance.request = std::move(request);
    provenance.stopped = end.stopped;
    provenance.outcomes = end.outcomes;
    provenance.inputs = in.files;
    if (const int error = replaceFile(path, provenanceJson(provenance)))
        throw RunError(path + ": " + ioErrorMessage(error));
}

// The temporary files a killed run left for `path`, removed, and said so.
void removeLeftovers(const std::string& folder, const std::string& baseName)
{
    if (const int removed = removeLeftoverTemporaries(folder, baseName))
        std::fprintf(stderr, "duolink-batch: removed %d temporary file%s that a killed run left in %s\n", removed,
                     removed == 1 ? "" : "s", folder.c_str());
}

} // namespace

void reportStopped(const std::string& step, size_t rows, size_t total)
{
    std::fprintf(stderr, "duolink-batch: %s: stopped after %zu of %zu rows\n", step.c_str(), rows, total);
}

int runAnalysis(const AnalysisArguments& args, const std::string& dir, const std::string& patternsFile,
                const std::string& patternsShown, const std::atomic<bool>& stop)
{
    const bool capacity = !args.capacityFile.empty();
    const std::string outPath = capacity ? args.capacityFile : args.sweepFile;
    std::string step = "--" + std::string(capacity ? "capacity " : "sweep-out ") + outPath;
    try {
        // An output never takes the place of an input.
        const std::vector<FileUse> uses = analysisFileUses(outPath, step, dir, patternsFile, patternsShown);
        if (const std::string clash = analysisClash(args, uses); !clash.empty()) {
            std::fprintf(stderr, "duolink-batch: %s; nothing was written\n", clash.c_str());
            return kExitUsage;
        }
        if (std::error_code error; outPath != "-" && fs::is_directory(outPath, error)) {
            std::fprintf(stderr, "error: %s: %s is a folder; name a file to write\n", step.c_str(), outPath.c_str());
            return kExitError;
        }
        AnalysisInputs in;
        if (const std::optional<int> failed = readInputs(args, dir, patternsFile, patternsShown, step, in))
            return *failed;
        std::optional<KeptSetWriter> keeper;
        if (!args.keepSets.empty()) {
            step = "--keep-sets " + args.keepSets;
            keeper.emplace(args.keepSets);
            removeLeftovers(args.keepSets, {});
            step = "--capacity " + outPath;
        }
        if (outPath != "-") {
            const fs::path out(outPath);
            removeLeftovers(out.parent_path().empty() ? "." : out.parent_path().string(), out.filename().string());
        }

        AnalysisSpec request;
        request.kind = capacity ? AnalysisKind::Capacity : AnalysisKind::Sweep;
        request.capacity = args.capacity;
        request.axes = args.axes;
        request.list = std::move(in.list);
        request.settings = std::move(in.settings);
        request.shard = args.shard;
        request.jobs = static_cast<unsigned>(args.jobs);
        const CapacityOptions& o = args.capacity;

        // "-" is standard output, for tools that collect it (GNU parallel).
        RowOutput output(outPath, stop);
        bool readerLeft = !output.write(capacity ? std::string(kCapacityHeader) + '\n' : sweepHeader(args.axes) + '\n');
        CapacityRunSummary summary(capacity ? o.maxPairs : 0);
        const ParameterValues values = readParameterValues(*request.settings.parameters);
        std::optional<std::string> failure; // the first write that failed
        size_t rowsWritten = 0;
        keepFreedMemoryForReuse();
        const auto started = std::chrono::system_clock::now();
        // Not over rows going to the same terminal.
        ProgressLine line(args.progress && !(output.toStdout() && ::isatty(STDOUT_FILENO) == 1),
                          analysisShardRows(request));
        line.update(0);
        AnalysisHooks hooks;
        hooks.stop = &stop;
        if (keeper)
            hooks.keepSet = [&](int n, int t, const ShapedPairs& set) { keeper->write(n, t, shapedListText(set)); };
        hooks.row = [&](const AnalysisRow& row) {
            try {
                readerLeft = !output.write(capacity ? capacityRowText(o, row.row, row.result)
                                                    : cellColumns(args.axes, row.row) + resultColumns(row.result) + '\n');
                line.update(++rowsWritten);
            } catch (const RunError& e) {
                failure = std::string(e.what());
                return false;
            }
            if (capacity) {
                const int n = capacityPairs(o, row.row), t = capacitySet(o, row.row);
                const int aLen = static_cast<int>(values[Parameter::ALen]);
                const double most = o.shape.fixed()
                                        ? largestSquaredLength(randomSet(o.seed, n, t, o.density), aLen)
                                        : largestSquaredLength(randomShapedSet(o.seed, n, t, o.density, o.shape), aLen);
                summary.add({n, t, most, row.result});
            }
            return !readerLeft;
        };
        WorkProgress progress;
        progress.stop = readerLeft;
        const AnalysisEnd end = streamAnalysis(request, hooks, progress);
        line.clear();
        const size_t count = end.total;
        if (end.failure && !failure)
            failure = end.failure;
        if (keeper)
            keeper->finish();
        if (failure) {
            std::fprintf(stderr, "error: %s: %s\n", step.c_str(), failure->c_str());
            return kExitError;
        }
        output.commit();
        if (!output.toStdout())
            writeProvenance(outPath + ".json", args, dir, in, std::move(request), end, started);
        // A signal stops the run even where it also left a stalled reader.
        const bool stopped = stop.load() || (end.stopped && !readerLeft);
        if (stopped)
            reportStopped(step, rowsWritten, count);
        if (capacity && !output.toStdout()) {
            printCapacitySummary(summary, o, args.shard);
            if (const std::string note = summary.divergenceNote(values[Parameter::Beta]); !note.empty())
                std::fprintf(stderr, "note: %s\n", note.c_str());
        }
        return stopped ? kExitStopped : kExitOk;
    } catch (const RunError& e) {
        const bool namesFile = !e.file().empty() && e.file() != outPath && e.file() != args.keepSets;
        std::fprintf(stderr, "error: %s: %s%s\n", step.c_str(), namesFile ? (e.file() + ": ").c_str() : "",
                     e.what());
        return kExitError;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "error: %s: %s\n", step.c_str(), kOutOfMemory);
        return kExitError;
    }
}

} // namespace duolink::batch
