// SPDX-License-Identifier: GPL-3.0-or-later
// duolink-batch: runs a Solve headless on the job files of a folder, then
// optional Load Matrix / Predict / Save Matrix steps on the same engine state.
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "batch/analysis.h"
#include "batch/arguments.h"
#include "batch/jobrecord.h"
#include "core/support/fileclash.h"
#include "batch/output.h"
#include "batch/replay.h"
#include "batch/usage.h"
#include "core/analysis/noise.h"
#include "core/analysis/recallcount.h"
#include "core/analysis/recalltable.h"
#include "core/analysis/shapedrecall.h"
#include "core/support/atomicwrite.h"
#include "core/support/console.h"
#include "core/support/numgrammar.h"
#include "core/support/numtext.h"
#include "core/support/versiontext.h"
#include "core/patterns/patternlist.h"
#include "core/patterns/patterns.h"
#include "core/patterns/shapedlist.h"
#include "core/session/listshape.h"
#include "core/support/errors.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/guard/folderlock.h"
#include "core/parameters/paramsfile.h"
#include "core/engine/stop.h"
#include "core/predict/matrixfile.h"
#include "core/predict/recall.h"
#include "core/session/session.h"
#include "core/stats/statscsv.h"

using namespace duolink;
using namespace duolink::batch;

namespace {

// The engine's pane: standard output, or nothing with --quiet.
class StdoutPane : public ConsolePane {
public:
    StdoutPane(StandardOutput& out, bool quiet) : out_(out), quiet_(quiet) {}
    void appendLine(std::string_view line) override
    {
        if (!quiet_)
            out_.writeLine(line);
    }
    void appendBlock(std::string_view lines) override
    {
        if (!quiet_)
            out_.writeBlock(lines);
    }

private:
    StandardOutput& out_;
    bool quiet_;
};

class LiveStatus : public TextField, public ProgressBar {
public:
    LiveStatus(const EngineState& engine, bool live) : engine_(engine), live_(live) {}
    void setText(std::string_view text) override
    {
        r2Text.assign(text);
        if (live_)
            showLive();
    }
    void setMinimum(int value) override { progress.setMinimum(value); }
    void setMaximum(int value) override { progress.setMaximum(value); }
    void stepBy(int delta) override { progress.stepBy(delta); }
    void finishLive()
    {
        if (live_ && shown_)
            std::fputs("\r\033[K", stderr);
    }

