// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/jobrecord.h"

#include <filesystem>
#include <fstream>

#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/textfile.h"

namespace duolink::batch {

namespace fs = std::filesystem;
using analysis::InputFile;

namespace {

constexpr std::size_t kMaxInputBytes = std::size_t(1) << 30;

std::string absolutePath(const std::string& path)
{
    std::error_code ignored;
    return fs::weakly_canonical(fs::absolute(path, ignored), ignored).string();
}

void addInput(JobRecord& record, std::string role, const std::string& path)
{
    if (const std::optional<std::string> text = readFileUpTo(path, kMaxInputBytes))
        record.inputs.push_back(inputFile(std::move(role), path, *text));
}

} // namespace

std::optional<std::string> readFileUpTo(const std::string& path, std::size_t limit)
{
    const FileDescriptor fd(openInputFile(path));
    if (fd.get() < 0)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(limit + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

InputFile inputFile(std::string role, const std::string& path, std::string_view text)
{
    return {std::move(role), absolutePath(path), analysis::sha256Hex(text)};
}

JobRecord recordJob(const Arguments& args, const std::string& dir, const std::string& patternsPath,
                    std::vector<std::string> command)
{
    JobRecord record;
    record.started = std::chrono::system_clock::now();
    record.command = std::move(command);
    record.folder = absolutePath(dir);
    const auto job = [&](const char* name) { return (fs::path(dir) / name).string(); };
    addInput(record, "parameters", job(kParametersFileName));
    if (args.patternsFile.empty()) {
        addInput(record, "A data", job(kADataFileName));
        addInput(record, "B data", job(kBDataFileName));
    }
    if (const std::string simulation = findSimulationFile(dir); !simulation.empty())
        addInput(record, "simulation", job(simulation.c_str()));
    const std::string list = args.patternsFile.empty() ? job(kADataFileName) : patternsPath;
    if (const std::optional<std::string> text = readFileUpTo(list, kMaxInputBytes)) {
        record.list = absolutePath(list);
        record.listSha256 = analysis::sha256Hex(*text);
    }
    for (const Step& step : args.steps)
        if (step.kind == OptionId::LoadMatrix || step.kind == OptionId::ImportMatrix)
            addInput(record, step.label.substr(0, step.label.find(' ')), absoluteName(step.value));
    return record;
}

void writeStepProvenance(const JobRecord& record, const StepTable& table)
{
    analysis::Provenance p;
    p.command = record.command;
    p.folder = record.folder;
    p.list = record.list;
    p.listSha256 = record.listSha256;
    p.inputs = record.inputs;
    p.started = record.started;
    p.ended = std::chrono::system_clock::now();
    p.request.settings.parameters = table.parameters;
    p.step = table.step->kind == OptionId::Noise ? "noise" : "recall-table";
    p.stepIndex = record.stepPlaces.empty() ? static_cast<int>(table.index) : record.stepPlaces.at(table.index);
    analysis::setTableOptions(p, table.tol, table.noise);
    p.rows = table.rows;
    p.stopped = table.stopped;
    const std::string path = table.step->value + ".json";
    if (const int error = replaceFile(path, analysis::provenanceJson(p)))
        throw RunError(path + ": " + ioErrorMessage(error));
}

} // namespace duolink::batch
