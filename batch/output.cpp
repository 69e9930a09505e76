#include "batch/output.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace duolink::batch {

namespace {
constexpr size_t kBufferSize = 1 << 20;
} // namespace

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

StandardOutput::StandardOutput(bool open)
{
    if (!open) {
        stopped_ = true;
        error_ = EBADF;
    }
    buffer_.reserve(kBufferSize);
}

void StandardOutput::write(std::string_view text)
{
    if (stopped_)
        return;
    if (buffer_.size() + text.size() > kBufferSize)
        flush();
    if (text.size() >= kBufferSize)
        send(text);
    else
        buffer_.append(text);
}

void StandardOutput::writeLine(std::string_view line)
{
    write(line);
    write("\n");
}

void StandardOutput::flush()
{
    send(buffer_);
    buffer_.clear();
}

void StandardOutput::send(std::string_view data)
{
    while (!stopped_ && !data.empty()) {
        ssize_t n = ::write(STDOUT_FILENO, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Standard output left in non-blocking mode by whoever gave it.
            pollfd ready{STDOUT_FILENO, POLLOUT, 0};
            (void)::poll(&ready, 1, -1);
            continue;
        }
        stopped_ = true;
        if (n == 0)
            error_ = EIO;
        else if (errno != EPIPE)
            error_ = errno;
    }
}

} // namespace duolink::batch
