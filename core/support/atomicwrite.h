// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replacing files as a whole. The new content goes to a temporary file in the
// target's folder, is flushed to the disk and only then takes the target's
// place by a rename, so that a full disk, a size limit or a crash leaves the
// old file as it was. Every file the program replaces is written this way.
//
// Functions return 0 or an errno value (or kNotRegularFile); none throws.
#include <string>
#include <string_view>

namespace duolink {

// The failure of a target that exists but is neither a regular file nor a
// folder (a device, a pipe, a socket): such a file is never replaced. A
// folder gives EISDIR. Not a system errno value.
inline constexpr int kNotRegularFile = 0x10000;
// The failure of a file that exists in a folder where no file may be
// created: it cannot be replaced as a whole, and is not written over, where a
// failure half-way would leave it cut. Not a system errno value.
inline constexpr int kFolderNotWritable = 0x10001;

// The text for a failure: "Disk full" for a full disk or a quota, as the
// engine says it, else the system's ("Read-only file system"), "is a folder",
// "is not a regular file" or why a folder that takes no new files refuses.
std::string fileErrorText(int error);

// Checks that `path` may be replaced: 0 when it does not exist or is a
// regular file, else EISDIR or kNotRegularFile (or the error of looking).
int checkReplaceable(const std::string& path);

// What a replace of `path` writes, through its links: the file they lead
// to, which a link to a missing file creates. A link into a process's open
// files (/dev/stdout, /proc/self/fd/1) names a stream, not a file to
// replace: kNotRegularFile. Returns 0 or the error.
int linkTarget(const std::string& path, std::string& target);

// One file being replaced. Through a symbolic link the file it points to is
// replaced, not the link; a replaced file keeps its permissions and, where
// allowed, its owner. A file in a folder where nothing may be created is
// refused (kFolderNotWritable). An uncommitted temporary file is removed when
// the object goes.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // Checks the target and creates the temporary file.
    int open();
    // Appends to the temporary file.
    int write(std::string_view data);
    // Flushes and closes the temporary file and renames it into place.
    int commit();

    // The file replaced: the path given, or what its link points to.
    const std::string& target() const { return target_; }

private:
    friend int replaceFilePair(const std::string&, std::string_view, const std::string&, std::string_view,
                               std::string&);
    int finishTemporary(); // flush to the disk and close
    void syncFolder() const;

    std::string path_;
    std::string target_;
    std::string folder_;
    std::string temp_;
    int fd_ = -1;
    bool exists_ = false;
};

// A fresh name for a temporary file of `baseName` in `folder`:
// "FOLDER/.BASENAME.duolink-PID-XXXXXX", hidden, and naming the process that
// writes it, so that a later run can tell the leftovers of a killed one.
std::string temporaryFileName(const std::string& folder, const std::string& baseName);

// Removes the temporary files in `folder` that a process no longer running
// left behind (killed while it wrote them), for `baseName`, or for any file
// when it is empty. Returns how many it removed.
int removeLeftoverTemporaries(const std::string& folder, const std::string& baseName = {});

// Writes all of `data` to `fd`; 0 or the errno value.
int writeAll(int fd, std::string_view data);

// Replaces `path` by `data`.
int replaceFile(const std::string& path, std::string_view data);

// Replaces two files together: both are written and flushed first, and the
// old ones stay as they were (both of them) when anything fails. `failed`
// names the file a failure concerns.
int replaceFilePair(const std::string& firstPath, std::string_view firstData, const std::string& secondPath,
                    std::string_view secondData, std::string& failed);

} // namespace duolink
