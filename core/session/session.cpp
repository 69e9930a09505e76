// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/session.h"

#include <exception>
#include <new>

#include "core/support/errors.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/parameters/paramsfile.h"
#include "core/predict/exactmatrix.h"
#include "core/predict/matrixfile.h"

namespace duolink {

Session::Session() : engine_(std::make_unique<EngineState>()) {}

void Session::setFolder(const std::filesystem::path& folder, std::string shownName)
{
    engine_->setJobFolder(folder);
    shownFolder_ = shownName.empty() ? folder.string() : std::move(shownName);
}

namespace {
std::string lockPath(const std::filesystem::path& folder)
{
    return folder.empty() ? std::string(".") : folder.string();
}
} // namespace

Outcome Session::lockFolder()
{
    Outcome out;
    if (lock_)
        return out;
    auto lock = std::make_unique<FolderLock>();
    if (!lock->tryLock(lockPath(folder()))) {
        out.status = Outcome::Status::FolderInUse;
        out.message = folderInUseMessage(shownFolder_, lock->holder());
        return out;
    }
    lock_ = std::move(lock);
    return out;
}

bool Session::takeLock(std::optional<FolderLock>& local, Outcome& busy)
{
    if (lock_)
        return true;
    local.emplace();
    if (local->tryLock(lockPath(folder())))
        return true;
    busy.status = Outcome::Status::FolderInUse;
    busy.message = folderInUseMessage(shownFolder_, local->holder());
    local.reset();
    return false;
}

Outcome Session::run(const std::string& step, const std::function<void()>& body)
{
    Outcome out;
    out.step = step;
    try {
        body();
        return out;
    } catch (const JobTerminated& e) {
        out.status = Outcome::Status::Terminated;
        out.reason = e.reason();
    } catch (const RunError& e) {
        out.status = Outcome::Status::Failed;
        out.message = e.what();
        out.file = e.file();
        out.systemError = e.systemError();
        out.line = e.line();
        out.inPresentations = e.inPresentations();
    } catch (const PatternListError& e) {
        out.status = Outcome::Status::Failed;
        out.message = e.what();
    } catch (const std::bad_alloc&) {
        // A file too big for the memory left: the command ends, what the
        // program holds stays.
        out.status = Outcome::Status::Failed;
        out.message = kOutOfMemory;
        out.outOfMemory = true;
    } catch (const std::exception& e) {
        // Nothing else is expected from a command; should it happen anyway,
        // it is reported and the program goes on.
        out.status = Outcome::Status::Failed;
        out.message = e.what();
        out.unexpected = true;
    }
    engine_->consoleEndPendingLine();
    engine_->closeEngineFiles();
    return out;
}

Outcome Session::solve(const WorkRunner& runWork)
{
    Outcome out;
    out.step = "Solve";
    std::optional<FolderLock> lock;
    if (!takeLock(lock, out))
        return out;
    engine_->clearStopRequest();
    // The run writes the job files from a copy of the list, which notes them
    // as written; the list takes that note however the run ends.
    PatternList snapshot = patterns_;
    const bool shaped = shaped_.active();
    ShapedPairs shapedSnapshot = shaped ? shaped_.pairs : ShapedPairs{};
    bool shapedWritten = false;
    std::optional<RunEnd> end;
    const auto work = [&] {
        if (!shaped) {
            end = engine_->solveJob(snapshot);
            return;
        }
        writeShapedJobFiles(shapedSnapshot, folder());
        shapedWritten = true;
        end = solveShaped(shapedSnapshot);
    };
    out = run("Solve", [&] {
        if (runWork)
            runWork(work);
        else
            work();
    });
    patterns_.listInFiles = std::move(snapshot.listInFiles);
    if (shapedWritten)
        shaped_.inFiles = std::move(shapedSnapshot);
    out.end = end;
    return out;
}

RunEnd Session::solveShaped(const ShapedPairs& list)
{
    // A parameters file that cannot be read is left to the job, which
    // reports it as it reports it for any list.
    std::string parameters;
    std::string readError;
    if (readParametersFile(engine_->pathOf(kParametersFileName), parameters, readError))
        engine_->setJobFileText(kParametersFileName, parametersForShape(parameters, list.shape));
    struct ForgetTexts {
        EngineState& engine;
        ~ForgetTexts() { engine.clearJobFileTexts(); }
    } forget{*engine_};
    return engine_->solveExistingJob();
}

Outcome Session::solveExistingJob(const std::string& step)
{
    std::optional<RunEnd> end;
    Outcome out = run(step, [&] { end = engine_->solveExistingJob(); });
    out.end = end;
    return out;
}

Outcome Session::writeJobFiles(const std::string& step)
{
    Outcome out;
    std::optional<FolderLock> lock;
    if (!takeLock(lock, out))
        return out;
    return run(step, [&] { duolink::writeJobFiles(patterns_, folder()); });
}

Outcome Session::predict(const TPatternVector& a, TPatternVector& b, const std::string& step)
{
    return run(step, [&] { engine_->recallB(a, b); });
}

Outcome Session::readPatternList(const std::string& path, std::string_view shownName, PatternPairs& pairs,
                                 const std::string& step)
{
    return run(step, [&] { pairs = readPatternListFile(path, shownName); });
}

Outcome Session::patternListText(std::string& text, const std::string& step)
{
    if (shaped_.active())
        return run(step, [&] { text = shapedListText(shaped_.pairs); });
    return run(step, [&] { text = duolink::patternListText(patterns_); });
}

Outcome Session::readShapedList(const std::string& path, std::string_view shownName, ShapedPairs& pairs,
                                const std::string& step)
{
    return run(step, [&] { pairs = readShapedListFile(path, shownName); });
}

Outcome Session::predictShaped(const std::vector<double>& a, std::vector<double>& b, const std::string& step)
{
    return run(step, [&] { b = engine_->recallShapedB(a); });
}

Outcome Session::loadMatrix(const std::string& path, const std::string& step)
{
    return run(step, [&] { loadMatrixFile(*engine_, path); });
}

Outcome Session::saveMatrix(const std::string& path, const std::string& step)
{
    return run(step, [&] { saveMatrixFile(*engine_, path); });
}

Outcome Session::exportMatrix(const std::string& path, const std::string& step)
{
    return run(step, [&] { exportMatrixFile(*engine_, path); });
}

Outcome Session::importMatrix(const std::string& path, const std::string& step)
{
    return run(step, [&] { importMatrixFile(*engine_, path); });
}

} // namespace duolink
