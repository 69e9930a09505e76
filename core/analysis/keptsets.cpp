// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/keptsets.h"

#include <cerrno>
#include <charconv>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"

namespace duolink::analysis {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(int error, const std::string& file)
{
    RunError e(error == ENOTDIR ? "is not a folder; name a folder for the kept sets" : fileErrorText(error));
    e.setSystemError(error);
    e.attachFile(file);
    throw e;
}

// The positive number at the start of `text` (no sign, no leading zero),
// and the rest after it.
bool takeNumber(std::string_view& text, int& value)
{
    if (text.empty() || text[0] == '0')
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < 1)
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

// Whether `name` is the name of a set the run keeps.
bool isKeptName(std::string_view name, const CapacityOptions& o)
{
    int n = 0, t = 0;
    if (!name.starts_with('n'))
        return false;
    name.remove_prefix(1);
    if (!takeNumber(name, n) || !name.starts_with("-s"))
        return false;
    name.remove_prefix(2);
    return takeNumber(name, t) && name == ".csv" && n <= o.maxPairs && t <= o.setsPerSize;
}

bool sameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code error;
    return fs::equivalent(a.empty() ? "." : a, b.empty() ? "." : b, error) && !error;
}

} // namespace

std::string keptSetName(int n, int t)
{
    return "n" + std::to_string(n) + "-s" + std::to_string(t) + ".csv";
}

std::optional<std::string> keptSetClash(const std::string& folder, const std::string& label,
                                        const CapacityOptions& options, const std::vector<FileUse>& uses)
{
    for (const FileUse& use : uses) {
        // The name as given, and the file a replace through it writes.
        std::string target;
        if (linkTarget(use.path, target) != 0)
            target = use.path;
        for (const fs::path& path : {fs::path(use.path), fs::path(target)})
            if (!path.empty() && isKeptName(path.filename().string(), options) &&
                sameFolder(path.parent_path(), folder))
                return use.label + " is a set that " + label + " keeps; name another file or folder";
    }
    return std::nullopt;
}

KeptSetWriter::KeptSetWriter(std::string folder) : folder_(std::move(folder))
{
    std::error_code error;
    fs::create_directories(folder_, error);
    struct stat st{};
    if (::stat(folder_.c_str(), &st) != 0)
        fail(error ? error.value() : errno, folder_);
    if (!S_ISDIR(st.st_mode))
        fail(ENOTDIR, folder_);
}

void KeptSetWriter::write(int n, int t, std::string_view text) const
{
    const std::string name = keptSetName(n, t);
    const std::string path = folder_ + "/" + name;
    const std::string temp = temporaryFileName(folder_, name);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        fail(errno, path);
    int error = writeAll(fd, text);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        fail(error, path);
    }
}

void KeptSetWriter::finish() const
{
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        fail(errno, folder_);
    // The files' data and the folder's entries in one sync.
    const int error = ::syncfs(fd) != 0 ? errno : 0;
    ::close(fd);
    if (error != 0)
        fail(error, folder_);
}

} // namespace duolink::analysis
