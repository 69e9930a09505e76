// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/output.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "core/support/streamwrite.h"

namespace duolink::batch {

bool reserveStandardStreams()
{
    bool outputOpen = true;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            outputOpen = false;
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    return outputOpen;
}

StandardOutput::StandardOutput(bool open) : buffer_(new char[kBufferSize])
{
    if (!open) {
        stopped_ = true;
        error_ = EBADF;
    }
}

void StandardOutput::write(std::string_view text)
{
    if (used_ + text.size() > kBufferSize)
        flush();
    if (text.size() >= kBufferSize) {
        send(text);
    } else {
        std::copy_n(text.data(), text.size(), buffer_.get() + used_); // an empty text may have no data
        used_ += text.size();
    }
}

void StandardOutput::writeLongLine(std::string_view line)
{
    write(line);
    write("\n");
}

void StandardOutput::writeLinesOfBlock(std::string_view lines)
{
    while (!lines.empty()) {
        const size_t end = lines.find('\n');
        writeLine(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
}

void StandardOutput::flush()
{
    send({buffer_.get(), used_});
    used_ = 0;
}

void StandardOutput::send(std::string_view data)
{
    if (stopped_ || data.empty())
        return;
    size_t written = 0;
    const int error = writeUnlessStopped(STDOUT_FILENO, data, written, stop_, &regular_);
    if (error == 0)
        return;
    // A reader that stalls while the run stops is left behind, as one that
    // left early is; anything else is remembered for the end of the run.
    stopped_ = true;
    if (error != kWriteAbandoned && error != EPIPE)
        error_ = error;
}

} // namespace duolink::batch
