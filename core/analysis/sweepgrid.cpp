// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/sweepgrid.h"

#include <algorithm>
#include <cstdint>

#include "core/analysis/jobtexts.h"
#include "core/support/numgrammar.h"
#include "core/parameters/paramsfile.h"

namespace duolink::analysis {

namespace {

// One token that the engine reads as that parameter.
bool isValue(int parameter, std::string_view text)
{
    double value = 0;
    return !text.empty() && text.find_first_of(" \t\r\n") == std::string_view::npos &&
           parameterValue(static_cast<Parameter>(parameter), text, value);
}

// A plain decimal ("-0.25", "3", ".5") as digits scaled by 10^fraction.
struct Decimal {
    __int128 scaled = 0;
    int fraction = 0;
};

bool parseDecimal(std::string_view text, Decimal& out)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    __int128 value = 0;
    int digits = 0, fraction = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (!isDigit(c) || ++digits > 30)
            return false;
        value = value * 10 + (c - '0');
        fraction += point;
    }
    if (digits == 0)
        return false;
    out = {negative ? -value : value, fraction};
    return true;
}

// The largest scaled value a range steps through: start, stop and step, and
// the sums of two, stay far from the end of the 128-bit range.
constexpr __int128 kLargestScaled = static_cast<__int128>(1000000000000000000LL) * 1000000000000000000LL;

// `d` scaled to `fraction` decimals; false when that leaves the exact range.
bool scaleTo(const Decimal& d, int fraction, __int128& out)
{
    __int128 v = d.scaled;
    for (int k = d.fraction; k < fraction; ++k) {
        if (v > kLargestScaled / 10 || v < -kLargestScaled / 10)
            return false;
        v *= 10;
    }
    out = v;
    return true;
}

std::string decimalText(__int128 scaled, int fraction)
{
    const bool negative = scaled < 0;
    unsigned __int128 v = negative ? static_cast<unsigned __int128>(-scaled) : static_cast<unsigned __int128>(scaled);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    while (static_cast<int>(digits.size()) <= fraction)
        digits.insert(digits.begin(), '0');
    if (fraction > 0) {
        digits.insert(digits.size() - static_cast<size_t>(fraction), 1, '.');
        while (digits.back() == '0')
            digits.pop_back();
        if (digits.back() == '.')
            digits.pop_back();
    }
    return (negative && digits != "0" ? "-" : "") + digits;
}

std::vector<std::string> rangeValues(const SweepAxis& axis, std::string_view list)
{
    const size_t c1 = list.find(':');
    const size_t c2 = list.find(':', c1 + 1);
    if (c2 == std::string_view::npos || list.find(':', c2 + 1) != std::string_view::npos)
        throw SweepAxisError("--sweep " + axis.name + ": a range is start:stop:step");
    Decimal start, stop, step;
    if (!parseDecimal(list.substr(0, c1), start) || !parseDecimal(list.substr(c1 + 1, c2 - c1 - 1), stop) ||
        !parseDecimal(list.substr(c2 + 1), step))
        throw SweepAxisError("--sweep " + axis.name + ": start, stop and step must be plain decimal numbers");
    const int fraction = std::max({start.fraction, stop.fraction, step.fraction});
    if (fraction > 0 && parameterInfo(static_cast<Parameter>(axis.parameter)).integer)
        throw SweepAxisError("--sweep " + axis.name + " takes whole numbers");
    __int128 a = 0, b = 0, s = 0;
    if (!scaleTo(start, fraction, a) || !scaleTo(stop, fraction, b) || !scaleTo(step, fraction, s))
        throw SweepAxisError("--sweep " + axis.name +
                             ": start, stop and step have too many digits to step exactly; use fewer");
    if (s <= 0)
        throw SweepAxisError("--sweep " + axis.name + ": the step must be greater than 0");
    if (b < a)
        throw SweepAxisError("--sweep " + axis.name + ": stop is below start");
    if ((b - a) / s >= static_cast<__int128>(kMaxGridCells))
        throw SweepAxisError("--sweep " + axis.name + ": more than " + std::to_string(kMaxGridCells) + " values");
    std::vector<std::string> values;
    for (__int128 v = a; v <= b; v += s)
        values.push_back(decimalText(v, fraction));
    return values;
}

double valueOf(const std::string& text)
{
    double v = 0;
    parseRealToken(text, v);
    return v;
}

} // namespace

SweepAxis parseSweepAxis(std::string_view text)
{
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        throw SweepAxisError("--sweep needs NAME=LIST, not \"" + std::string(text) + "\"");
    SweepAxis axis;
    axis.name = std::string(text.substr(0, equals));
    const std::optional<Parameter> index = parameterByName(axis.name);
    if (!index)
        throw SweepAxisError("--sweep: unknown parameter \"" + axis.name +
                             "\"; use option, max, alen, blen, simulation, beta, limit, transfer, unity or tol");
    axis.parameter = static_cast<int>(*index);
    const std::string_view list = text.substr(equals + 1);
    if (list.find(':') != std::string_view::npos) {
        axis.values = rangeValues(axis, list);
    } else {
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = std::min(list.find(',', start), list.size());
            const std::string item(list.substr(start, end - start));
            if (!isValue(axis.parameter, item))
                throw SweepAxisError("--sweep " + axis.name + ": \"" + item + "\" is not " +
                                     (parameterInfo(static_cast<Parameter>(axis.parameter)).integer ? "a whole number" : "a number"));
            axis.values.push_back(item);
            start = end + 1;
        }
        // Ascending and each value once, so that the rows come in the order
        // that sorting by their values gives.
        std::stable_sort(axis.values.begin(), axis.values.end(),
                         [](const std::string& x, const std::string& y) { return valueOf(x) < valueOf(y); });
        axis.values.erase(std::unique(axis.values.begin(), axis.values.end(),
                                      [](const std::string& x, const std::string& y) { return valueOf(x) == valueOf(y); }),
                          axis.values.end());
    }
    for (const std::string& v : axis.values)
        if (!isValue(axis.parameter, v))
            throw SweepAxisError("--sweep " + axis.name + ": " + v + " is out of range");
    return axis;
}

size_t gridCellCount(const std::vector<SweepAxis>& axes)
{
    size_t cells = axes.empty() ? 0 : 1;
    for (const SweepAxis& axis : axes) {
        if (axis.values.empty() || cells > kMaxGridCells / axis.values.size())
            return axis.values.empty() ? 0 : kMaxGridCells + 1;
        cells *= axis.values.size();
    }
    return cells;
}

std::optional<std::string> gridSizeError(const std::vector<SweepAxis>& axes)
{
    const size_t cells = gridCellCount(axes);
    if (cells == 0)
        return "the sweep has no cells";
    if (cells > kMaxGridCells)
        return "the sweep grid has more than " + std::to_string(kMaxGridCells) + " cells; sweep fewer values";
    return std::nullopt;
}

const std::string& cellValue(const std::vector<SweepAxis>& axes, size_t cell, size_t axis)
{
    size_t stride = 1;
    for (size_t k = axes.size(); k-- > axis + 1;)
        stride *= axes[k].values.size();
    return axes[axis].values[(cell / stride) % axes[axis].values.size()];
}

} // namespace duolink::analysis
