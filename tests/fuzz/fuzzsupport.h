// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the fuzz targets: a private working folder, sinks that drop what
// the engine shows, a clean engine for every input, the section format of
// inputs that carry several files, and the checks that make a finding.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "core/support/console.h"
#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "core/support/numgrammar.h"
#include "core/session/session.h"

// A property the target expects of the code under test; a failed one aborts,
// which libFuzzer reports as a crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                          \
    do {                                                                                               \
        if (!(condition)) {                                                                            \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                              \
        }                                                                                              \
    } while (0)

namespace duolink::fuzz {

inline std::filesystem::path privateFolder;

// libFuzzer reads its file and folder arguments only after
// LLVMFuzzerInitialize: the ones given relative to the starting folder are
// made absolute before the target leaves it.
inline void makePathArgumentsAbsolute(int* argc, char*** argv)
{
    static constexpr std::string_view kPathFlags[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict="};
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        if (i > 0 && !argument.empty() && argument[0] != '-') {
            argument = std::filesystem::absolute(argument).string();
        } else {
            for (std::string_view flag : kPathFlags)
                if (argument.size() > flag.size() && argument.starts_with(flag))
                    argument = std::string(flag) + std::filesystem::absolute(argument.substr(flag.size())).string();
        }
        arguments.push_back(std::move(argument));
    }
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    *argv = pointers.data();
}

// The engine's files have fixed names in the working directory, so each
// target works in a fresh folder of its own (under TMPDIR), removed again
// when the fuzzer ends normally. Called once, from LLVMFuzzerInitialize.
inline void enterPrivateFolder(const char* targetName, int* argc, char*** argv)
{
    makePathArgumentsAbsolute(argc, argv);
    std::string name = (std::filesystem::temp_directory_path() / (std::string("duolink-") + targetName + "-XXXXXX")).string();
    if (::mkdtemp(name.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    privateFolder = name;
    std::filesystem::current_path(privateFolder);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(privateFolder, ignored);
    });
}

inline void writeFile(const std::string& name, std::string_view data)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s in %s\n", name.c_str(), privateFolder.c_str());
        std::abort();
    }
}

inline void removeFile(const std::string& name)
{
    std::error_code ignored;
    std::filesystem::remove(name, ignored);
}

struct DiscardPane : ConsolePane {
    void appendLine(std::string_view) override {}
};

struct DiscardField : TextField {
    void setText(std::string_view) override {}
};

struct DiscardProgress : ProgressBar {
    void setMinimum(int) override {}
    void setMaximum(int) override {}
    void stepBy(int) override {}
};

// The session of the input being run (made by startCleanEngine).
inline Session*& currentSession()
{
    static Session* session = nullptr;
    return session;
}

inline Session& session()
{
    return *currentSession();
}

inline EngineState& engine()
{
    return session().engine();
}

} // namespace duolink::fuzz

namespace duolink {
// The engine's state as its readers see it, for the targets that drive
// those readers one by one.
struct EngineProbe {
    static EngineStateData& stateOf(EngineState& engine) { return engine; }
};
} // namespace duolink

