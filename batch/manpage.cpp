// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the runner's manual page, from the text --help prints, to the file
// named on the command line.
#include <cstdio>
#include <string>

#include "batch/usage.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    const std::string page = duolink::batch::manPage(DUOLINK_VERSION);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(page.data(), 1, page.size(), out) != page.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
