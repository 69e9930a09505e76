// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/figurecaption.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/analysis/exactrecall.h"
#include "core/parameters/paramsfile.h"

namespace duolink::analysis {

namespace {

std::string number(double v)
{
    std::string text;
    appendShortest(text, v);
    return text;
}

// BETA, TOL, MAX and the shape, each unless left out.
std::string valuesCaption(const std::array<std::optional<double>, 5>& values)
{
    std::string out;
    const auto add = [&out](const std::string& item) { out += (out.empty() ? "" : ", ") + item; };
    const char* labels[] = {"BETA ", "TOL ", "MAX "};
    for (size_t k = 0; k < 3; ++k)
        if (values[k])
            add(labels[k] + number(*values[k]));
    if (values[3] && values[4])
        add(number(*values[3]) + " \u00d7 " + number(*values[4]));
    return out;
}

} // namespace

std::string trainingCaption(const TrainingStart& start)
{
    return valuesCaption({start.beta, start.tol, start.maxPresentations, start.aLen, start.bLen}) + ", " +
           std::to_string(start.patternCount) + (start.patternCount == 1 ? " pair" : " pairs");
}

std::string parametersCaption(std::string_view parameters, const std::vector<int>& varied)
{
    const ParameterValues values = readParameterValues(parameters);
    const auto shown = [&](Parameter p) -> std::optional<double> {
        if (std::find(varied.begin(), varied.end(), static_cast<int>(p)) != varied.end())
            return std::nullopt;
        return values[p];
    };
    return valuesCaption({shown(Parameter::Beta), shown(Parameter::Tol), shown(Parameter::Max),
                          shown(Parameter::ALen), shown(Parameter::BLen)});
}

std::string figureCaption(const AnalysisSpec& request)
{
    const std::string parameters = request.settings.parameters.value_or(std::string());
    if (request.kind == AnalysisKind::Capacity) {
        const CapacityOptions& o = request.capacity;
        return parametersCaption(parameters) + ", " + std::to_string(o.setsPerSize) + " sets per n, chance of a 1 " +
               number(o.density) + ", seed " + std::to_string(o.seed);
    }
    std::vector<int> varied;
    for (const SweepAxis& axis : request.axes)
        varied.push_back(axis.parameter);
    std::string out = parametersCaption(parameters, varied);
    return out + (out.empty() ? "" : ", ") + std::to_string(request.list.size()) + " pairs";
}

} // namespace duolink::analysis
