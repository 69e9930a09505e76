#include "core/analysis/csvout.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include "core/engine/errors.h"
#include "core/engine/textfile.h"

namespace duolink::analysis {

ReplacingOutput::~ReplacingOutput()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void ReplacingOutput::open(const std::string& path)
{
    path_ = path;
    std::string pattern = path + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        throwIoError(errno, path);
    // As a file the user creates: the usual permissions under the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
    fd_ = fd;
    temp_ = pattern;
}

void ReplacingOutput::write(std::string_view text)
{
    buffer_.append(text);
    if (buffer_.size() >= (1u << 16))
        flush();
}

void ReplacingOutput::flush()
{
    size_t written = 0;
    if (int err = writeAll(fd_, buffer_, written))
        throwIoError(err, path_);
    buffer_.clear();
}

void ReplacingOutput::commit()
{
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        const int err = errno;
        ::unlink(temp_.c_str());
        throwIoError(err, path_);
    }
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp_.c_str());
        throwIoError(err, path_);
    }
}

void replaceFile(const std::string& path, std::string_view text)
{
    ReplacingOutput out;
    out.open(path);
    out.write(text);
    out.commit();
}

} // namespace duolink::analysis