namespace duolink::fuzz {

inline EngineStateData& probe()
{
    return EngineProbe::stateOf(engine());
}

// Every input starts from a new engine, as a freshly started program has, so
// that a finding reproduces from its input alone. It works in the private
// folder.
inline void startCleanEngine()
{
    static DiscardPane pane;
    static DiscardField r2;
    static DiscardProgress progress;
    delete currentSession();
    currentSession() = new Session;
    session().setFolder(privateFolder);
    engine().consoleChannel().consolePane = &pane;
    engine().consoleChannel().r2Edit = &r2;
    engine().consoleChannel().runProgressBar = &progress;
}

// Runs an engine command through the session's ladder. An input or
// arithmetic error and a terminated job are how the engine ends a command
// on bad input; they are clean outcomes. Anything else is a finding. True
// when the command ran to its end.
template <class Command>
bool runCommand(Command&& command)
{
    const Outcome outcome = session().run("fuzz", command);
    if (outcome.unexpected) {
        std::fprintf(stderr, "unexpected failure: %s\n", outcome.message.c_str());
        std::abort();
    }
    // Two messages name a fault of the program, never of its input: a write
    // to the report after it was closed, and a matrix addressed with lengths
    // that do not fit the store.
    if (outcome.message == "File not open" || outcome.message == "Range check error") {
        std::fprintf(stderr, "engine fault reported as a run error: %s\n", outcome.message.c_str());
        std::abort();
    }
    return outcome.ok();
}

// Inputs that carry several files hold them one after another, separated by
// lines that hold exactly "=====" and end with LF. A section keeps its own
// line ends; the LF that ends a separator line belongs to the separator.
inline constexpr std::string_view kSectionSeparator = "=====\n";

inline std::vector<std::string_view> splitSections(std::string_view input)
{
    std::vector<std::string_view> sections;
    size_t start = 0;
    size_t line = 0;
    while (line < input.size()) {
        if (input.substr(line).starts_with(kSectionSeparator)) {
            sections.push_back(input.substr(start, line - start));
            start = line + kSectionSeparator.size();
            line = start;
            continue;
        }
        size_t end = input.find('\n', line);
        line = end == std::string_view::npos ? input.size() : end + 1;
    }
    sections.push_back(input.substr(start));
    return sections;
}

inline std::string_view asText(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The job files a job target reads, the simulation file named as a user
// might.
inline constexpr long long kMaxPresentations = 20;

inline constexpr std::array<const char*, 4> kFileNames = {kParametersFileName, kADataFileName, kBDataFileName, "NuTest.Dat"};

// Finds the token the parameter reader takes as MAX Presentations and
// lowers it in place, padded with leading zeros to its old length so that
// every other character stays where it was. The reader takes a parameter as
// the next token (at most 32 characters above the blank, after skipping
// blanks, control characters and line ends) and then skips the rest of its
// line up to the next LF: MAX Presentations is the first token after the
// line of the run option, which may lie any number of lines further down,
// or not exist when no LF follows.
void limitPresentations(std::string& parameters)
{
    constexpr size_t kTokenLength = 32;
    size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < parameters.size() && static_cast<unsigned char>(parameters[pos]) <= ' ')
            ++pos;
    };
    auto takeToken = [&] {
        const size_t start = pos;
        while (pos < parameters.size() && pos - start < kTokenLength &&
               static_cast<unsigned char>(parameters[pos]) > ' ')
            ++pos;
        return start;
    };

    skipBlanks();
    takeToken();
    const size_t lineEnd = parameters.find('\n', pos);
    if (lineEnd == std::string::npos)
        return;
    pos = lineEnd + 1;
    skipBlanks();
    const size_t start = takeToken();
    const size_t length = pos - start;
    long long value = 0;
    if (!parseIntToken(std::string_view(parameters).substr(start, length), value) || value <= kMaxPresentations)
        return;
    const std::string lowered = std::to_string(kMaxPresentations);
    parameters.replace(start, length, std::string(length - lowered.size(), '0') + lowered);
}

// Writes the sections of an input as the job files, in the order of
// kFileNames, with MAX Presentations held down; the files of missing
// sections are removed, and so is an old report. Returns the texts written.
inline std::vector<std::string> writeJobSections(const std::vector<std::string_view>& sections)
{
    std::vector<std::string> texts;
    for (size_t k = 0; k < kFileNames.size(); ++k) {
        if (k >= sections.size()) {
            removeFile(kFileNames[k]);
            continue;
        }
        texts.emplace_back(sections[k]);
        if (k == 0)
            limitPresentations(texts.back());
        writeFile(kFileNames[k], texts.back());
    }
    removeFile(kReportFileName);
    return texts;
}

} // namespace duolink::fuzz
