#include "core/analysis/jobtexts.h"

#include <charconv>

#include "core/numgrammar.h"
#include "core/numtext.h"

namespace duolink::analysis {

std::string jobDataText(const PatternList& list, bool bSide)
{
    std::string out;
    out.reserve(list.size() * 96 + 8);
    for (const PatternPair& pair : list) {
        const TPatternVector& v = bSide ? pair.b : pair.a;
        const size_t lineStart = out.size();
        for (int e = 1; e <= 9; ++e) {
            const size_t start = out.size();
            appendRealTextWD(out, v[e], 9, 3);
            // A value filling its whole field would run into the one before.
            if (start > lineStart && out[start] != ' ')
                out.insert(start, 1, ' ');
        }
        out += "\r\n";
    }
    out += "9999\r\n";
    return out;
}

std::string patternListCsv(const PatternList& list)
{
    std::string out(kPatternListHeader);
    out += '\n';
    char buffer[32];
    for (const PatternPair& pair : list) {
        for (int k = 0; k < 16; ++k) {
            const double value = k < 8 ? pair.a[k + 1] : pair.b[k - 7];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
            if (k > 0)
                out += ',';
            out.append(buffer, result.ptr);
        }
        out += '\n';
    }
    return out;
}

std::optional<int> parameterIndex(std::string_view name)
{
    for (int k = 0; k < 10; ++k)
        if (kParameterNames[k] == name)
            return k;
    return std::nullopt;
}

bool isIntegerParameter(int index)
{
    return index != 5 && index != 6 && index != 9;
}

bool isParameterValue(int index, std::string_view value)
{
    if (value.empty() || value.size() > (isIntegerParameter(index) ? 32u : 64u))
        return false;
    for (char c : value)
        if (static_cast<unsigned char>(c) <= ' ')
            return false;
    if (isIntegerParameter(index)) {
        long long v = 0;
        return parseIntToken(value, v) && v >= -2147483648LL && v <= 2147483647LL;
    }
    double v = 0;
    return parseRealToken(value, v);
}

std::string setParameter(std::string_view parameters, int index, std::string_view value)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t pos = 0;
    for (int k = 0;; ++k) {
        while (pos < parameters.size() && blank(parameters[pos]))
            ++pos;
        if (pos >= parameters.size()) {
            // The engine reads the missing values as 0: write them out.
            std::string out(parameters);
            const bool crlf = out.find("\r\n") != std::string::npos;
            const char* eol = crlf ? "\r\n" : "\n";
            if (!out.empty() && out.back() != '\n')
                out += eol;
            for (; k < index; ++k)
                (out += '0') += eol;
            (out += value) += eol;
            return out;
        }
        size_t end = pos;
        while (end < parameters.size() && !blank(parameters[end]))
            ++end;
        if (k == index) {
            std::string out(parameters.substr(0, pos));
            out += value;
            out += parameters.substr(end);
            return out;
        }
        pos = end;
        while (pos < parameters.size() && parameters[pos] != '\n')
            ++pos;
        if (pos < parameters.size())
            ++pos;
    }
}

} // namespace duolink::analysis
