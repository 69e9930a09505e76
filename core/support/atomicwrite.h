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

// The text for a failure: the system's ("No space left on device"), "is a
// folder" or "is not a regular file".
std::string fileErrorText(int error);

// Checks that `path` may be replaced: 0 when it does not exist or is a
// regular file, else EISDIR or kNotRegularFile (or the error of looking).
int checkReplaceable(const std::string& path);

// One file being replaced. Through a symbolic link the file it points to is
// replaced, not the link; a replaced file keeps its permissions and, where
// allowed, its owner. A file the user may write in a folder where nothing may
// be created is written over in place, as the only way left. An uncommitted temporary file is removed when the
// object goes.
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
    bool inPlace_ = false; // the folder takes no new file; written over
};

// Replaces `path` by `data`.
int replaceFile(const std::string& path, std::string_view data);

// Replaces two files together: both are written and flushed first, and the
// old ones stay as they were (both of them) when anything fails. `failed`
// names the file a failure concerns.
int replaceFilePair(const std::string& firstPath, std::string_view firstData, const std::string& secondPath,
                    std::string_view secondData, std::string& failed);

} // namespace duolink
