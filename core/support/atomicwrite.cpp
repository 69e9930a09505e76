// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/atomicwrite.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>

#include <charconv>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace duolink {
namespace {

std::atomic<unsigned> tempCounter{0};

constexpr std::string_view kTemporaryMark = ".duolink-";

// The process that wrote the temporary file `name` (as temporaryFileName
// makes them) for `baseName` (any, when empty); 0 when it is no such file.
int temporaryWriter(std::string_view name, std::string_view baseName)
{
    const size_t mark = name.rfind(kTemporaryMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2)
        return 0;
    if (!baseName.empty() && name.substr(1, mark - 1) != baseName.substr(0, 200))
        return 0;
    std::string_view rest = name.substr(mark + kTemporaryMark.size());
    int pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    const std::string_view tail(end, static_cast<size_t>(rest.data() + rest.size() - end));
    return error == std::errc() && pid > 0 && tail.size() == 7 && tail[0] == '-' ? pid : 0;
}

} // namespace

std::string temporaryFileName(const std::string& folder, const std::string& baseName)
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const int pid = ::getpid();
    unsigned long long seed = static_cast<unsigned long long>(pid) * 0x9E3779B97F4A7C15ull ^
                              static_cast<unsigned long long>(
                                  std::chrono::steady_clock::now().time_since_epoch().count()) ^
                              (static_cast<unsigned long long>(tempCounter.fetch_add(1)) << 40);
    // Keep the name short enough for any folder that can hold the target.
    std::string name = folder + "/." + baseName.substr(0, 200) + std::string(kTemporaryMark) + std::to_string(pid) + '-';
    for (int k = 0; k < 6; ++k) {
        seed ^= seed >> 29;
        seed *= 0xBF58476D1CE4E5B9ull;
        name += kChars[(seed >> 32) % (sizeof kChars - 1)];
    }
    return name;
}

int removeLeftoverTemporaries(const std::string& folder, const std::string& baseName)
{
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    int removed = 0;
    while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
        const int pid = temporaryWriter(entry->d_name, baseName);
        // A writer still running (or a pid taken again) keeps its file.
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH &&
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0) == 0)
            ++removed;
    }
    return removed;
}

int writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

namespace {

int closeFd(int& fd)
{
    const int closing = fd;
    fd = -1;
    return ::close(closing) != 0 && errno != EINTR ? errno : 0;
}

} // namespace

std::string fileErrorText(int error)
{
    if (error == kNotRegularFile)
        return "is not a regular file";
    if (error == kFolderNotWritable)
        return "cannot be replaced safely, as its folder takes no new files; make the folder writable, or write "
               "to another folder";
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return "Disk full";
    if (error == EISDIR)
        return "is a folder";
    return std::strerror(error);
}

int checkReplaceable(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    return S_ISREG(st.st_mode) ? 0 : kNotRegularFile;
}

int linkTarget(const std::string& path, std::string& target)
{
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (target.starts_with("/proc/") || target.starts_with("/dev/fd/"))
            return kNotRegularFile;
        struct stat st{};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        char text[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), text, sizeof text - 1);
        if (length <= 0)
            return length < 0 ? errno : ENOENT;
        const std::string link(text, static_cast<size_t>(length));
        const size_t slash = target.rfind('/');
        target = link.starts_with('/') || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
    }
    return ELOOP;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

int AtomicFile::open()
{
    if (path_.empty())
        return ENOENT;
    if (int error = linkTarget(path_, target_))
        return error;
    struct stat st{};
    if (int refusal = checkReplaceable(target_))
        return refusal;
    exists_ = ::stat(target_.c_str(), &st) == 0;
    // A file the user may not write stays protected.
    if (exists_ && ::access(target_.c_str(), W_OK) != 0)
        return errno;

    const size_t slash = target_.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const std::string baseName = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (baseName.empty())
        return EISDIR;

    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::string name = temporaryFileName(folder_, baseName);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists_ ? 0600 : 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(name);
            error = 0;
        } else {
            error = errno;
        }
    }
    // A writable file in a folder where nothing may be created could only
    // be written over, and a failure half-way would leave it cut: refused.
    if ((error == EACCES || error == EPERM) && exists_)
        return kFolderNotWritable;
    if (error)
        return error;
    if (exists_) {
        // Keep the replaced file's owner where allowed, and its permissions.
        if (::fchown(fd_, st.st_uid, st.st_gid) != 0 && errno == EPERM)
            (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
        if (::fchmod(fd_, st.st_mode & 07777) != 0)
            return errno;
    }
    return 0;
}

int AtomicFile::write(std::string_view data)
{
    return fd_ < 0 ? EBADF : writeAll(fd_, data);
}

int AtomicFile::finishTemporary()
{
    if (fd_ < 0)
        return EBADF;
    if (::fsync(fd_) != 0 && errno != EINVAL) {
        const int error = errno;
        closeFd(fd_);
        return error;
    }
    return closeFd(fd_);
}

void AtomicFile::syncFolder() const
{
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

int AtomicFile::commit()
{
    if (int error = finishTemporary())
        return error;
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return errno;
    temp_.clear();
    syncFolder();
    return 0;
}

int replaceFile(const std::string& path, std::string_view data)
{
    AtomicFile file(path);
    if (int error = file.open())
        return error;
    if (int error = file.write(data))
        return error;
    return file.commit();
}

int replaceFilePair(const std::string& firstPath, std::string_view firstData, const std::string& secondPath,
                    std::string_view secondData, std::string& failed)
{
    AtomicFile files[2] = {AtomicFile(firstPath), AtomicFile(secondPath)};
    const std::string_view data[2] = {firstData, secondData};
    for (int k = 0; k < 2; ++k) {
        failed = k == 0 ? firstPath : secondPath;
        int error = files[k].open();
        if (!error)
            error = files[k].write(data[k]);
        if (!error)
            error = files[k].finishTemporary();
        if (error)
            return error;
    }

    // Each new file is exchanged with the old one, which then lies under the
    // temporary name until both are in place; a failure swaps the first back.
    bool exchanged[2] = {false, false};
    for (int k = 0; k < 2; ++k) {
        AtomicFile& file = files[k];
        failed = k == 0 ? firstPath : secondPath;
        int error = 0;
        if (file.exists_ && ::renameat2(AT_FDCWD, file.temp_.c_str(), AT_FDCWD, file.target_.c_str(),
                                        RENAME_EXCHANGE) == 0) {
            exchanged[k] = true;
        } else if (file.exists_ && errno != EINVAL && errno != ENOSYS) {
            error = errno;
        } else if (::rename(file.temp_.c_str(), file.target_.c_str()) != 0) {
            error = errno;
        } else {
            file.temp_.clear();
        }
        if (error) {
            if (k == 1 && exchanged[0])
                (void)::renameat2(AT_FDCWD, files[0].temp_.c_str(), AT_FDCWD, files[0].target_.c_str(),
                                  RENAME_EXCHANGE);
            else if (k == 1 && !files[0].exists_)
                (void)::unlink(files[0].target_.c_str()); // there was no old first file
            return error;
        }
    }
    // The temporary names now hold the old files; the destructors remove them.
    failed.clear();
    files[0].syncFolder();
    if (files[1].folder_ != files[0].folder_)
        files[1].syncFolder();
    return 0;
}

} // namespace duolink
