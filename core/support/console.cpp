// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/console.h"

#include <algorithm>

namespace duolink {

void ProgressState::setMinimum(int value)
{
    minimum = value;
    if (maximum < minimum)
        maximum = minimum;
    position = std::clamp(position, minimum, maximum);
}

void ProgressState::setMaximum(int value)
{
    maximum = value;
    if (minimum > maximum)
        minimum = maximum;
    position = std::clamp(position, minimum, maximum);
}

void ProgressState::stepBy(int delta)
{
    long long p = static_cast<long long>(position) + delta;
    position = static_cast<int>(std::clamp<long long>(p, minimum, maximum));
}

void ConsolePane::appendBlock(std::string_view lines)
{
    while (!lines.empty()) {
        const size_t end = lines.find('\n');
        appendLine(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
}

void Console::writeLn(std::string_view text)
{
    // A line with nothing before it goes out as it is, without a copy.
    if (pendingLine.empty()) {
        if (consolePane)
            consolePane->appendLine(text);
        return;
    }
    pendingLine.append(text);
    if (consolePane)
        consolePane->appendLine(pendingLine);
    pendingLine.clear();
}

void Console::writeBlock(std::string_view lines)
{
    if (!pendingLine.empty() && !lines.empty()) {
        const size_t end = lines.find('\n');
        writeLn(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
    if (consolePane && !lines.empty())
        consolePane->appendBlock(lines);
}

void Console::endPendingLine()
{
    if (!pendingLine.empty())
        writeLn();
}

} // namespace duolink
