// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/provenance.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nettle/sha2.h>
#include <nlohmann/json.hpp>

#include "core/analysis/exactrecall.h"
#include "core/analysis/memtrain.h"
#include "core/parameters/paramsfile.h"

namespace duolink::analysis {

namespace {

// A JSON string: quotes, backslashes and control characters escaped; other
// bytes as they are.
void appendString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

// 2026-12-08T15:04:05+00:00, as the Python module writes its times.
std::string utcText(std::chrono::system_clock::time_point t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &tm);
    return text;
}

// "key": opening a member, a comma before all but the first.
void key(std::string& out, std::string_view name)
{
    out += out.size() > 1 ? ",\n  " : "\n  ";
    appendString(out, name);
    out += ": ";
}

void appendParameters(std::string& out, const std::string& text)
{
    const ParameterValues values = readParameterValues(text);
    out += '{';
    for (int k = 0; k < kParameterCount; ++k) {
        const ParameterInfo& info = parameterInfo(static_cast<Parameter>(k));
        const double value = values.value[static_cast<size_t>(k)];
        out += k ? ", " : "";
        appendString(out, info.name);
        out += ": ";
        if (info.integer)
            out += std::to_string(static_cast<long long>(value));
        else
            appendShortest(out, value);
    }
    out += '}';
}

void appendOptions(std::string& out, const AnalysisSpec& s)
{
    if (s.kind == AnalysisKind::Capacity) {
        key(out, "seed");
        out += std::to_string(s.capacity.seed);
        key(out, "density");
        appendShortest(out, s.capacity.density);
        key(out, "pairs");
        out += std::to_string(s.capacity.maxPairs);
        key(out, "sets");
        out += std::to_string(s.capacity.setsPerSize);
        if (!s.capacity.shape.fixed()) {
            key(out, "shape");
            out += '[' + std::to_string(s.capacity.shape.n) + ", " + std::to_string(s.capacity.shape.m) + ']';
        }
        return;
    }
    key(out, "sweep");
    out += '[';
    for (size_t k = 0; k < s.axes.size(); ++k) {
        std::string text = s.axes[k].name + '=';
        for (size_t v = 0; v < s.axes[k].values.size(); ++v)
            text += (v ? "," : "") + s.axes[k].values[v];
        out += k ? ", " : "";
        appendString(out, text);
    }
    out += ']';
    key(out, "pairs");
    out += std::to_string(s.list.size());
    if (!s.list.shape.fixed()) {
        key(out, "shape");
        out += '[' + std::to_string(s.list.shape.n) + ", " + std::to_string(s.list.shape.m) + ']';
    }
}

} // namespace

namespace {

void appendInputs(std::string& out, const std::vector<InputFile>& inputs)
{
    key(out, "inputs");
    out += '[';
    for (size_t k = 0; k < inputs.size(); ++k) {
        out += k ? ",\n    {\"role\": " : "\n    {\"role\": ";
        appendString(out, inputs[k].role);
        out += ", \"file\": ";
        appendString(out, inputs[k].path);
        out += ", \"sha256\": ";
        appendString(out, inputs[k].sha256);
        out += '}';
    }
    out += inputs.empty() ? "]" : "\n  ]";
}

// How the rows ended: by outcome for trainings, a count for a step's table.
void appendEnd(std::string& out, const Provenance& p)
{
    key(out, "stopped");
    out += p.stopped ? "true" : "false";
    if (!p.step.empty()) {
        key(out, "rows");
        out += std::to_string(p.rows);
        return;
    }
    key(out, "outcomes");
    out += '{';
    for (size_t k = 0; k < p.outcomes.size(); ++k) {
        appendString(out += k ? ", " : "", outcomeName(static_cast<Outcome>(k)));
        out += ": " + std::to_string(p.outcomes[k]);
    }
    out += '}';
}

} // namespace

void setTableOptions(Provenance& p, double tol, const NoiseOptions* noise)
{
    std::string text;
    appendShortest(text, tol);
    p.stepOptions.emplace_back("tol", text);
    if (!noise)
        return;
    text = "[";
    for (size_t k = 0; k < noise->sigmas.size(); ++k)
        appendShortest(text += k ? ", " : "", noise->sigmas[k]);
    p.stepOptions.emplace_back("sigma", text + "]");
    p.stepOptions.emplace_back("trials", std::to_string(noise->trials));
    p.stepOptions.emplace_back("seed", std::to_string(noise->seed));
    p.jobs = ThreadPool().threadCount();
}

