// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hands the console channel's output from a run on a worker thread to the
// thread that shows it. The run writes into the three sinks as usual; its
// lines are gathered into pieces of about 512 KB, and each full piece is
// published as it is, without copying. The showing side takes everything
// published so far whenever it is ready to show it, and keeps the pieces'
// memory. Neither side waits for the other, except that a run whose output
// is not being taken pauses once a few megabytes are waiting, so memory
// stays bounded.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/console.h"

namespace duolink {

// Lines of the pane, joined without separators, and the length of each.
struct PanePiece {
    std::string text;
    std::vector<uint32_t> lengths;
};

// Output of a run not yet shown.
struct ConsoleBatch {
    std::vector<PanePiece> pieces;         // the lines, in order
    std::optional<std::string> r2;         // the R2 field's newest text, if it changed
    std::optional<ProgressState> progress; // the bar's newest state, if it changed

    bool empty() const { return pieces.empty() && !r2 && !progress; }
    void clear();
    // Calls f(std::string_view) for each line.
    template <class F> void forEachLine(F&& f) const
    {
        for (const PanePiece& piece : pieces) {
            size_t at = 0;
            for (uint32_t n : piece.lengths) {
                f(std::string_view(piece.text).substr(at, n));
                at += n;
            }
        }
    }
};

class ConsoleHandoff {
public:
    // The bar starts from the state the showing side has now.
    explicit ConsoleHandoff(const ProgressState& bar);
    ConsoleHandoff(const ConsoleHandoff&) = delete;
    ConsoleHandoff& operator=(const ConsoleHandoff&) = delete;

    // --- The run's side (one thread at a time) ---
    ConsolePane* paneSink() { return &pane_; }
    TextField* r2Sink() { return &r2_; }
    ProgressBar* barSink() { return &bar_; }
    // Publishes everything the run has written and not yet published.
    void publish();

    // --- The showing side ---
    // Moves everything published into `out` (emptied first); false when
    // nothing was published since the last call.
    bool take(ConsoleBatch& out);
    // From now on the run never pauses for the showing side.
    void stopPacing();

    // Lines are published in pieces of about this size (a block of the
    // pane's store), so that the showing side gets them soon without taking
    // a lock per line. A piece that is
    // not full yet goes along with the R2 field and the bar (at least once a
    // presentation) when no piece went for kPartialAfter: a run that writes
    // little still shows its newest lines soon.
    static constexpr size_t kPieceBytes = size_t(512) << 10;
    static constexpr std::chrono::milliseconds kPartialAfter{50};
    // The run pauses while this much text waits to be taken.
    static constexpr size_t kMaxWaitingBytes = size_t(8) << 20;

private:
    struct PaneSink final : ConsolePane {
        explicit PaneSink(ConsoleHandoff& owner) : owner(owner) {}
        void appendLine(std::string_view line) override;
        ConsoleHandoff& owner;
    };
    struct FieldSink final : TextField {
        explicit FieldSink(ConsoleHandoff& owner) : owner(owner) {}
        void setText(std::string_view text) override;
        ConsoleHandoff& owner;
    };
    struct BarSink final : ProgressBar {
        explicit BarSink(ConsoleHandoff& owner) : owner(owner) {}
        void setMinimum(int value) override;
        void setMaximum(int value) override;
        void stepBy(int delta) override;
        ConsoleHandoff& owner;
        ProgressState state;
    };

    // Publishes the piece being filled (waiting while too much waits).
    void publishPiece();
    // Publishes the field and the bar, and the piece being filled when no
    // piece went for kPartialAfter.
    void publishState();
    void startPiece();

    PaneSink pane_{*this};
    FieldSink r2_{*this};
    BarSink bar_{*this};
    // The run's side only.
    PanePiece piece_;                     // being filled
    std::optional<std::string> newR2_;    // not yet published
    bool newProgress_ = false;            // bar_.state not yet published
    std::chrono::steady_clock::time_point lastPiece_ = std::chrono::steady_clock::now();

    std::mutex mutex_;
    std::condition_variable taken_;
    ConsoleBatch published_;
    size_t publishedBytes_ = 0; // text of published_
    bool pacing_ = true;
};

} // namespace duolink
