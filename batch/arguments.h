// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runner's command line: what to run, on which folder, with which steps.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/analysis.h"
#include "batch/usage.h"
#include "core/analysis/noise.h"
#include "core/parameters/paramsfile.h"

namespace duolink::batch {

// A command line the runner cannot take; the text says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Step {
    OptionId kind;
    std::string label; // how errors name the step: "--load-matrix m.vmat2"
    std::string value; // the file, or the eight values
};

struct Arguments {
    enum class Action { Run, Help, Version } action = Action::Run;
    std::string dir;
    bool dirGiven = false;
    bool solve = true;
    bool quiet = false;
    std::string patternsFile; // a pattern list to write the job files from
    std::string statsFile;    // where the per-presentation records go
    ParametersEdit settings;  // --set: values in place of the file's
    bool settingsGiven = false;
    std::vector<Step> steps;
    std::optional<double> tol; // --tol, else the Solve's
    NoiseOptions noise;
    AnalysisArguments analysis;
    std::vector<std::string> analysisOptions; // as given, for messages
};

// The fields of `text` between blanks and tabs.
std::vector<std::string> splitFields(std::string_view text);

// The arguments of the command line; UsageError says what is wrong with them.
Arguments parseArguments(int argc, char** argv);

// File names are the user's, relative to where the runner was started, not
// to the job folder it enters.
std::string absoluteName(const std::string& name);
void resolveFiles(std::vector<Step>& steps);

} // namespace duolink::batch
