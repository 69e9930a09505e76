// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/progressline.h"

#include <cmath>
#include <cstdio>

namespace duolink::batch {

namespace {

// 0:07, 12:34, 1:02:03.
std::string duration(double seconds)
{
    const long long s = std::llround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

std::string progressText(std::size_t done, std::size_t total, double seconds)
{
    std::string text = "rows " + std::to_string(done) + " of " + std::to_string(total);
    if (done == 0 || !(seconds > 0))
        return text;
    const double rate = static_cast<double>(done) / seconds;
    char figure[32];
    std::snprintf(figure, sizeof figure, rate < 10 ? ", %.2f rows/s" : ", %.1f rows/s", rate);
    return text + figure + ", " + duration(static_cast<double>(total - done) / rate) + " left";
}

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
