// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/stats/statscsv.h"

#include <charconv>

#include <cerrno>
#include <unistd.h>

#include "core/support/errors.h"
#include "core/support/textfile.h"
#include "core/support/streamwrite.h"

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

StatsFileWriter::~StatsFileWriter()
{
    close();
}

void StatsFileWriter::open(const std::string& path)
{
    close();
    const int fd = openOutputFile(path);
    if (fd < 0)
        throwIoError(errno, path);
    fd_ = fd;
    path_ = path;
    write(std::string(kStatsHeader) + '\n');
}

void StatsFileWriter::close() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void StatsFileWriter::write(std::string_view text)
{
    if (fd_ < 0)
        return;
    size_t written = 0;
    const int error = writeUnlessStopped(fd_, text, written, stop_);
    if (error == kWriteAbandoned)
        close();
    else if (error != 0)
        throwIoError(error, path_);
}

void StatsFileWriter::presentationMade(const PresentationRecord& record)
{
    line_.clear();
    appendStatsLine(line_, record);
    write(line_);
}

} // namespace duolink
