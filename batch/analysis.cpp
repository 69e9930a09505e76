#include "batch/analysis.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <strings.h>

#include "batch/fileclash.h"
#include "core/analysis/capacitysummary.h"
#include "core/analysis/csvout.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/orderedrun.h"
#include "core/analysis/randomsets.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/stop.h"
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
        if (errno == ENOENT || errno == EISDIR || errno == EACCES)
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

// The folder's simulation file as the engine finds it: "nutest.dat", or the
// first entry of that name in another letter case.
std::optional<std::string> simulationText(const std::string& dir)
{
    if (auto text = readTextFile(dir + "/nutest.dat"))
        return text;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
    if (!d)
        return std::nullopt;
    std::string best;
    while (dirent* entry = ::readdir(d.get()))
        if (::strcasecmp(entry->d_name, "nutest.dat") == 0 && (best.empty() || best > entry->d_name))
            if (readTextFile(dir + "/" + entry->d_name))
                best = entry->d_name;
    return best.empty() ? std::nullopt : readTextFile(dir + "/" + best);
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
    if (!args.sweepFile.empty() && gridCellCount(args.axes) > kMaxGridCells)
        return "the --sweep grid has more than " + std::to_string(kMaxGridCells) + " cells";
    if (args.sweepFile.empty() && !args.axes.empty())
        return "--sweep needs --sweep-out FILE";
    if (args.capacityFile.empty() && !args.keepSets.empty())
        return "--keep-sets needs --capacity FILE";
    for (const SweepAxis& axis : args.axes)
        if (args.settings.values[static_cast<size_t>(axis.parameter)])
            return "--set " + axis.name + " and --sweep " + axis.name + " name the same parameter";
    return std::nullopt;
}

