// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/versiontext.h"

namespace duolink {

std::string versionText(std::string_view program)
{
    std::string text(program);
    text += ' ';
    text += DUOLINK_VERSION;
    text += '\n';
    text += kCopyright;
    text += "\nLicense GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n";
    return text;
}

} // namespace duolink