std::string provenanceJson(const Provenance& p)
{
    std::string out = "{";
    key(out, "program");
    out += "\"duolink\"";
    key(out, "version");
    appendString(out, DUOLINK_VERSION);
    key(out, "command");
    out += '[';
    for (size_t k = 0; k < p.command.size(); ++k)
        appendString(out += k ? ", " : "", p.command[k]);
    out += ']';
    key(out, "folder");
    appendString(out, p.folder);
    key(out, "analysis");
    if (!p.step.empty())
        appendString(out, p.step);
    else
        out += p.request.kind == AnalysisKind::Capacity ? "\"capacity\"" : "\"sweep\"";
    key(out, "parameters");
    if (const std::string& text = p.request.settings.parameters.value_or(std::string()); !text.empty())
        appendParameters(out, text);
    else
        out += "null"; // no parameters file was read

    if (p.step.empty()) {
        appendOptions(out, p.request);
    } else {
        if (p.stepIndex >= 0) {
            key(out, "step");
            out += std::to_string(p.stepIndex);
        }
        for (const auto& [name, value] : p.stepOptions) {
            key(out, name);
            out += value;
        }
    }
    key(out, "jobs");
    out += std::to_string(p.jobs);
    if (p.step.empty()) {
        key(out, "shard");
        appendString(out, std::to_string(p.request.shard.index) + '/' + std::to_string(p.request.shard.count));
    }
    if (!p.list.empty()) {
        key(out, "patterns");
        appendString(out, p.list);
        key(out, "patterns_sha256");
        appendString(out, p.listSha256);
    }
    appendInputs(out, p.inputs);
    key(out, "started");
    appendString(out, utcText(p.started));
    key(out, "ended");
    appendString(out, utcText(p.ended));
    key(out, "seconds");
    appendShortest(out, std::chrono::duration<double>(p.ended - p.started).count());
    appendEnd(out, p);
    return out + "\n}\n";
}

namespace {

// A member that must be a string.
std::string textMember(const nlohmann::json& object, const char* name, bool required)
{
    const auto it = object.find(name);
    if (it == object.end()) {
        if (required)
            throw ProvenanceError(std::string("it has no \"") + name + "\" entry");
        return {};
    }
    if (!it->is_string())
        throw ProvenanceError(std::string("its \"") + name + "\" entry is not a text");
    return it->get<std::string>();
}

bool isDigest(const std::string& text)
{
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The files the rows were made from; none in a sidecar from before they
// were listed.
std::vector<InputFile> readInputs(const nlohmann::json& json)
{
    std::vector<InputFile> inputs;
    const auto list = json.find("inputs");
    if (list == json.end())
        return inputs;
    if (!list->is_array())
        throw ProvenanceError("its \"inputs\" entry is not a list");
    for (const nlohmann::json& entry : *list) {
        if (!entry.is_object())
            throw ProvenanceError("its \"inputs\" entry holds something that is not a file");
        InputFile file{textMember(entry, "role", true), textMember(entry, "file", true),
                       textMember(entry, "sha256", true)};
        // An absolute name that ends in a file's name: a replay copies it
        // under that name.
        const std::string name = std::filesystem::path(file.path).filename().string();
        if (file.path[0] != '/' || name.empty() || name == "." || name == ".." || !isDigest(file.sha256))
            throw ProvenanceError("its \"inputs\" entries are not what this program writes");
        inputs.push_back(std::move(file));
    }
    return inputs;
}

// A step's place in its command: a whole number, or none.
int readStepIndex(const nlohmann::json& json, bool required)
{
    const auto it = json.find("step");
    if (it == json.end() && !required)
        return -1;
    if (it == json.end() || !it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 1 << 20)
        throw ProvenanceError("its \"step\" entry is not the place of a step in its command");
    return static_cast<int>(it->get<long long>());
}

} // namespace

ProvenanceRecord readProvenance(std::string_view text)
{
    if (text.size() > kMaxProvenanceBytes)
        throw ProvenanceError("it is larger than any provenance file this program writes");
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw ProvenanceError("it is not a JSON object");
    if (textMember(json, "program", true) != "duolink")
        throw ProvenanceError("it was not written by this program");
    ProvenanceRecord record;
    const auto command = json.find("command");
    if (command == json.end() || !command->is_array() || command->empty())
        throw ProvenanceError("it has no command line");
    for (const nlohmann::json& arg : *command) {
        if (!arg.is_string())
            throw ProvenanceError("its command line holds something that is not a text");
        record.command.push_back(arg.get<std::string>());
    }
    record.folder = textMember(json, "folder", true);
    record.list = textMember(json, "patterns", false);
    record.listSha256 = textMember(json, "patterns_sha256", !record.list.empty());
    // A digest goes with a list, and a list with a digest of 64 hex digits.
    if (record.folder.empty() || record.listSha256.find_first_not_of("0123456789abcdef") != std::string::npos ||
        record.listSha256.size() != (record.list.empty() ? 0u : 64u))
        throw ProvenanceError("its folder or list entries are not what this program writes");
    const std::string analysis = textMember(json, "analysis", false);
    if (analysis == "recall-table" || analysis == "noise")
        record.step = analysis;
    record.stepIndex = readStepIndex(json, !record.step.empty());
    record.inputs = readInputs(json);
    return record;
}

std::string sha256Hex(std::string_view data)
{
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 15];
    }
    return hex;
}

} // namespace duolink::analysis