    std::string r2Text = realText(0.0);
    ProgressState progress;

private:
    void showLive()
    {
        auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, "\r\033[Kpresentation %d of %d, R2 %s", engine_.state().presentationNo,
                     engine_.state().maxPresentations, r2Text.c_str());
        std::fflush(stderr);
    }
    const EngineState& engine_;
    bool live_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// The B fields as the window shows them, one blank before each.
void predictStep(Session& session, const std::string& values, StandardOutput& out)
{
    std::vector<std::string> fields = splitFields(values);
    std::array<std::string_view, 8> texts{};
    for (size_t k = 0; k < 8; ++k)
        texts[k] = fields[k];
    TPatternVector a = vectorFromTexts(texts);
    // The B fields keep their start-up text.
    TPatternVector b = vectorFromTexts(Session::startFieldTexts());
    session.engine().recallB(a, b);
    std::string line = "B:";
    for (int j = 1; j <= 8; ++j)
        (line += ' ') += realText(b[j]);
    out.writeLine(line);
}

// The list the analyses use: the --patterns list (of any shape), else the
// job files.
class JobList {
public:
    JobList(const EngineState& engine, std::string path, std::string shownName)
        : engine_(engine), path_(std::move(path)), shownName_(std::move(shownName))
    {
    }
    const ShapedPairs& get()
    {
        if (!list_)
            list_ = path_.empty() ? shapedFromFixed(readPatternListFile(engine_.pathOf(kADataFileName), kADataFileName))
                                  : readShapedListFile(path_, shownName_);
        return *list_;
    }

private:
    const EngineState& engine_;
    std::string path_;
    std::string shownName_;
    std::optional<ShapedPairs> list_;
};

// The parameters text the run read: the file with --set applied.
std::string parametersRead(const EngineState& engine, const Arguments& args)
{
    std::string text;
    std::string readError;
    if (!readParametersFile(engine.pathOf(kParametersFileName), text, readError))
        return {};
    return args.settingsGiven ? editParameters(text, args.settings) : text;
}

void recallTableStep(const EngineState& engine, const Step& step, JobList& list, double tolerance, StepTable table,
                     const JobRecord& record)
{
    const ShapedPairs& pairs = list.get();
    analysis::checkListShape(pairs.shape, engine.state().aLen, engine.state().bLen);
    std::string text;
    if (pairs.shape.fixed()) {
        const RecallTable recall = recallTable(RecallSnapshot::of(engine), fixedFromShaped(pairs), tolerance);
        table.rows = recall.rows.size();
        text = recallTableCsv(recall);
    } else {
        const analysis::ShapedRecallTable recall = analysis::shapedRecallTable(RecallSnapshot::of(engine), pairs, tolerance);
        table.rows = recall.rows.size();
        text = analysis::shapedRecallTableCsv(recall);
    }
    if (const int error = replaceFile(step.value, text))
        throwIoError(error);
    table.tol = tolerance;
    writeStepProvenance(record, table);
}

// A stop request ends the run between two pieces of a few milliseconds; the
// file then holds the levels finished, and a line says how many.
void noiseStep(EngineState& engine, const Step& step, JobList& list, NoiseOptions options, double tolerance,
               StepTable table, const JobRecord& record)
{
    const ShapedPairs& pairs = list.get();
    analysis::checkListShape(pairs.shape, engine.state().aLen, engine.state().bLen);
    options.tol = tolerance;
    const ThreadPool pool;
    WorkProgress progress;
    progress.signalStop = engine.stopFlagPointer();
    NoiseTable finished;
    const std::optional<NoiseTable> noise =
        noiseTable(RecallSnapshot::of(engine), pairs, options, pool, &progress, &finished);
    const NoiseTable& kept = noise ? *noise : finished;
    if (const int error = replaceFile(step.value, noiseTableCsv(kept)))
        throwIoError(error);
    table.tol = tolerance;
    table.noise = &options;
    table.rows = kept.rows.size();
    table.stopped = !noise;
    writeStepProvenance(record, table);
    if (!noise) {
        const size_t levels = isBinaryList(pairs) ? static_cast<size_t>(pairs.shape.n) + 1 : options.sigmas.size();
        reportStopped(step.label, finished.rows.size(), levels);
    }
}

// A list of other than 8 + 8 values sets A Len and B Len for the run, as
// --set would; a --set that says otherwise is refused ("" when all agree).
std::string takeListShape(Arguments& args, const ListShape& shape)
{
    if (shape.fixed())
        return {};
    std::string refused = takeListLengths(args.settings, shape, args.patternsFile);
    if (refused.empty())
        args.settingsGiven = true;
    return refused;
}

// Why `dir` cannot be the job folder, as entering it would fail (0: it can).
int folderError(const std::string& dir)
{
    struct stat st{};
    if (::stat(dir.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (::access(dir.c_str(), X_OK) != 0)
        return errno;
    return 0;
}

// The exit code of a command's outcome; `error` gets the line that says why.
int presentOutcome(const Outcome& outcome, std::string& error)
{
    switch (outcome.status) {
    case Outcome::Status::Done:
    case Outcome::Status::FolderInUse: return kExitOk;
    case Outcome::Status::Terminated:
        error = "job terminated: " +
                (outcome.reason.empty() ? "see " + std::string(kReportFileName) : outcome.reason);
        return kExitTerminated;
    case Outcome::Status::Failed: break;
    }
    // A job's failure also names the job file it came from; a step's label
    // names its file already.
    const bool namesFile = !outcome.file.empty() && !outcome.step.starts_with("--");
    error = "error: " + outcome.step + ": " + (namesFile ? outcome.file + ": " : std::string()) + outcome.message;
    return kExitError;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "duolink-batch: %s\nusage: duolink-batch %s\nTry 'duolink-batch --help' for more.\n",
                 message.c_str(), kSynopsis);
    return kExitUsage;
}

// Every file the run will write, and every file it will read; the job's own
// in the engine's job folder.
std::vector<FileUse> fileUses(EngineState& engine, const Arguments& args, const std::string& patternsPath,
                              const std::string& statsPath)
{
    const auto job = [&](const std::string& name) { return engine.pathOf(name); };
    std::vector<FileUse> uses;
    if (!args.patternsFile.empty()) {
        uses.push_back({patternsPath, "--patterns " + args.patternsFile, false, true});
        uses.push_back({job(kADataFileName), "the job's A data file", true});
        uses.push_back({job(kBDataFileName), "the job's B data file", true});
    }
    if (!args.statsFile.empty())
        uses.push_back({statsPath, "--stats " + args.statsFile, true, true});
    if (args.solve) {
        uses.push_back({job(kReportFileName), "the job's report", true});
        for (FileUse& use : jobInputUses(engine.state().jobFolder.string()))
            uses.push_back(std::move(use));
    }
    bool analyses = false;
    for (const Step& step : args.steps) {
        if (step.kind == OptionId::LoadMatrix || step.kind == OptionId::SaveMatrix ||
            step.kind == OptionId::ImportMatrix)
            uses.push_back({step.value, step.label, step.kind == OptionId::SaveMatrix, true, true});
        if (step.kind == OptionId::ExportMatrix) {
            uses.push_back({step.value, step.label, true, true, true});
            uses.push_back({step.value + ".json", step.label, true, true, true});
        }
        if (step.kind == OptionId::RecallTable || step.kind == OptionId::Noise) {
            uses.push_back({step.value, step.label, true, true});
            uses.push_back({step.value + ".json", step.label + " (its provenance)", true, true});
            analyses = true;
        }
    }
    // The analyses read the job's list from the job files unless --patterns
    // gives it.
    if (analyses && args.patternsFile.empty()) {
        uses.push_back({job(kADataFileName), "the job's A data file", false});
        uses.push_back({job(kBDataFileName), "the job's B data file", false});
    }
    return uses;
}

// Whether a step writes a table (and so reads the job's list).
bool writesTable(const Arguments& args)
{
    return std::any_of(args.steps.begin(), args.steps.end(), [](const Step& step) {
        return step.kind == OptionId::RecallTable || step.kind == OptionId::Noise;
    });
}

// Whether a step reads the job's list from its data files.
bool readsJobList(const Arguments& args)
{
    return args.patternsFile.empty() && writesTable(args);
}

int outputError(int error)
{
    std::fprintf(stderr, "error: standard output: %s\n", fileErrorText(error).c_str());
    return kExitError;
}

// Runs the `index`th step of `args` on the session's engine.
Outcome runStep(Session& session, const Arguments& args, size_t index, JobList& jobList, StandardOutput& out,
                const JobRecord& record)
{
    EngineState& engine = session.engine();
    const Step& s = args.steps[index];
    switch (s.kind) {
    case OptionId::LoadMatrix: return session.loadMatrix(s.value, s.label);
    case OptionId::SaveMatrix: return session.saveMatrix(s.value, s.label);
    case OptionId::ExportMatrix: return session.exportMatrix(s.value, s.label);
    case OptionId::ImportMatrix: return session.importMatrix(s.value, s.label);
    case OptionId::Predict: return session.run(s.label, [&] { predictStep(session, s.value, out); });
    case OptionId::RecallTable:
        return session.run(s.label, [&] {
            recallTableStep(engine, s, jobList, args.tol.value_or(engine.state().tol),
                            {&s, index, parametersRead(engine, args)}, record);
        });
    case OptionId::Noise:
        return session.run(s.label, [&] {
            noiseStep(engine, s, jobList, args.noise, args.tol.value_or(engine.state().tol),
                      {&s, index, parametersRead(engine, args)}, record);
        });
    default: return {};
    }
}

int runSteps(Session& session, const Arguments& args, const std::string& dir, StandardOutput& out,
             const JobRecord& record);

// The Solve and the steps of `args` on the job folder `dir`. `given` holds
// what the tables were made from when they are made again (--replay); else
// the run's own files are recorded. Returns the exit status.
int runJob(Session& session, Arguments& args, const std::string& dir, StandardOutput& out,
           const std::vector<std::string>& command, const JobRecord* given)
{
    EngineState& engine = session.engine();
    const std::string patternsPath = absoluteName(args.patternsFile);
    const std::string statsPath = absoluteName(args.statsFile);
    if (args.dirGiven) {
        resolveFiles(args.steps);
        session.setFolder(dir, dir);
    } else {
        session.setFolder({}, dir);
    }
    // An output must never overwrite an input: checked before anything is
    // written.
    if (const std::string clash = findFileClash(fileUses(engine, args, patternsPath, statsPath)); !clash.empty())
        return usageError(clash + "; nothing was written");
    // Steps that read the job's list without a Solve share the folder with
    // other readers, never with a run that writes the job files.
    FolderLock readLock;
    if (args.solve || !args.patternsFile.empty()) {
        if (const Outcome locked = session.lockFolder(); !locked.ok()) {
            std::fprintf(stderr, "error: %s\n", locked.message.c_str());
            return kExitFolderInUse;
        }
    } else if (readsJobList(args) && !readLock.tryLockShared(dir)) {
        std::fprintf(stderr, "error: %s\n", folderInUseMessage(dir, readLock.holder()).c_str());
        return kExitFolderInUse;
    }
    // What the tables are made from, for their sidecars; a run without
    // tables reads nothing more.
    const JobRecord record = given ? *given : writesTable(args) ? recordJob(args, dir, patternsPath, command) : JobRecord{};
    if (!args.patternsFile.empty()) {
        std::string message;
        switch (writePatternJob(patternsPath, args.patternsFile, engine.state().jobFolder, dir, message,
                                [&](const ListShape& shape) { return takeListShape(args, shape); })) {
        case PatternJobOutcome::Written: break;
        case PatternJobOutcome::BadList:
            std::fprintf(stderr, "duolink-batch: %s\n", message.c_str());
            return kExitUsage;
        case PatternJobOutcome::WriteFailed:
            std::fprintf(stderr, "error: --patterns %s: %s\n", args.patternsFile.c_str(), message.c_str());
            return kExitError;
        }
    }

    // --set: the run reads the file's text with the values replaced, exactly
    // as it would read the edited file. A file that cannot be read is left
    // to the job, which reports it.
    if (args.settingsGiven) {
        std::string parameters;
        std::string readError;
        if (readParametersFile(engine.pathOf(kParametersFileName), parameters, readError))
            engine.setJobFileText(kParametersFileName, editParameters(parameters, args.settings));
    }

    return runSteps(session, args, dir, out, record);
}

// The Solve and the steps, once the job folder is held and the job written.
int runSteps(Session& session, const Arguments& args, const std::string& dir, StandardOutput& out,
             const JobRecord& record)
{
    EngineState& engine = session.engine();
    const std::string patternsPath = absoluteName(args.patternsFile);
    const std::string statsPath = absoluteName(args.statsFile);
    StatsFileWriter stats;
    stats.watchStop(engine.stopFlagPointer());
    StdoutPane pane(out, args.quiet);
    LiveStatus status(engine, isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) != 1);
    engine.consoleChannel().consolePane = &pane;
    engine.consoleChannel().r2Edit = &status;
    engine.consoleChannel().runProgressBar = &status;

    JobList jobList(engine, patternsPath, args.patternsFile);
    Outcome outcome;
    if (!args.statsFile.empty()) {
        outcome = session.run("--stats " + args.statsFile, [&] { stats.open(statsPath); });
        engine.setTrainingObserver(&stats);
    }
    if (outcome.ok() && args.solve)
        outcome = session.solveExistingJob("solve " + dir);
    for (size_t index = 0; index < args.steps.size(); ++index) {
        // Interrupted: the job's report is complete; the steps after it are
        // not run.
        if (!outcome.ok() || session.engine().stopRequested())
            break;
        outcome = runStep(session, args, index, jobList, out, record);
    }
    std::string error;
    int exitCode = presentOutcome(outcome, error);
    if (exitCode == kExitOk && engine.stopRequested())
        exitCode = kExitStopped;
    out.flush();
    status.finishLive();
    if (!error.empty())
        std::fprintf(stderr, "%s\n", error.c_str());
    if (out.error()) {
        const int outputStatus = outputError(out.error());
        if (exitCode == kExitOk)
            exitCode = outputStatus;
    }
    std::fprintf(stderr, "R2 Correlation: %s\nProgress: %d\n", status.r2Text.c_str(), status.progress.position);
    return exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with EFBIG ("Disk full") instead
    // of the signal ending the program; a closed pipe fails with EPIPE.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    StandardOutput out(reserveStandardStreams());
    // The runner's one session and its engine.
    auto sessionOwner = std::make_unique<Session>();
    Session& session = *sessionOwner;
    EngineState& engine = session.engine();
    const EngineOptions engineOptions = engineOptionsFromEnvironment();
    engine.setOptions(engineOptions);
    stopOnInterruptSignals(engine.stopFlagPointer());
    out.watchStop(engine.stopFlagPointer());

    if (argc >= 2 && std::string_view(argv[1]) == "--replay") {
        if (argc < 3 || argc > 4 || !*argv[2])
            return usageError("--replay takes FILE.json and, if wanted, the file to write (standard output when not given)");
        return replayAnalysis(argv[2], argc == 4 ? argv[3] : "-", false, *engine.stopFlagPointer(),
                              [&](Arguments& args, const JobRecord& record) {
                                  args.analysis.engineOptions = engineOptions;
                                  return runJob(session, args, args.dir, out, record.command, &record);
                              });
    }
    Arguments args;
    try {
        args = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        return usageError(e.what());
    }
    if (args.settingsGiven && !args.solve)
        return usageError("--set changes the Solve; it cannot go with --no-solve");
    if (args.action != Arguments::Action::Run) {
        out.write(args.action == Arguments::Action::Help ? helpText() : versionText("duolink-batch"));
        out.flush();
        return out.error() ? outputError(out.error()) : kExitOk;
    }

    const std::string dir = args.dirGiven ? args.dir : ".";
    const std::string patternsPath = absoluteName(args.patternsFile);
    // A folder that is not there is a usage error for every kind of run.
    if (const int why = args.dirGiven ? folderError(dir) : 0)
        return usageError("cannot enter " + dir + ": " + std::strerror(why));
    args.analysis.engineOptions = engineOptions;
    if (args.analysis.wanted()) {
        args.analysis.progress = !args.quiet && isatty(STDERR_FILENO) == 1;
        args.analysis.command.assign(argv, argv + argc);
        return runAnalysis(args.analysis, dir, patternsPath, args.patternsFile, *engine.stopFlagPointer());
    }
    return runJob(session, args, dir, out, std::vector<std::string>(argv, argv + argc), nullptr);
}
