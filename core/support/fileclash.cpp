// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/fileclash.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include <sys/stat.h>

namespace duolink {
namespace {

// A file as the system knows it: device and inode when it exists, else its
// path with the links of its folders resolved.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;
};

Identity identify(const std::string& path)
{
    Identity id;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    id.path = error ? path : resolved.string();
    return id;
}

bool sameFile(const Identity& x, const Identity& y)
{
    if (x.exists != y.exists)
        return false;
    return x.exists ? x.device == y.device && x.inode == y.inode : x.path == y.path;
}

} // namespace

std::string findFileClash(const std::vector<FileUse>& uses)
{
    std::vector<Identity> ids;
    ids.reserve(uses.size());
    for (const FileUse& use : uses)
        ids.push_back(identify(use.path));
    for (size_t i = 0; i < uses.size(); ++i) {
        for (size_t j = 0; j < uses.size(); ++j) {
            const FileUse& x = uses[i];
            const FileUse& y = uses[j];
            if (i == j || !x.written || x.label == y.label || (x.matrix && y.matrix) || !sameFile(ids[i], ids[j]))
                continue;
            // The user's own option names the clash first.
            if (!x.option && y.option)
                return y.label + " is " + x.label;
            return x.label + (y.option ? " is the same file as " : " is ") + y.label;
        }
    }
    return {};
}

} // namespace duolink
