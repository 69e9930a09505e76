// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/arguments.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "core/support/numgrammar.h"

namespace duolink::batch {

std::vector<std::string> splitFields(std::string_view text)
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
            fields.emplace_back(text.substr(start, i - start));
    }
    return fields;
}

namespace {

// Eight numbers, each a whole number text: a typo must not recall from 0.
void checkPredictValues(std::string_view values)
{
    const std::vector<std::string> fields = splitFields(values);
    if (fields.size() != 8)
        throw UsageError("--predict needs eight values in one argument, not " + std::to_string(fields.size()));
    for (const std::string& field : fields) {
        double value = 0;
        if (!parseRealToken(field, value))
            throw UsageError("--predict: \"" + field + "\" is not a number");
    }
}

double parseTolerance(const std::string& name, const std::string& text)
{
    double value = 0;
    if (!parseRealToken(text, value) || !std::isfinite(value) || value < 0)
        throw UsageError(name + ": \"" + text + "\" is not a number of 0 or more");
    return value;
}

template <typename Int>
Int parseWhole(const std::string& name, const std::string& text, Int low, Int high)
{
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError(name + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not \"" + text + "\"");
    return value;
}

// The analyses need a matrix and a TOL before they run.
void checkAnalysisSteps(const Arguments& args)
{
    bool matrixLoaded = args.solve;
    for (const Step& step : args.steps) {
        if (step.kind == OptionId::LoadMatrix || step.kind == OptionId::ImportMatrix)
            matrixLoaded = true;
        if (step.kind != OptionId::RecallTable && step.kind != OptionId::Noise)
            continue;
        const std::string name = step.kind == OptionId::RecallTable ? "--recall-table" : "--noise";
        if (!matrixLoaded)
            throw UsageError(name + " needs a matrix: a Solve or an earlier --load-matrix");
        if (!args.solve && !args.tol)
            throw UsageError(name + " with --no-solve needs --tol");
    }
}

} // namespace

Arguments parseArguments(int argc, char** argv)
{
    Arguments args;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty())
                throw UsageError("the folder name is empty");
            if (args.dirGiven)
                throw UsageError("only one folder may be given");
            args.dir = arg;
            args.dirGiven = true;
            continue;
        }

        std::string name = arg == "-h" ? "--help" : arg;
        std::optional<std::string> value;
        if (size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const OptionDoc* option = findOption(name);
        if (!option)
            throw UsageError("unknown option " + arg);
        if (option->value && !value) {
            if (i + 1 >= argc)
                throw UsageError(name + " needs a value");
            value = argv[++i];
        } else if (!option->value && value) {
            throw UsageError(name + " takes no value");
        }

        switch (option->id) {
        case OptionId::Help:
            args.action = Arguments::Action::Help;
            return args;
        case OptionId::Version:
            args.action = Arguments::Action::Version;
            return args;
        case OptionId::Quiet: args.quiet = true; break;
        case OptionId::Patterns:
            if (value->empty())
                throw UsageError(name + " needs a file name");
            args.patternsFile = *value;
            break;
        case OptionId::Stats:
            if (value->empty())
                throw UsageError(name + " needs a file name");
            args.statsFile = *value;
            break;
        case OptionId::NoSolve: args.solve = false; break;
        case OptionId::Set: {
            const size_t equals = value->find('=');
            if (equals == std::string::npos)
                throw UsageError("--set needs NAME=VALUE, as in beta=0.25, not \"" + *value + "\"");
            const std::optional<Parameter> parameter =
                parameterByName(std::string_view(*value).substr(0, equals));
            if (!parameter)
                throw UsageError("--set: \"" + value->substr(0, equals) +
                                 "\" is no parameter (option, max, alen, blen, simulation, beta, limit, transfer, "
                                 "unity, tol)");
            const std::string text = value->substr(equals + 1);
            double number = 0;
            if (!parameterValue(*parameter, text, number))
                throw UsageError("--set: \"" + text + "\" is not " +
                                 (parameterInfo(*parameter).integer ? "a whole number" : "a number") + " for " +
                                 std::string(parameterInfo(*parameter).name));
            args.settings.set(*parameter, text);
            args.settingsGiven = true;
            break;
        }
        case OptionId::Predict:
            checkPredictValues(*value);
            args.steps.push_back({option->id, name + " " + *value, *value});
            break;
        case OptionId::Tol: args.tol = parseTolerance(name, *value); break;
        case OptionId::NoiseSigma:
            if (std::optional<std::vector<double>> sigmas = parseSigmaList(*value))
                args.noise.sigmas = std::move(*sigmas);
            else
                throw UsageError(name + " needs numbers of 0 or more separated by commas, as in 0,0.1,0.2");
            break;
        case OptionId::NoiseTrials: args.noise.trials = parseWhole(name, *value, 1, 1000000); break;
        case OptionId::Seed: // one seed for the noise and the capacity sets
            args.noise.seed = parseWhole<std::uint64_t>(name, *value, 0, UINT64_MAX);
            args.analysis.capacity.seed = args.noise.seed;
            break;
        case OptionId::LoadMatrix:
        case OptionId::SaveMatrix:
        case OptionId::ExportMatrix:
        case OptionId::ImportMatrix:
        case OptionId::RecallTable:
        case OptionId::Noise:
            if (value->empty())
                throw UsageError(name + " needs a file name");
            args.steps.push_back({option->id, name + " " + *value, *value});
            break;
        default: {
            bool taken = false;
            if (auto error = takeAnalysisOption(option->id, name, *value, args.analysis, taken))
                throw UsageError(*error);
            args.analysisOptions.push_back(name);
            break;
        }
        }
    }
    checkAnalysisSteps(args);
    args.analysis.settings = args.settings;
    if (auto error = checkAnalysisArguments(args.analysis))
        throw UsageError(*error);
    if (args.analysis.wanted()) {
        if (!args.steps.empty() || !args.statsFile.empty() || !args.solve)
            throw UsageError("--capacity and --sweep-out train in place of the Solve; they take no --no-solve, "
                             "--stats, --load-matrix, --predict, --save-matrix, --recall-table or --noise");
        if (!args.analysis.capacityFile.empty() && !args.patternsFile.empty())
            throw UsageError("--capacity makes its own pattern sets; it takes no --patterns");
    } else if (!args.analysisOptions.empty()) {
        throw UsageError(args.analysisOptions.front() + " needs --capacity FILE or --sweep-out FILE");
    }
    return args;
}

std::string absoluteName(const std::string& name)
{
    if (name.empty())
        return name;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error ? name : absolute.string();
}

void resolveFiles(std::vector<Step>& steps)
{
    for (Step& step : steps)
        if (step.kind == OptionId::LoadMatrix || step.kind == OptionId::SaveMatrix ||
            step.kind == OptionId::ExportMatrix || step.kind == OptionId::ImportMatrix ||
            step.kind == OptionId::RecallTable || step.kind == OptionId::Noise)
            step.value = absoluteName(step.value);
}

} // namespace duolink::batch
