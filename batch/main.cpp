// duolink-batch: runs a Solve headless on the job files of a folder, then
// optional Load Matrix / Predict / Save Matrix steps on the same engine state.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <new>
#include <vector>

#include "core/console.h"
#include "core/numtext.h"
#include "core/patterns.h"
#include "core/engine/errors.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/engine/stop.h"
#include "core/predict/matrixfile.h"
#include "core/predict/recall.h"

using namespace duolink;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitTerminated = 3;
constexpr int kExitError = 4;
constexpr int kExitStopped = 130; // as a shell reports a program ended by SIGINT

const char* const kUsage =
    "usage: duolink-batch [DIR] [--no-solve] [--load-matrix FILE | --predict \"V1 ... V8\" | --save-matrix FILE]...\n"
    "\n"
    "Runs the job in DIR (default: the current folder) as the window's Solve would,\n"
    "on the job files already there: adata200.dat, bdata200.dat, veld200gSetup.dat.\n"
    "Writes vld33res.txt there and prints every text-pane line to standard output.\n"
    "Then runs the other options in the order given, on the same engine state:\n"
    "  --no-solve            skip the Solve\n"
    "  --load-matrix FILE    load a matrix file (.vmat2) as Load Matrix does\n"
    "  --predict \"V1 ... V8\" recall B from eight A values as Predict does; prints \"B: \" and the B fields\n"
    "  --save-matrix FILE    save the matrix block as Save Matrix does\n"
    "At the end it prints \"R2 Correlation: \" and \"Progress: \" lines to standard error.\n"
    "Exit status: 0 done, 2 usage error, 3 job terminated by an input error (see vld33res.txt),\n"
    "4 an I/O or arithmetic error.\n";

class StdoutPane : public ConsolePane {
public:
    void appendLine(std::string_view line) override
    {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
};

class LiveStatus : public TextField, public ProgressBar {
public:
    explicit LiveStatus(bool live) : live_(live) {}
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
        std::fprintf(stderr, "\r\033[Kpresentation %d of %d, R2 %s", presentationNo, maxPresentations,
                     r2Text.c_str());
        std::fflush(stderr);
    }
    bool live_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

struct Step {
    enum Kind { Load, Predict, Save } kind;
    std::string arg;
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "duolink-batch: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(text.substr(start, i - start));
    }
    return fields;
}

void predictStep(const std::string& values)
{
    std::vector<std::string> fields = splitFields(values);
    std::array<std::string_view, 8> texts{};
    for (size_t k = 0; k < 8; ++k)
        texts[k] = fields[k];
    TPatternVector a = vectorFromTexts(texts);
    // The B fields keep their start-up text.
    TPatternVector b = vectorFromTexts({"0.001", "0.001", "0.001", "0.001", "0.001", "0.001", "0.001", "0.001"});
    recallB(a, b);
    std::string line = "B: ";
    for (int j = 1; j <= 8; ++j)
        line += realText(b[j]);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with EFBIG ("Disk full") instead
    // of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    stopOnInterruptSignals();

    std::string dir;
    bool solve = true;
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto needValue = [&](const char* option) -> const char* {
            if (i + 1 >= argc)
                return nullptr;
            (void)option;
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--no-solve") {
            solve = false;
        } else if (arg == "--load-matrix" || arg == "--save-matrix" || arg == "--predict") {
            const char* value = needValue(arg.c_str());
            if (!value)
                return usageError(arg + " needs a value");
            if (arg == "--predict" && splitFields(value).size() != 8)
                return usageError("--predict needs eight values in one argument");
            Step::Kind kind = arg == "--load-matrix" ? Step::Load : arg == "--save-matrix" ? Step::Save : Step::Predict;
            steps.push_back({kind, value});
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (dir.empty()) {
            dir = arg;
        } else {
            return usageError("only one folder may be given");
        }
    }
    if (!dir.empty() && ::chdir(dir.c_str()) != 0)
        return usageError("cannot enter " + dir + ": " + std::strerror(errno));

    static char outBuffer[1 << 20];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    StdoutPane pane;
    LiveStatus status(isatty(STDERR_FILENO) == 1);
    consolePane = &pane;
    r2Edit = &status;
    runProgressBar = &status;

    int exitCode = kExitOk;
    std::string error;
    try {
        if (solve)
            solveExistingJob();
        for (const Step& step : steps) {
            if (stopRequested())
                break;
            switch (step.kind) {
            case Step::Load: loadMatrixFile(step.arg); break;
            case Step::Save: saveMatrixFile(step.arg); break;
            case Step::Predict: predictStep(step.arg); break;
            }
        }
    } catch (const JobTerminated&) {
        exitCode = kExitTerminated;
    } catch (const RunError& e) {
        exitCode = kExitError;
        error = e.what();
    } catch (const std::bad_alloc&) {
        exitCode = kExitError;
        error = kOutOfMemory;
    } catch (const std::exception& e) {
        exitCode = kExitError;
        error = e.what();
    }
    closeEngineFiles();
    if (exitCode == kExitOk && stopRequested())
        exitCode = kExitStopped;
    std::fflush(stdout);
    status.finishLive();
    if (!error.empty())
        std::fprintf(stderr, "error: %s\n", error.c_str());
    std::fprintf(stderr, "R2 Correlation: %s\nProgress: %d\n", status.r2Text.c_str(), status.progress.position);
    return exitCode;
}
