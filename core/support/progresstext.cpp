// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/progresstext.h"

#include <cmath>
#include <cstdio>

namespace duolink {

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

std::string progressText(std::size_t done, std::size_t total, double seconds, std::string_view unit)
{
    std::string text = std::string(unit) + ' ' + std::to_string(done) + " of " + std::to_string(total);
    if (done == 0 || !(seconds > 0))
        return text;
    const double rate = static_cast<double>(done) / seconds;
    char figure[32];
    std::snprintf(figure, sizeof figure, rate < 10 ? ", %.2f " : ", %.1f ", rate);
    const std::size_t left = total > done ? total - done : 0;
    return text + figure + std::string(unit) + "/s, " + duration(static_cast<double>(left) / rate) + " left";
}

} // namespace duolink
