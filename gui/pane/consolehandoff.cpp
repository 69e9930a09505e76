// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/consolehandoff.h"

#include <utility>

namespace duolink {

void ConsoleBatch::clear()
{
    pieces.clear();
    r2.reset();
    progress.reset();
}

ConsoleHandoff::ConsoleHandoff(const ProgressState& bar)
{
    bar_.state = bar;
    startPiece();
}

void ConsoleHandoff::startPiece()
{
    lastPiece_ = std::chrono::steady_clock::now();
    piece_ = PanePiece();
    // A full piece is a little over kPieceBytes; lines of the tables are a
    // few dozen characters.
    piece_.text.reserve(kPieceBytes + kPieceBytes / 16);
    piece_.lengths.reserve(kPieceBytes / 32);
}

void ConsoleHandoff::PaneSink::appendLine(std::string_view line)
{
    PanePiece& piece = owner.piece_;
    piece.text.append(line);
    piece.lengths.push_back(static_cast<uint32_t>(line.size()));
    if (piece.text.size() >= kPieceBytes)
        owner.publishPiece();
}

void ConsoleHandoff::FieldSink::setText(std::string_view text)
{
    owner.newR2_.emplace(text);
    owner.publishState();
}

void ConsoleHandoff::BarSink::setMinimum(int value)
{
    state.setMinimum(value);
    owner.newProgress_ = true;
}

void ConsoleHandoff::BarSink::setMaximum(int value)
{
    state.setMaximum(value);
    owner.newProgress_ = true;
}

void ConsoleHandoff::BarSink::stepBy(int delta)
{
    state.stepBy(delta);
    owner.newProgress_ = true;
    owner.publishState();
}

void ConsoleHandoff::publishPiece()
{
    if (piece_.lengths.empty())
        return;
    {
        std::unique_lock lock(mutex_);
        taken_.wait(lock, [this] { return !pacing_ || publishedBytes_ < kMaxWaitingBytes; });
        publishedBytes_ += piece_.text.size();
        published_.pieces.push_back(std::move(piece_));
    }
    startPiece();
}

void ConsoleHandoff::publishState()
{
    const auto now = std::chrono::steady_clock::now();
    const bool withPiece = !piece_.lengths.empty() && now - lastPiece_ >= kPartialAfter;
    {
        std::lock_guard lock(mutex_);
        if (newR2_)
            published_.r2 = std::move(newR2_);
        if (newProgress_)
            published_.progress = bar_.state;
        if (withPiece) {
            publishedBytes_ += piece_.text.size();
            published_.pieces.push_back(std::move(piece_));
        }
    }
    newR2_.reset();
    newProgress_ = false;
    if (withPiece)
        startPiece();
}

void ConsoleHandoff::publish()
{
    publishPiece();
    publishState();
}

bool ConsoleHandoff::take(ConsoleBatch& out)
{
    out.clear();
    {
        std::lock_guard lock(mutex_);
        if (published_.empty())
            return false;
        std::swap(out, published_);
        publishedBytes_ = 0;
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
