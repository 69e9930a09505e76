// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/session/listshape.h"

#include <array>
#include <utility>

namespace duolink {

bool ShapedDocument::changedSinceFiles() const
{
    if (pairs.size() == 0)
        return false;
    return !(pairs.shape == inFiles.shape && pairs.a == inFiles.a && pairs.b == inFiles.b);
}

void ShapedDocument::open(ShapedPairs list)
{
    inFiles = list;
    pairs = std::move(list);
    currentRow = pairs.size() == 0 ? 0 : 1;
}

std::string takeListLengths(ParametersEdit& edit, ListShape shape, std::string_view listName)
{
    if (shape.fixed())
        return {};
    const std::array<std::pair<Parameter, int>, 2> lengths{{{Parameter::ALen, shape.aLen()},
                                                            {Parameter::BLen, shape.bLen()}}};
    for (const auto& [parameter, length] : lengths) {
        std::optional<std::string>& given = edit.values[static_cast<size_t>(parameter)];
        double value = 0;
        if (given && (!parameterValue(parameter, *given, value) || value != length))
            return "--set " + std::string(parameterInfo(parameter).name) + "=" + *given + " disagrees with " +
                   std::string(listName) + ", whose pairs of " + std::to_string(shape.n) + " + " +
                   std::to_string(shape.m) + " values train with alen=" + std::to_string(shape.aLen()) +
                   " and blen=" + std::to_string(shape.bLen());
        given = std::to_string(length);
    }
    return {};
}

std::string parametersForShape(std::string_view text, ListShape shape)
{
    ParametersEdit edit;
    takeListLengths(edit, shape, {});
    return editParameters(text, edit);
}

} // namespace duolink
