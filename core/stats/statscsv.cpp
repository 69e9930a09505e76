#include "core/stats/statscsv.h"

#include <charconv>

#include "core/support/errors.h"

namespace duolink {

namespace {

template <typename T>
void appendNumber(std::string& out, T value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

void appendStatsLine(std::string& out, const PresentationRecord& record)
{
    appendNumber(out, record.presentation);
    out += ',';
    appendNumber(out, record.r2);
    out += ',';
    appendNumber(out, record.missedPairs);
    out += ',';
    appendNumber(out, record.bitErrors);
    out += ',';
    appendNumber(out, record.berTotal);
    out += record.allRecalled ? ",1\n" : ",0\n";
}

void StatsFileWriter::open(const std::string& path)
{
    try {
        file_.create(path);
        file_.write(std::string(kStatsHeader) + '\n');
    } catch (const RunError& e) {
        throw RunError(path + ": " + e.what());
    }
}

void StatsFileWriter::presentationMade(const PresentationRecord& record)
{
    line_.clear();
    appendStatsLine(line_, record);
    file_.write(line_);
}

} // namespace duolink
