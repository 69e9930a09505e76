// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parameters/paramsfile.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/textfile.h"
#include "core/support/numgrammar.h"

namespace duolink {

namespace {

constexpr std::array<ParameterInfo, kParameterCount> kInfo = {{
    {"option", true, "run option"},
    {"max", true, "MAX Presentations"},
    {"alen", true, "A Len"},
    {"blen", true, "B Len"},
    {"simulation", true, "simulation pass"},
    {"beta", false, "BETA"},
    {"limit", false, "LIMIT"},
    {"transfer", true, "transfer function"},
    {"unity", true, "UNITY"},
    {"tol", false, "TOL"},
}};

// The longest token the engine reads for an integer and for a real.
constexpr size_t kIntToken = 32;
constexpr size_t kRealToken = 64;
// A parameters file is a few hundred bytes; the largest W matrix section
// a few hundred kilobytes.
constexpr off_t kMaxFileSize = 16 << 20;

size_t index(Parameter p) { return static_cast<size_t>(p); }

// The engine's way through a text: values are tokens, lines are skipped.
struct Cursor {
    std::string_view text;
    size_t pos = 0;
    int peek() const { return pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1; }
    void advance() { ++pos; }
    // The next whole run of characters above the blank; empty at the end.
    std::string_view token()
    {
        while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= ' ')
            ++pos;
        const size_t start = pos;
        while (pos < text.size() && static_cast<unsigned char>(text[pos]) > ' ')
            ++pos;
        return text.substr(start, pos - start);
    }
    void skipLine()
    {
        const size_t end = text.find('\n', pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
    }
};

} // namespace

const ParameterInfo& parameterInfo(Parameter p)
{
    return kInfo[index(p)];
}

std::optional<Parameter> parameterByName(std::string_view name)
{
    for (size_t k = 0; k < kInfo.size(); ++k)
        if (kInfo[k].name == name)
            return static_cast<Parameter>(k);
    return std::nullopt;
}

bool parameterValue(Parameter p, std::string_view token, double& value)
{
    value = 0;
    if (parameterInfo(p).integer) {
        long long v = 0;
        if (token.size() > kIntToken || !parseIntToken(token, v) || v < INT_MIN || v > INT_MAX)
            return false;
        value = static_cast<double>(v);
        return true;
    }
    return token.size() <= kRealToken && parseRealToken(token, value);
}

bool simulationOn(std::string_view token)
{
    double value = 0;
    return parameterValue(Parameter::Simulation, token, value) && value == 1;
}

ParametersLayout scanParameters(std::string_view text)
{
    ParametersLayout layout;
    const size_t firstEnd = text.find('\n');
    layout.lineEnd = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    Cursor in{text};
    for (ParametersLayout::Token& token : layout.tokens) {
        token.text = in.token();
        token.offset = token.text.empty() ? text.size() : static_cast<size_t>(token.text.data() - text.data());
        in.skipLine();
    }
    layout.wMatrixOffset = in.pos;
    return layout;
}

ParameterValues readParameterValues(std::string_view text)
{
    const ParametersLayout layout = scanParameters(text);
    ParameterValues values;
    for (size_t k = 0; k < kParameterCount; ++k) {
        const auto p = static_cast<Parameter>(k);
        std::string_view token = layout.tokens[k].text;
        // The engine reads no more of a long run than its token length.
        token = token.substr(0, parameterInfo(p).integer ? kIntToken : kRealToken);
        values.ok[k] = token.empty() || parameterValue(p, token, values.value[k]);
    }
    return values;
}

bool hasWMatrixSection(std::string_view text, const ParametersLayout& layout, int aLen, int bLen)
{
    if (aLen < 1 || aLen > 128 || bLen < 1 || bLen > 128)
        return false;
    Cursor in{text, layout.wMatrixOffset};
    const int lines = (bLen - 1) / 16 + 1;
    const int perLine = std::min(bLen, 16);
    char token[kRealToken];
    for (int line = 0; line < aLen * lines; ++line) {
        // As the engine reads them: a run longer than a token is two values.
        for (int c = 0; c < perLine; ++c)
            if (readToken(in, token, kRealToken) == 0)
                return false;
        in.skipLine();
    }
    return true;
}

std::string editParameters(std::string_view text, const ParametersEdit& edit)
{
    const ParametersLayout layout = scanParameters(text);
    size_t missing = 0;
    while (missing < kParameterCount && !layout.tokens[missing].text.empty())
        ++missing;

    std::string out;
    out.reserve(text.size() + 64);
    size_t pos = 0;
    for (size_t k = 0; k < missing; ++k) {
        if (!edit.values[k])
            continue;
        const ParametersLayout::Token& token = layout.tokens[k];
        out.append(text, pos, token.offset - pos);
        out += *edit.values[k];
        if (decimalPrefix(token.text) > 0) {
            pos = token.offset + token.text.size();
        } else {
            out += ' ';
            pos = token.offset;
        }
    }

    // The values after the end of the file, up to the last one given.
    size_t last = missing;
    for (size_t k = missing; k < kParameterCount; ++k)
        if (edit.values[k])
            last = k + 1;
    if (edit.wMatrixSection)
        last = kParameterCount;
    const bool appending = last > missing;
    const size_t keptEnd = edit.wMatrixSection && !appending ? layout.wMatrixOffset : text.size();
    out.append(text, pos, keptEnd - pos);
    if ((appending || edit.wMatrixSection) && !out.empty() && out.back() != '\n')
        out += layout.lineEnd;
    for (size_t k = missing; k < last; ++k) {
        out += edit.values[k] ? *edit.values[k] : std::string("0");
        out += layout.lineEnd;
    }
    if (edit.wMatrixSection)
        out += *edit.wMatrixSection;
    return out;
}

std::string formatWMatrixSection(const double* cells, int aLen, int bLen, std::string_view lineEnd)
{
    std::string out;
    const int lines = (bLen - 1) / 16 + 1;
    const int perLine = std::min(bLen, 16);
    char buf[32];
    for (int i = 1; i <= aLen; ++i) {
        for (int b = 0; b < lines; ++b) {
            for (int c = 1; c <= perLine; ++c) {
                const int j = 16 * b + c;
                const double value = j <= bLen ? cells[j + (i - 1) * bLen] : 0.0;
                if (c > 1)
                    out += ' ';
                // The shortest text that reads back as the same double.
                out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
            }
            out += lineEnd;
        }
    }
    return out;
}

// --- Checks -------------------------------------------------------------------------

std::vector<ParameterMessage> checkParameters(const std::array<std::string, kParameterCount>& texts,
                                              const ParametersContext& context)
{
    std::vector<ParameterMessage> messages;
    std::array<double, kParameterCount> v{};
    std::array<bool, kParameterCount> ok{};
    auto error = [&](Parameter p, std::string text) { messages.push_back({p, true, std::move(text)}); };
    auto warning = [&](Parameter p, std::string text) { messages.push_back({p, false, std::move(text)}); };
    for (size_t k = 0; k < kParameterCount; ++k) {
        const auto p = static_cast<Parameter>(k);
        ok[k] = parameterValue(p, texts[k], v[k]);
        if (texts[k].empty())
            error(p, "Enter a value.");
        else if (!ok[k])
            error(p, parameterInfo(p).integer ? "Not a whole number." : "Not a number.");
    }
    auto has = [&](Parameter p) { return ok[index(p)]; };
    auto at = [&](Parameter p) { return v[index(p)]; };

    if (has(Parameter::Option) && (at(Parameter::Option) < 1 || at(Parameter::Option) > 4))
        warning(Parameter::Option, "Not 1 to 4: the report gets an empty line per pair and no final matrix.");
    if (has(Parameter::Max) && at(Parameter::Max) < 0)
        error(Parameter::Max, "At least 0.");
    bool lengths = true;
    for (Parameter p : {Parameter::ALen, Parameter::BLen}) {
        if (has(p) && (at(p) < 1 || at(p) > 128)) {
            error(p, "From 1 to 128.");
            lengths = false;
        }
        lengths = lengths && has(p);
    }
    if (lengths && at(Parameter::ALen) * at(Parameter::BLen) > 2700)
        error(Parameter::BLen, "A Len \u00d7 B Len is " + std::to_string(static_cast<int>(at(Parameter::ALen) *
                                                                                           at(Parameter::BLen))) +
                                   "; at most 2700.");
    if (has(Parameter::Option) && at(Parameter::Option) == 1 && !context.wMatrixSection)
        warning(Parameter::Option, "No W matrix section for these lengths: its values read as 0.");
    if (has(Parameter::Simulation) && at(Parameter::Simulation) == 1 && !context.simulationFilePresent)
        warning(Parameter::Simulation, "nutest.dat is not in the folder: a Solve would stop.");
    if (has(Parameter::Transfer) && at(Parameter::Transfer) != 1 && at(Parameter::Transfer) != 2)
        warning(Parameter::Transfer, "The engine takes transfer function 1 instead.");
    if (has(Parameter::Unity) && at(Parameter::Unity) < 1)
        error(Parameter::Unity, "At least 1.");
    else if (has(Parameter::Unity) && at(Parameter::Unity) != 10000)
        warning(Parameter::Unity, "Predict works in UNITY 10000.");
    return messages;
}

// --- Files --------------------------------------------------------------------------

bool readParametersFile(const std::string& name, std::string& text, std::string& error)
{
    FileDescriptor fd(openInputFile(name));
    struct stat st{};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        error = ioErrorMessage(errno);
        return false;
    }
    if (st.st_size > kMaxFileSize) {
        error = "The file is too large to be a parameters file.";
        return false;
    }
    std::string content;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = ioErrorMessage(errno);
            return false;
        }
        if (n == 0)
            break;
        content.append(buf, static_cast<size_t>(n));
        if (content.size() > static_cast<size_t>(kMaxFileSize)) {
            error = "The file is too large to be a parameters file.";
            return false;
        }
    }
    text = std::move(content);
    return true;
}

bool writeParametersFile(const std::string& name, std::string_view text, std::string& error)
{
    if (int err = replaceFile(name, text)) {
        error = fileErrorText(err);
        return false;
    }
    return true;
}

} // namespace duolink
