#include "gui/handoff.h"

#include <utility>

namespace duolink {

void ConsoleBatch::clear()
{
    text.clear();
    lengths.clear();
    r2.reset();
    progress.reset();
}

ConsoleHandoff::ConsoleHandoff(const ProgressState& bar)
{
    bar_.state = bar;
}

void ConsoleHandoff::PaneSink::appendLine(std::string_view line)
{
    ConsoleBatch& w = owner.written_;
    w.text.append(line);
    w.lengths.push_back(static_cast<uint32_t>(line.size()));
    if (w.text.size() >= kPieceBytes)
        owner.publish();
}

void ConsoleHandoff::FieldSink::setText(std::string_view text)
{
    owner.written_.r2.emplace(text);
    owner.publish();
}

void ConsoleHandoff::BarSink::setMinimum(int value)
{
    state.setMinimum(value);
    owner.written_.progress = state;
}

void ConsoleHandoff::BarSink::setMaximum(int value)
{
    state.setMaximum(value);
    owner.written_.progress = state;
}

void ConsoleHandoff::BarSink::stepBy(int delta)
{
    state.stepBy(delta);
    owner.written_.progress = state;
    owner.publish();
}

void ConsoleHandoff::publish()
{
    if (written_.empty())
        return;
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [this] { return !pacing_ || published_.text.size() < kMaxWaitingBytes; });
    if (published_.empty()) {
        std::swap(published_, written_);
    } else {
        published_.text += written_.text;
        published_.lengths.insert(published_.lengths.end(), written_.lengths.begin(), written_.lengths.end());
        if (written_.r2)
            published_.r2 = std::move(written_.r2);
        if (written_.progress)
            published_.progress = written_.progress;
    }
    written_.clear();
}

bool ConsoleHandoff::take(ConsoleBatch& out)
{
    out.clear();
    {
        std::lock_guard lock(mutex_);
        if (published_.empty())
            return false;
        std::swap(out, published_);
    }
    taken_.notify_all();
    return true;
}

void ConsoleHandoff::stopPacing()
{
    {
        std::lock_guard lock(mutex_);
        pacing_ = false;
    }
    taken_.notify_all();
}

} // namespace duolink
