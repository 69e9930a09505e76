// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/guard/folderlock.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace duolink {

namespace {

// The process holding a whole-file lock on the given file, from the kernel's
// list of locks; 0 when it is not listed.
int lockHolder(const struct stat& file)
{
    char id[64];
    std::snprintf(id, sizeof id, "%02x:%02x:%llu", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; waiters carry "->".
        std::istringstream fields(line);
        std::string number, kind, mode, access, device;
        int pid = 0;
        if (fields >> number >> kind && kind != "->" && kind == "FLOCK" &&
            fields >> mode >> access >> pid >> device && device == id)
            return pid;
    }
    return 0;
}

} // namespace

bool FolderLock::tryLock(const std::string& folder)
{
    return lock(folder, LOCK_EX);
}

bool FolderLock::tryLockShared(const std::string& folder)
{
    return lock(folder, LOCK_SH);
}

bool FolderLock::lock(const std::string& folder, int operation)
{
    unlock();
    holder_ = 0;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    if (::flock(fd, operation | LOCK_NB) == 0) {
        fd_ = fd;
        return true;
    }
    const bool busy = errno == EWOULDBLOCK;
    struct stat st{};
    if (busy && ::fstat(fd, &st) == 0)
        holder_ = lockHolder(st);
    ::close(fd);
    return !busy;
}

void FolderLock::unlock() noexcept
{
    // Unlocked before it is closed: a copy of the process's file table (a
    // thread's own) may still refer to the folder.
    if (fd_ >= 0) {
        (void)::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
}

std::string folderInUseMessage(const std::string& folder, int holderPid)
{
    std::string message = folder + " is in use by another run";
    if (holderPid > 0)
        message += " (pid " + std::to_string(holderPid) + ")";
    return message;
}

} // namespace duolink
