// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/progressline.h"

#include <cstdio>

#include "core/support/progresstext.h"

namespace duolink::batch {

void ProgressLine::update(std::size_t done)
{
    if (!live_)
        return;
    const Clock::time_point now = Clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(250) && done < total_)
        return;
    last_ = now;
    shown_ = true;
    const std::string text = progressText(done, total_, std::chrono::duration<double>(now - start_).count());
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void ProgressLine::clear()
{
    if (live_ && shown_)
        std::fputs("\r\033[K", stderr);
    shown_ = false;
}

} // namespace duolink::batch
