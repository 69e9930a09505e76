// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lock a run holds on its job folder: two runs in one folder would write
// the same job and report files at once. The runner takes it for its whole
// run, the window for each Solve. It is an advisory lock on the folder
// itself, so no lock file is left behind, and the system drops it with the
// process: a crashed run never blocks a later one.
#include <string>

namespace duolink {

class FolderLock {
public:
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() { unlock(); }

    // Takes the lock on `folder` without waiting. False only when another run
    // holds it; a folder that cannot be locked at all (a file system without
    // locks) is run unlocked, as before.
    bool tryLock(const std::string& folder);
    // The same as one of several readers: held together with other readers'
    // locks, never with a run's that writes the job files.
    bool tryLockShared(const std::string& folder);
    void unlock() noexcept;
    // After a failed tryLock: the process holding the lock, 0 if unknown.
    int holder() const { return holder_; }

private:
    bool lock(const std::string& folder, int operation);
    int fd_ = -1;
    int holder_ = 0;
};

// "FOLDER is in use by another run (pid N)", the pid left out when unknown.
std::string folderInUseMessage(const std::string& folder, int holderPid);

} // namespace duolink
