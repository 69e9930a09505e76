// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/streamwrite.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>


namespace duolink {
namespace {

constexpr int kPollMilliseconds = 100;
// How long a stopped run still waits for a reader that takes nothing.
constexpr int kGraceMilliseconds = 500;

} // namespace

int writeUnlessStopped(int fd, std::string_view data, size_t& written, const std::atomic<bool>* stop,
                       int* regularKept) noexcept
{
    written = 0;
    // A regular file never waits for a reader: written whole, as it comes.
    // (Asking costs more than the call: on file systems that keep exact
    // times for a file whose times were asked for, its next write stamps
    // them anew.)
    bool regular = false;
    if (regularKept && *regularKept >= 0) {
        regular = *regularKept > 0;
    } else {
        struct stat st{};
        regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (regularKept)
            *regularKept = regular;
    }
    int waitedAfterStop = 0;
    while (written < data.size()) {
        if (regular) {
            const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? errno : EIO;
            written += static_cast<size_t>(n);
            continue;
        }
        pollfd ready{fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, kPollMilliseconds);
        if (polled < 0 && errno != EINTR)
            return errno;
        if (polled <= 0) {
            if (stop && stop->load(std::memory_order_relaxed) && (waitedAfterStop += kPollMilliseconds) >= kGraceMilliseconds)
                return kWriteAbandoned;
            continue;
        }
        // A write of at most PIPE_BUF bytes fits the room a ready pipe has,
        // so that it does not block; an interrupted one is tried again.
        const size_t chunk = std::min<size_t>(data.size() - written, PIPE_BUF);
        const ssize_t n = ::write(fd, data.data() + written, chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        written += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace duolink