int runAnalysis(const AnalysisArguments& args, const std::string& dir, const std::string& patternsFile,
                const std::string& patternsShown, const std::atomic<bool>& stop)
{
    const bool capacity = !args.capacityFile.empty();
    const std::string outPath = capacity ? args.capacityFile : args.sweepFile;
    const std::string parametersPath = dir + "/" + kParametersFileName;
    const std::string aPath = dir + "/" + kADataFileName, bPath = dir + "/" + kBDataFileName;
    std::string step = "--" + std::string(capacity ? "capacity " : "sweep-out ") + outPath;
    try {
        // An output never takes the place of an input.
        std::vector<FileUse> uses = {{outPath, step, true, true},
                                     {parametersPath, "the job's parameters file"},
                                     {aPath, "the job's data file"},
                                     {bPath, "the job's data file"}};
        if (!patternsFile.empty())
            uses.push_back({patternsFile, "--patterns " + patternsShown, false, true});
        if (const std::string clash = outPath == "-" ? std::string() : findFileClash(uses); !clash.empty()) {
            std::fprintf(stderr, "duolink-batch: %s\n", clash.c_str());
            return kExitUsage;
        }
        if (std::error_code error; outPath != "-" && fs::is_directory(outPath, error)) {
            std::fprintf(stderr, "error: %s: %s is a folder; name a file to write\n", step.c_str(), outPath.c_str());
            return kExitError;
        }
        std::optional<std::string> parameters = readTextFile(parametersPath);
        if (!parameters) {
            std::fprintf(stderr, "error: %s: there is no parameters file %s in %s\n", step.c_str(),
                         kParametersFileName, dir.c_str());
            return kExitError;
        }
        *parameters = editParameters(*parameters, args.settings);
        JobTexts settings;
        settings.parameters = *parameters;
        settings.simulation = simulationText(dir);

        // A sweep's list: the job's data files as they are, or a pattern list.
        PatternPairs list;
        if (!capacity) {
            try {
                if (!patternsFile.empty()) {
                    list = readPatternListFile(patternsFile, patternsShown);
                    putDataTexts(settings, list);
                } else {
                    list = readPatternListFile(aPath, aPath);
                    settings.aData = readTextFile(aPath).value_or("");
                    settings.bData = readTextFile(bPath).value_or("");
                }
            } catch (const PatternListError& e) {
                std::fprintf(stderr, "duolink-batch: %s\n", e.what());
                return patternsFile.empty() ? kExitError : kExitUsage;
            }
        }
        if (!args.keepSets.empty()) {
            std::error_code error;
            fs::create_directories(args.keepSets, error);
            if (error)
                throwIoError(error.value(), args.keepSets);
        }

        const size_t rows = capacity ? capacityRowCount(args.capacity) : gridCellCount(args.axes);
        const size_t count = shardRowCount(rows, args.shard);
        const CapacityOptions& o = args.capacity;
        OrderedTask task = [&](size_t j, unsigned, const std::atomic<bool>& stop) -> std::optional<std::string> {
            const size_t row = shardRow(j, args.shard);
            if (capacity) {
                const int n = capacityPairs(o, row), t = capacitySet(o, row);
                const PatternPairs set = randomSet(o.seed, n, t, o.density);
                if (!args.keepSets.empty())
                    replaceWholeFile(args.keepSets + "/n" + std::to_string(n) + "-s" + std::to_string(t) + ".csv",
                                patternListCsv(set));
                const std::optional<RowResult> r = trainAndCount(set, settings, &stop);
                return r ? std::optional(capacityRowText(o, row, *r)) : std::nullopt;
            }
            JobTexts job = settings;
            job.parameters = cellParameters(args.axes, row, *settings.parameters);
            const std::optional<RowResult> r = trainAndCount(job, list, &stop);
            return r ? std::optional(cellColumns(args.axes, row) + resultColumns(*r) + '\n') : std::nullopt;
        };

        // "-" is standard output, for tools that collect it (GNU parallel).
        const bool toStdout = outPath == "-";
        ReplacingOutput file;
        if (!toStdout)
            file.open(outPath);
        auto write = [&](const std::string& text) {
            if (!toStdout) {
                file.write(text);
            } else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
                throw RunError("cannot write standard output");
            }
        };
        write(capacity ? std::string(kCapacityHeader) + '\n' : sweepHeader(args.axes) + '\n');
        CapacityRunSummary summary(capacity ? o.maxPairs : 0);
        const ParameterValues values = readParameterValues(*parameters);
        std::optional<std::string> failure; // the first write that failed
        keepFreedMemoryForReuse();
        const ThreadPool pool(static_cast<unsigned>(args.jobs));
        WorkProgress progress;
        const OrderedRunStats stats = runOrdered(
            count, pool,
            [&](size_t j, unsigned worker, const std::atomic<bool>& stop) -> std::optional<std::string> {
                try {
                    return task(j, worker, stop);
                } catch (const RunError& e) {
                    // A set that cannot be kept: the row has no file to rerun.
                    return "!" + std::string(e.file().empty() ? "" : e.file() + ": ") + e.what();
                }
            },
            [&](size_t j, const std::string& text) {
                if (failure)
                    return;
                if (text.starts_with('!')) {
                    failure = text.substr(1);
                    progress.stop = true;
                    return;
                }
                try {
                    write(text);
                } catch (const RunError& e) {
                    failure = std::string(e.what());
                    progress.stop = true;
                    return;
                }
                if (capacity) {
                    // n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own
                    const size_t row = shardRow(j, args.shard);
                    RowResult r;
                    std::vector<std::string> f;
                    size_t start = 0;
                    while (start < text.size()) {
                        const size_t end = text.find_first_of(",\n", start);
                        f.push_back(text.substr(start, end - start));
                        start = end + 1;
                    }
                    for (Outcome e : {Outcome::Recalled, Outcome::Limit, Outcome::Error, Outcome::Terminated})
                        if (f[2] == outcomeName(e))
                            r.outcome = e;
                    r.presentations = std::stoi(f[3]);
                    r.recall.recalled = std::stoi(f[6]);
                    const int n = capacityPairs(o, row), t = capacitySet(o, row);
                    const PatternPairs set = randomSet(o.seed, n, t, o.density);
                    summary.add({n, t, largestSquaredLength(set, static_cast<int>(values[Parameter::ALen])), r});
                }
            },
            progress, [&] { return stop.load(); });
        if (failure) {
            std::fprintf(stderr, "error: %s: %s\n", step.c_str(), failure->c_str());
            return kExitError;
        }
        if (toStdout) {
            if (std::fflush(stdout) != 0)
                throw RunError("cannot write standard output");
            return stats.stopped ? kExitStopped : kExitOk;
        }
        file.commit();
        if (capacity) {
            std::printf("%s\n%s", CapacityRunSummary::csvHeader(), summary.csvLines().c_str());
            std::fflush(stdout);
            if (const std::string note = summary.divergenceNote(values[Parameter::Beta]); !note.empty())
                std::fprintf(stderr, "note: %s\n", note.c_str());
        }
        return stats.stopped ? kExitStopped : kExitOk;
    } catch (const RunError& e) {
        const bool namesFile = !e.file().empty() && e.file() != outPath;
        std::fprintf(stderr, "error: %s: %s%s\n", step.c_str(), namesFile ? (e.file() + ": ").c_str() : "",
                     e.what());
        return kExitError;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "error: %s: %s\n", step.c_str(), kOutOfMemory);
        return kExitError;
    }
}

} // namespace duolink::batch
