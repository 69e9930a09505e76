// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parameters file "veld200gSetup.dat" as a text both programs read and
// edit. Its first ten values are found the way the engine finds them: a value
// is the first token after the previous value's line, line ends crossed
// freely; at the end of the file a value reads as 0. After the tenth value's
// line comes the W matrix section, read only with run option 1.
//
// Editing replaces the tokens of the values it is given and keeps every
// other byte: the comments behind the values, blank lines, the line ends and
// the W matrix section.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duolink {

enum class Parameter { Option, Max, ALen, BLen, Simulation, Beta, Limit, Transfer, Unity, Tol };
inline constexpr int kParameterCount = 10;

struct ParameterInfo {
    std::string_view name; // as the runner's --set names it
    bool integer;          // an integer line; the others hold reals
    std::string_view label;
};
const ParameterInfo& parameterInfo(Parameter p);
// The parameter of that --set name, if any.
std::optional<Parameter> parameterByName(std::string_view name);

// What the engine takes from a token of that parameter's line: false when
// it is not a number of the line's kind (an integer beyond 32 bits, a real
// beyond the double range, a token longer than the engine reads).
bool parameterValue(Parameter p, std::string_view token, double& value);

// Whether a simulation line's token turns the simulation pass on, as the
// engine reads it: "1", and also "01" or "+1".
bool simulationOn(std::string_view token);

// Where a file's ten values stand.
struct ParametersLayout {
    struct Token {
        size_t offset = 0;       // where the token starts, or where a missing one would go
        std::string_view text;   // empty: the file ended first, the value reads as 0
    };
    std::array<Token, kParameterCount> tokens;
    size_t wMatrixOffset = 0;    // the first byte after the tenth value's line
    std::string_view lineEnd;    // "\r\n" when the file's first line ends so, else "\n"
};
ParametersLayout scanParameters(std::string_view text);

// The ten values as the engine reads them.
struct ParameterValues {
    std::array<double, kParameterCount> value{};
    std::array<bool, kParameterCount> ok{};  // false: not a number, the engine stops
    double operator[](Parameter p) const { return value[static_cast<size_t>(p)]; }
    bool valid(Parameter p) const { return ok[static_cast<size_t>(p)]; }
};
ParameterValues readParameterValues(std::string_view text);

// True when the W matrix section after `layout` holds every value a run
// option 1 run reads for these lengths (lengths out of range give false).
bool hasWMatrixSection(std::string_view text, const ParametersLayout& layout, int aLen, int bLen);

// The new texts of some values, and optionally a new W matrix section that
// replaces everything after the tenth value's line.
struct ParametersEdit {
    std::array<std::optional<std::string>, kParameterCount> values;
    std::optional<std::string> wMatrixSection;
    void set(Parameter p, std::string text) { values[static_cast<size_t>(p)] = std::move(text); }
};
// A token that starts like a number is replaced; one that does not (a line
// holding only a comment) keeps its place behind the new value and a blank.
// Values missing at the end of the file are added as lines of their own,
// with 0 for those not given, as the engine read them.
std::string editParameters(std::string_view text, const ParametersEdit& edit);

// The W matrix section for a matrix of aLen rows and bLen columns, cell
// (i, j) at cells[j + (i - 1) * bLen]: per row (bLen - 1) / 16 + 1 lines of
// min(bLen, 16) values, the cells past bLen on a row's last line as 0. The
// values are written so that they read back exactly.
std::string formatWMatrixSection(const double* cells, int aLen, int bLen, std::string_view lineEnd);

// --- Checks before saving ------------------------------------------------------

struct ParameterMessage {
    Parameter parameter;
    bool error;        // an error keeps the file from being saved; a warning does not
    std::string text;
};
struct ParametersContext {
    bool simulationFilePresent = false;
    bool wMatrixSection = false;  // hasWMatrixSection for the values checked
};
// The value texts as typed; an empty text is a missing value.
std::vector<ParameterMessage> checkParameters(const std::array<std::string, kParameterCount>& texts,
                                              const ParametersContext& context);

// --- Files ------------------------------------------------------------------------

// Reads a whole parameters file. Returns false with `error` set (the system's
// message) when it is not a readable regular file or is implausibly large.
bool readParametersFile(const std::string& name, std::string& text, std::string& error);
// Replaces (or creates) the file as a whole (core/support/atomicwrite.h).
bool writeParametersFile(const std::string& name, std::string_view text, std::string& error);

} // namespace duolink
