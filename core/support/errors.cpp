// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/errors.h"

#include <cerrno>

#include "core/support/atomicwrite.h"

namespace duolink {

std::string ioErrorMessage(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        return "File not found";
    case ENAMETOOLONG:
    case EINVAL:
        return "Invalid filename";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return "Disk full";
    default:
        // A folder, a device or a pipe, a symbolic link loop, ...: the
        // system's own words say more than a number.
        return fileErrorText(errnoValue);
    }
}

void throwIoError(int errnoValue)
{
    RunError error(ioErrorMessage(errnoValue));
    error.setSystemError(errnoValue);
    throw error;
}

void throwIoError(int errnoValue, const std::string& file)
{
    RunError error(ioErrorMessage(errnoValue));
    error.setSystemError(errnoValue);
    error.attachFile(file);
    throw error;
}

} // namespace duolink
