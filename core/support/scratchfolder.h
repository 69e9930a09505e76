// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A folder of its own in the temporary folder, removed with everything in it
// when it goes.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/support/errors.h"

namespace duolink {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "duolink-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throwIoError(errno, pattern);
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace duolink
