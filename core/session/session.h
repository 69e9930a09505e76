// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's commands on one engine, its pattern list and its working folder.
// The window and the runner each own a session, call its commands and present
// the outcome; neither sequences the engine itself. Every command ends in an
// Outcome, never in an exception: this is the program's one catch ladder.
#include <filesystem>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/engine/state.h"
#include "core/guard/folderlock.h"
#include "core/engine/observer.h"
#include "core/patterns/patternlist.h"
#include "core/patterns/patterns.h"
#include "core/session/listshape.h"

namespace duolink {

// How a command ended.
struct Outcome {
    enum class Status {
        Done,        // the command did its work (a Solve: see `end`)
        Terminated,  // a job ended on a fatal input error; `reason` says which
        Failed,      // an input/output or arithmetic error, or no memory
        FolderInUse, // another run holds the job folder; nothing was done
    };
    Status status = Status::Done;
    std::optional<RunEnd> end; // how a training ended
    std::string step;          // the command ("Solve", "--load-matrix m.vmat2", ...)
    std::string file;          // the file a failure concerns, as the command named it
    std::string message;       // what went wrong, for the user
    std::string reason;        // a terminated job's line before "Terminating Program"
    int systemError = 0;       // the errno value of a failed file operation, 0 for others
    std::size_t line = 0;      // the line of the file the failure was found in, 0 when none
    bool inPresentations = false; // an arithmetic error while the training presented pairs
    bool outOfMemory = false;
    bool unexpected = false; // a failure of a kind no command raises

    bool ok() const { return status == Status::Done; }
};

class Session {
public:
    // Runs a Solve's work: at once by default, or handed to `run` (the
    // window runs it on a worker thread and returns once it has ended,
    // rethrowing what it threw).
    using WorkRunner = std::function<void(const std::function<void()>& work)>;

    // The text the window's data fields start with; the runner's Predict
    // takes it for the B values it is not given.
    static constexpr std::string_view kStartFieldText = "0.001";
    static std::array<std::string_view, 8> startFieldTexts()
    {
        std::array<std::string_view, 8> texts;
        texts.fill(kStartFieldText);
        return texts;
    }

    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    EngineState& engine() { return *engine_; }
    const EngineState& engine() const { return *engine_; }
    PatternList& patterns() { return patterns_; }
    const PatternList& patterns() const { return patterns_; }
    // The list of another shape, when one is open: Solve, Save and Predict
    // then work on it instead of the fixed list.
    ShapedDocument& shapedList() { return shaped_; }
    const ShapedDocument& shapedList() const { return shaped_; }

    // The working folder: the engine's job folder. `shownName` is how
    // messages name it (default: the path).
    const std::filesystem::path& folder() const { return engine_->state().jobFolder; }
    void setFolder(const std::filesystem::path& folder, std::string shownName = {});
    const std::string& shownFolder() const { return shownFolder_; }

    // Holds the folder lock until unlockFolder (the runner, for its whole
    // run). A FolderInUse outcome when another run holds it.
    Outcome lockFolder();
    void unlockFolder() noexcept { lock_.reset(); }

    // Solve: under the folder lock, writes the job files from a snapshot of
    // the list and trains. The list counts as written once the files are.
    Outcome solve(const WorkRunner& run = {});
    // The runner's Solve on the job files already in the folder.
    Outcome solveExistingJob(const std::string& step = "Solve");
    // Writes the job files of the list into the folder, under the lock.
    Outcome writeJobFiles(const std::string& step);
    // Recalls the B values from `a` into `b` (elements 1..8).
    Outcome predict(const TPatternVector& a, TPatternVector& b, const std::string& step = "Predict");
    Outcome loadMatrix(const std::string& path, const std::string& step = "Load Matrix");
    Outcome saveMatrix(const std::string& path, const std::string& step = "Save Matrix");
    // The whole matrix exactly (core/predict/exactmatrix.h).
    Outcome exportMatrix(const std::string& path, const std::string& step = "Export Matrix");
    Outcome importMatrix(const std::string& path, const std::string& step = "Import Matrix");

    // Reads the pattern list file `path` whole into `pairs`; messages name
    // it `shownName`. The list itself is left to the caller, who may ask
    // before replacing it.
    Outcome readPatternList(const std::string& path, std::string_view shownName, PatternPairs& pairs,
                            const std::string& step = "Open Pattern List");
    // readPatternList for a list of any shape.
    Outcome readShapedList(const std::string& path, std::string_view shownName, ShapedPairs& pairs,
                           const std::string& step = "Open Pattern List");
    // Recalls B Len values from the A values of a list of another shape
    // (A Len values, the parity element last) through a matrix trained on
    // such a list.
    Outcome predictShaped(const std::vector<double>& a, std::vector<double>& b, const std::string& step = "Predict");
    // The list as the text of a pattern list file.
    Outcome patternListText(std::string& text, const std::string& step = "Save Pattern List");

    // Runs any other command body under the same ladder: afterwards no half
    // line is left pending in the pane.
    Outcome run(const std::string& step, const std::function<void()>& body);

private:
    // Takes the lock into `local` unless the session holds it already; false
    // when another run holds it (`busy` then says so).
    bool takeLock(std::optional<FolderLock>& local, Outcome& busy);

    // A Solve of the list of another shape: its job files, and the folder's
    // parameters with the list's lengths (the file itself is left as it is).
    RunEnd solveShaped(const ShapedPairs& list);

    std::unique_ptr<EngineState> engine_;
    PatternList patterns_;
    ShapedDocument shaped_;
    std::string shownFolder_;
    std::unique_ptr<FolderLock> lock_;
};

} // namespace duolink
